// korvanix-diag SUBCOMMAND ARGS...: the support tool. Each subcommand runs the program's own component.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Diag.h"
#include "text/Text.h"

namespace kx::diag {

bool ReadFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return true;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool Run(const std::string& command) {
    if (std::system(command.c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
}

int Text(const Args& args) {
    if (args.size() != 1) return 2;
    std::string bytes;
    if (!ReadFile(args[0], bytes)) {
        std::fprintf(stderr, "cannot read %s\n", args[0].c_str());
        return 1;
    }
    std::fputs(DecodeSavedText(bytes).c_str(), stdout);
    return 0;
}

}  // namespace kx::diag

namespace {

struct Subcommand {
    const char* name;
    const char* usage;
    int (*run)(const kx::diag::Args&);
};

const Subcommand kSubcommands[] = {
    {"text", "text FILE                 print a saved tool output (code page 936 or UTF-8) as UTF-8", kx::diag::Text},
    {"disks", "disks FILE...             partitions from saved per-disk diskpart outputs, one file per disk",
     kx::diag::Disks},
    {"volumes", "volumes FILE              partitions from a saved \"list volume\" output of diskpart",
     kx::diag::Volumes},
    {"pe-check", "pe-check FILE...          check that Windows binaries load on Windows XP SP3", kx::diag::PeCheck},
    {"zip", "zip FOLDER ARCHIVE        compress a folder as the user-data backup does", kx::diag::Zip},
    {"unzip", "unzip ARCHIVE FOLDER      extract an archive as the user-data restore does", kx::diag::Unzip},
    {"stage",
     "stage DISK.img --system D:P (--backup D:P --image 'D:P\\path\\name' | --restore 'D:P\\path\\name' --to D:P\n"
     "                            | --apply 'D:P\\path\\file.wim' --index N --to D:P)\n"
     "                            [--assets DIR]   write boot files, engine and an engine job onto a raw disk",
     kx::diag::Stage},
    {"job", "job FILE                  check an engine job file as the engine does; print its fields",
     kx::diag::JobCheck},
    {"efi-option", "efi-option N START SIZE GUID  the load option (hex) that starts the engine from ESP N (LBAs)",
     kx::diag::EfiOption},
    {"efi-grub", "efi-grub SERIAL           the grub.cfg beside GRUB on the ESP for the system partition's serial",
     kx::diag::EfiGrub},
};

int Usage() {
    std::fputs("usage:\n", stderr);
    for (const auto& s : kSubcommands) std::fprintf(stderr, "  korvanix-diag %s\n", s.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (const auto& s : kSubcommands) {
        if (std::strcmp(argv[1], s.name) == 0) {
            int rc = s.run(kx::diag::Args(argv + 2, argv + argc));
            return rc == 2 ? Usage() : rc;
        }
    }
    return Usage();
}
