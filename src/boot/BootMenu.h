#pragma once
// The boot-menu entry that starts the MBR helper at the next start: boot.ini on Windows XP, the boot
// configuration store (through bcdedit) on Windows 7 and 8.
#include <string>

#include "base/Outcome.h"
#include "base/Ports.h"
#include "boot/BootPorts.h"

namespace kx {

// Picks the branch by the Windows classification; other versions get no entry, which is a failure: the
// staged job would never run.
Outcome RegisterBootEntry(SystemPort& system, CommandPort& commands, BootFilePort& files,
                          const std::string& systemDrive, const std::string& title);
// Adds the entry (or finds the one a previous run added) and makes it start once, at the next boot only.
// Done only when every bcdedit command reported success; the failure names the first command that did not.
Outcome RegisterBcdEntry(CommandPort& commands, const std::string& systemDrive, const std::string& title);
// Makes the helper the default of boot.ini, after keeping the original as boot.in_ for the DOS side to
// put back. Done when both values read back as written.
Outcome RegisterBootIniEntry(BootFilePort& files, const std::string& systemDrive, const std::string& title);

// Whether one bcdedit command reported success (Chinese bcdedit says "成功", English "successfully").
bool BcdSucceeded(const std::string& output);
// "{…}" from the first brace pair of a text; "{}" when there is none.
std::string FirstIdentifier(const std::string& text);
// The identifier of the listed entry whose block holds the title; empty when no block does.
std::string IdentifierOfTitle(const std::string& listing, const std::string& title);

}  // namespace kx
