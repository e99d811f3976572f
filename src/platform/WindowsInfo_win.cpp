#include "platform/WindowsInfo_win.h"

#include <windows.h>

#include "platform/WindowsInfo.h"

namespace kx {
namespace {

template <typename F>
F Kernel32Function(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

// Redirection is switched per thread, so each thread keeps its own token: the window thread and the
// download worker may each run a command at the same time without giving back the other's token.
thread_local void* redirectionToken = nullptr;
thread_local bool redirectionOff = false;

}  // namespace

std::string GetWindowsVersionName() {
    // RtlGetVersion reports the true version (GetVersionEx lies to programs without a manifest entry
    // for 8.1 and later). It has been in ntdll since Windows 2000; the 95/98/ME family cannot start
    // this program at all.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) return "未知";
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT) return "未知";
    return VersionNameFor(info.dwMajorVersion, info.dwMinorVersion);
}

int GetPlatformFamily() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return 0;
    return PlatformFamilyFor(info.dwPlatformId);
}

bool IsWindows64() {
#if defined(_WIN64)
    return true;
#else
    // A 32-bit Windows has the function too (from XP on) but answers 0.
    using Fn = UINT(WINAPI*)(LPSTR, UINT);
    auto getWow64Directory = Kernel32Function<Fn>("GetSystemWow64DirectoryA");
    if (!getWow64Directory) return false;
    char buffer[256];
    return getWow64Directory(buffer, 255) > 0;
#endif
}

bool DisableFsRedirection() {
    // Resolved at run time: 32-bit Windows XP has no such export, and a static import would stop the
    // program from loading there.
    if (redirectionOff) return false;  // off already: whoever switched it off switches it on
    using Fn = BOOL(WINAPI*)(PVOID*);
    auto disable = Kernel32Function<Fn>("Wow64DisableWow64FsRedirection");
    redirectionOff = disable && disable(&redirectionToken) != FALSE;
    return redirectionOff;
}

void RevertFsRedirection() {
    using Fn = BOOL(WINAPI*)(PVOID);
    auto revert = Kernel32Function<Fn>("Wow64RevertWow64FsRedirection");
    if (revert && redirectionOff) revert(redirectionToken);
    redirectionOff = false;
}

FsRedirection& SystemFsRedirection() {
    class System final : public FsRedirection {
    public:
        // Only where Windows is 64-bit: a 32-bit Windows from Vista on has the calls too, and fails them.
        bool Disable() override { return IsWindows64() && DisableFsRedirection(); }
        void Revert() override { RevertFsRedirection(); }
    };
    static System system;
    return system;
}

}  // namespace kx
