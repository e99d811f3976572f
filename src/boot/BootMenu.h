#pragma once
// The boot-menu entry that starts the MBR helper at the next start: boot.ini on Windows XP, the boot
// configuration store (through bcdedit) on Windows 7 and 8.
#include <optional>
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "base/Ports.h"
#include "boot/BootPorts.h"

namespace kx {

// Picks the branch by the Windows classification; other versions get no entry, which is a failure: the
// staged job would never run.
Outcome RegisterBootEntry(SystemPort& system, CommandPort& commands, BootFilePort& files,
                          const std::string& systemDrive, const std::string& title);
// Adds the entry (or finds the one a previous run added) and makes it start once, at the next boot only.
// Before anything changes, the entry's identifier and the boot manager's time-out as it was are kept in
// KORVANIX.BCD on the system drive, so that RemoveBootEntry can put the store back after the restart.
// Done only when every bcdedit command reported success; the failure names the first command that did not,
// and what was added is taken back.
Outcome RegisterBcdEntry(CommandPort& commands, BootFilePort& files, const std::string& systemDrive,
                         const std::string& title);
// Makes the helper the default of boot.ini, after keeping the original as boot.in_ for the DOS side to
// put back. Done when both values read back as written.
Outcome RegisterBootIniEntry(BootFilePort& files, const std::string& systemDrive, const std::string& title);

// Takes back what the entry of a job changed, whichever Windows added it: boot.ini from boot.in_ (XP), and
// the entries and time-out KORVANIX.BCD records (7 and 8; the record goes once the store is as it was, and
// stays for another try otherwise). Nothing to take back is done.
Outcome RemoveBootEntry(CommandPort& commands, BootFilePort& files, const std::string& systemDrive);

inline constexpr const char* kBcdRecordFile = "KORVANIX.BCD";
// What KORVANIX.BCD holds: the boot manager's time-out before the first entry was added (none when the
// store had no time-out), and the entries added since.
struct BcdRecord {
    std::optional<std::string> timeout;
    std::vector<std::string> entries;
};
std::string BcdRecordText(const BcdRecord& record);
Result<BcdRecord> ParseBcdRecord(const std::string& text);
// The {bootmgr} block of a listing (Chinese or English): whether there is one, and its time-out line's value.
struct BootManagerBlock {
    bool found = false;
    std::optional<std::string> timeout;
};
BootManagerBlock BootManagerOf(const std::string& listing);

// Whether one bcdedit command reported success (Chinese bcdedit says "成功", English "successfully").
bool BcdSucceeded(const std::string& output);
// "{…}" from the first brace pair of a text; "{}" when there is none.
std::string FirstIdentifier(const std::string& text);
// The identifier of the listed entry whose block holds the title; empty when no block does.
std::string IdentifierOfTitle(const std::string& listing, const std::string& title);

}  // namespace kx
