// The UEFI route's firmware variable and GRUB configuration, as the program writes them: for tests that
// play the program's part on a disk image and a copy of the firmware's variables.
#include <cstdio>
#include <cstdlib>

#include "Diag.h"
#include "boot/EfiBoot.h"

namespace kx::diag {

int EfiOption(const Args& args) {
    if (args.size() != 4) return 2;
    auto guid = ParseGuid(args[3]);
    if (!guid) {
        std::fprintf(stderr, "%s\n", guid.outcome().what().c_str());
        return 1;
    }
    EfiPartition esp{static_cast<uint32_t>(std::strtoul(args[0].c_str(), nullptr, 10)),
                     std::strtoull(args[1].c_str(), nullptr, 10), std::strtoull(args[2].c_str(), nullptr, 10),
                     guid.value()};
    auto option = EfiLoadOption(kEfiOptionDescription, esp, kEfiLoaderPath);
    if (!option) {
        std::fprintf(stderr, "%s\n", option.outcome().what().c_str());
        return 1;
    }
    for (unsigned char c : option.value()) std::printf("%02x", c);
    std::printf("\n");
    return 0;
}

int EfiGrub(const Args& args) {
    if (args.size() != 1) return 2;
    auto cfg = EfiGrubConfig(args[0]);
    if (!cfg) {
        std::fprintf(stderr, "%s\n", cfg.outcome().what().c_str());
        return 1;
    }
    std::fputs(cfg->c_str(), stdout);
    return 0;
}

}  // namespace kx::diag
