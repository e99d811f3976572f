#pragma once
// The three boot assets on the system drive, and the Windows Ghost on C:.
#include <string>

#include "base/Outcome.h"
#include "boot/BootPorts.h"

namespace kx {

inline constexpr const char* kHelperFile = "qzrpldr.mbr";
inline constexpr const char* kLoaderFile = "otldr";
inline constexpr const char* kDosImageFile = "Dorv.ima";
inline constexpr const char* kWindowsGhostPath = "C:\\ghost32.exe";

// What the program was built with. A build without a DOS kit carries a diagnostic floppy that says so on
// screen and restarts; a staged Ghost job cannot run with it.
enum class DosImageKind { DosEnvironment, Diagnostic };
DosImageKind CarriedDosImageKind();
bool CarriesWindowsGhost();

// "C:\" for "C"; empty when the letter is empty.
std::string DriveRoot(const std::string& letter);

// Writes the MBR helper, the loader and the DOS image to the root of the system drive, each stamped.
// Assets left hidden by an earlier run are replaced, so a repeat deployment succeeds as well.
Outcome DeployBootAssets(BootFilePort& files, BootAssetSource& assets, const std::string& systemDrive);
// The engine's kernel and initramfs beside the boot files (EngineJob.h names them), stamped like them.
Outcome DeployEngine(BootFilePort& files, BootAssetSource& assets, const std::string& systemDrive);
// Removes what DeployBootAssets and DeployEngine wrote (whatever attributes the boot side left on them);
// files already gone are no failure.
Outcome RemoveBootFiles(BootFilePort& files, const std::string& systemDrive);
// C:\ghost32.exe, overwriting any file there. Fails when the program carries no Windows Ghost (nothing is
// written) or the write failed.
Outcome WriteWindowsGhost(BootFilePort& files, BootAssetSource& assets);

}  // namespace kx
