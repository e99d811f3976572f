#pragma once
// The three boot assets on the system drive, and the Windows Ghost on C:.
#include <string>

#include "app/Program.h"

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
// True when all three were written (an asset left hidden by an earlier run is not rewritten: false).
bool DeployBootAssets(Program& p);
// C:\ghost32.exe, overwriting any file there. False when the program carries no Windows Ghost (nothing is
// written) or the write failed.
bool WriteWindowsGhost(Program& p);

}  // namespace kx
