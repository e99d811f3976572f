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
// revert without a successful disable on that thread does nothing.
void DisableFsRedirection();
void RevertFsRedirection();
// 1-11 (documents, Favorites, desktop, Fonts, Start menu, Programs, Startup, application data, Windows,
// system, temporary files), with a trailing "\"; empty for other numbers or an unknown folder.
std::string GetSpecialFolderPath(int number);

class WindowsSystem : public SystemPort {
public:
    std::string WindowsVersionName() override { return GetWindowsVersionName(); }
    int PlatformFamily() override { return GetPlatformFamily(); }
    bool IsWindows64() override { return kx::IsWindows64(); }
    std::string SpecialFolderPath(int number) override { return GetSpecialFolderPath(number); }
};

}  // namespace kx
