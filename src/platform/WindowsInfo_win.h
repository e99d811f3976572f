#pragma once
// Facts about the running Windows, and the file-system redirection switch of a 32-bit process.
#include <string>

#include "base/Ports.h"

namespace kx {

std::string GetWindowsVersionName();
int GetPlatformFamily();
// True on 64-bit Windows, whether this process is 32-bit (WOW64) or 64-bit.
bool IsWindows64();
// Switch the calling thread's file-system redirection off and back on. They pair up on one thread; a
// revert without a successful disable on that thread does nothing. Disable answers whether this call
// switched redirection off (false when it was off already or the system has no such switch).
[[nodiscard]] bool DisableFsRedirection();
void RevertFsRedirection();

// The switch as the guard below uses it: the system's, or a fake in tests.
class FsRedirection {
public:
    virtual ~FsRedirection() = default;
    // True when this call switched redirection off on the calling thread: a Revert is owed.
    virtual bool Disable() = 0;
    virtual void Revert() = 0;
};
// On 64-bit Windows DisableFsRedirection and RevertFsRedirection; elsewhere a switch that is never off.
FsRedirection& SystemFsRedirection();

// File-system redirection off on the calling thread for the guard's life, back on when it ends. Keep it
// as short as the one call that needs it: everything the thread does meanwhile, a window handler run by
// a nested message loop included, sees the 64-bit system folder.
class FsRedirectionOff {
public:
    explicit FsRedirectionOff(FsRedirection& redirection = SystemFsRedirection())
        : redirection_(redirection), off_(redirection.Disable()) {}
    ~FsRedirectionOff() {
        if (off_) redirection_.Revert();
    }
    FsRedirectionOff(const FsRedirectionOff&) = delete;
    FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

private:
    FsRedirection& redirection_;
    bool off_;
};

class WindowsSystem : public SystemPort {
public:
    std::string WindowsVersionName() override { return GetWindowsVersionName(); }
    int PlatformFamily() override { return GetPlatformFamily(); }
    bool IsWindows64() override { return kx::IsWindows64(); }
};

}  // namespace kx
