// korvanix-diag zip / unzip: the program's own zip component, for support and for checking backups.
#include <cstdio>

#include "Diag.h"
#include "userdata/Zip.h"

namespace kx::diag {
namespace {

// Each whole percent once: the component reports after every file and buffer.
int Print(int percent) {
    static int last = -1;
    if (percent == last) return 0;
    last = percent;
    std::printf("%d%%\n", percent);
    std::fflush(stdout);
    return 0;
}

int Finish(const ZipReport& report) {
    for (const auto& name : report.refused) std::fprintf(stderr, "refused (leads outside the folder): %s\n", name.c_str());
    for (const auto& name : report.failed) std::fprintf(stderr, "failed: %s\n", name.c_str());
    if (!report.error.empty()) std::fprintf(stderr, "%s\n", report.error.c_str());
    return report.ok ? 0 : 1;
}

}  // namespace

int Zip(const Args& args) {
    if (args.size() != 2) return 2;
    return Finish(ZipFolder(args[0], args[1], Print));
}

int Unzip(const Args& args) {
    if (args.size() != 2) return 2;
    return Finish(UnzipArchive(args[0], args[1], Print));
}

}  // namespace kx::diag
