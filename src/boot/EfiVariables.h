#pragma once
// The firmware's variables, and the one-time start of the engine through them: a load option Boot#### for
// our shim on the EFI system partition and BootNext naming it. The port is implemented with
// Get/SetFirmwareEnvironmentVariableW (EfiVariables_win.cpp); tests use a fake.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Outcome.h"
#include "boot/EfiBoot.h"

namespace kx {

class EfiVariablePort {
public:
    virtual ~EfiVariablePort() = default;
    // A variable of the global vendor GUID (kEfiGlobalVariableGuid); no value when it does not exist. Fails
    // when the firmware cannot be asked (a BIOS machine, no privilege).
    virtual Result<std::optional<std::string>> Read(const std::string& name) = 0;
    // Written with kEfiBootVariableAttributes; an empty value deletes the variable.
    virtual Outcome Write(const std::string& name, std::string_view value) = 0;
};

// Writes our load option under the first number neither BootOrder nor an existing Boot#### uses, reads it
// back, then BootNext; BootOrder is left alone. When BootNext does not take, the option is taken out again.
// The number is kept by the caller, to take the option out at the next start.
Result<uint16_t> StageEfiBoot(EfiVariablePort& vars, const EfiPartition& esp);
// Takes out Boot#### when it is ours (our description and loader path) and BootNext when it still names
// it; an option that is not ours is left alone and reported.
Outcome RemoveEfiBoot(EfiVariablePort& vars, uint16_t number);

}  // namespace kx
