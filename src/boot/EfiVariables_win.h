#pragma once
// The firmware's variables through Get/SetFirmwareEnvironmentVariableW, with SE_SYSTEM_ENVIRONMENT_NAME
// enabled in the process token first (Windows refuses both calls without it, also to administrators).
// When the environment variable KORVANIX_EFI_VARS names a folder, the port reads and writes files there
// instead ("BootNext-{8BE4DF61-93CA-11D2-AA0D-00E098032B8C}", the value's bytes; a file named REFUSE makes
// every write fail as a firmware that refuses it): Wine has no firmware, and the scenarios check what the
// program would have written.
#include <memory>

#include "boot/EfiVariables.h"

namespace kx {

std::unique_ptr<EfiVariablePort> MakeEfiVariablePort();

}  // namespace kx
