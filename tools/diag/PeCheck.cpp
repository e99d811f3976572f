// korvanix-diag pe-check FILE...: whether each Windows binary loads on Windows XP SP3.
#include <cstdio>

#include "Diag.h"
#include "pe/XpCheck.h"

namespace kx::diag {

int PeCheck(const Args& args) {
    if (args.empty()) return 2;
    int rc = 0;
    for (const auto& path : args) {
        std::string bytes;
        if (!ReadFile(path, bytes)) {
            std::fprintf(stderr, "%s: cannot read\n", path.c_str());
            rc = 1;
            continue;
        }
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        XpCheckReport r = CheckForXp({data, bytes.size()});
        if (r.parsed) {
            std::printf("%s: %s %s, subsystem %s %u.%02u, manifest %s\n", path.c_str(), r.machine.c_str(),
                        r.isDll ? "DLL" : "program", r.subsystem.c_str(), r.subsystemMajor, r.subsystemMinor,
                        r.hasManifest ? "yes" : "no");
        }
        for (const auto& problem : r.problems) std::printf("%s: FAIL %s\n", path.c_str(), problem.c_str());
        if (!r.Passes()) rc = 1;
    }
    return rc;
}

}  // namespace kx::diag
