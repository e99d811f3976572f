#pragma once
// The engine route on a UEFI machine: no boot files on the system drive and no boot-menu entry, but the
// signed chain (shim, GRUB, the amd64 kernel) with the engine's initramfs and GRUB's configuration in
// \EFI\korvanix on the EFI system partition, and a load option with BootNext that the firmware starts
// once. The job stays KORVANIX.JOB on the system partition, which grub.cfg names by its file-system serial.
// KORVANIX.EFI beside the job records that the partition holds our files, and then the option's number,
// so that the next start of the program takes both away again.
#include <string>

#include "imaging/Imaging.h"

namespace kx {

inline constexpr const char* kEfiRecordFile = "KORVANIX.EFI";
// Room kept free on the EFI system partition beyond our files.
inline constexpr uint64_t kEspReserve = 1u << 20;

// The engine route on a UEFI machine.
bool UsesEfiBoot(const ImagingContext& c);
// Mounts the EFI system partition of the system drive's disk, checks its free space and writes our files
// to \EFI\korvanix, and unmounts it again; the record goes first. A failure names the step.
Outcome DeployEfiEngine(const ImagingContext& c, const std::string& systemDrive);
// The entry that starts the staged engine job: on UEFI the load option and BootNext (StageEfiBoot), its
// number recorded; elsewhere the boot-menu entry (RegisterBootEntry) titled `title`.
Outcome RegisterEngineBootEntry(const ImagingContext& c, const std::string& systemDrive, const std::string& title);
// When the record is there: the load option (and BootNext while it names it), our files and their folder on
// the EFI system partition, then the record. Done at once without a record.
Outcome WithdrawEfiBoot(const ImagingContext& c, const std::string& systemDrive);
// A line for the question before the restart: whether the firmware's Secure Boot is on, as far as the
// firmware says (its SecureBoot variable); empty off the UEFI route or when it does not say.
std::string EfiBootNotice(const ImagingContext& c);

}  // namespace kx
