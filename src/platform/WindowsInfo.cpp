#include "platform/WindowsInfo.h"

namespace kx {

std::string VersionNameFor(unsigned major, unsigned minor) {
    if (major <= 4) return "WinNT";
    if (major == 5) {
        static const char* const kNames[] = {"Win2000", "WinXP", "Win2003"};
        return minor < 3 ? kNames[minor] : "未知";
    }
    if (major == 6) {
        if (minor == 0) return "Vista";
        if (minor == 1) return "Win7";
        // Windows 8 and 8.1 take the boot-configuration branch of Windows 7.
        if (minor <= 3) return "Win8";
    }
    return "未知";
}

int PlatformFamilyFor(unsigned platformId) {
    switch (platformId) {
        case 0: return 1;
        case 1: return 2;
        case 2: return 3;
        default: return 0;
    }
}

}  // namespace kx
