#pragma once
// The job our imaging engine runs at the next start: a small text file next to the boot files on the
// system drive. Partitions are named by what identifies them on any system, Windows or the engine's Linux:
// the disk's MBR signature and the partition's start offset in bytes. Windows XP reads both with
// IOCTL_DISK_GET_DRIVE_LAYOUT and IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS (or IOCTL_DISK_GET_PARTITION_INFO).
// On a GPT disk the disk's GUID and the partition's GUID name it instead, the start offset a cross-check
// (IOCTL_DISK_GET_DRIVE_LAYOUT_EX gives all three).
//
// The file, UTF-8 with LF, every line required and in this order (the engine's init parses it too):
//   korvanix-job 1
//   mode=backup                    backup | restore | apply
//   system=5A3C0F12:1048576        the partition holding the job, the boot files and the log
//   partition=5A3C0F12:1048576     backup: the partition saved; restore, apply: the partition overwritten
//   image=5A3C0F12:68157440        the partition holding the image folder (apply: the image file)
//   folder=/qzrpgho/SYS            the image folder on that partition, "/" separated (apply: the .wim
//                                  or .esd file, "/sources/install.wim")
//   ghost-partition=1:1            the same two places in Ghost's designators, for the log
//   ghost-image=1:2\qzrpgho\SYS
//   index=2                        apply only: the image's edition in the file, 1 to 9999
//   end
// An apply formats the partition, keeping its boot code, and writes the edition of a Windows imaging
// file (WIM, or the solid ESD) to it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Outcome.h"
#include "boot/Guid.h"

namespace kx {

inline constexpr const char* kEngineJobFile = "KORVANIX.JOB";
inline constexpr const char* kEngineLogFile = "KORVANIX.LOG";
inline constexpr const char* kEngineKernelFile = "kxlinux";
inline constexpr const char* kEngineInitrdFile = "kxinitrd";

struct PartitionIdentity {
    PartitionIdentity() = default;
    PartitionIdentity(uint32_t signature, uint64_t offset) : diskSignature(signature), startOffset(offset) {}
    uint32_t diskSignature = 0;
    uint64_t startOffset = 0;  // bytes from the start of the disk
    Guid diskGuid;             // both zero on an MBR disk
    Guid partitionGuid;
    bool operator==(const PartitionIdentity&) const = default;
    bool IsGpt() const { return !partitionGuid.IsZero() || !diskGuid.IsZero(); }
};

enum class EngineJobMode { Backup, Restore, Apply };

struct EngineJob {
    EngineJobMode mode = EngineJobMode::Backup;
    PartitionIdentity system;
    PartitionIdentity partition;
    PartitionIdentity image;
    std::string folder;
    std::string ghostPartition;
    std::string ghostImage;
    uint32_t index = 0;  // apply: the edition, 1 to kEngineJobMaxIndex; otherwise 0
};
inline constexpr uint32_t kEngineJobMaxIndex = 9999;

// "5A3C0F12:1048576"; on GPT "DISK-GUID/PARTITION-GUID:1048576" (offsets below 2^53 there).
std::string IdentityText(PartitionIdentity id);
Result<PartitionIdentity> ParseIdentity(std::string_view text);

// The image folder on its partition from the Windows path of the image ("D:\qzrpgho\SYS" gives
// "/qzrpgho/SYS"); fails for a path without a drive, a root, "." or ".." or characters a folder name
// cannot carry.
Result<std::string> EngineFolderOfPath(std::string_view windowsPath);

// The file's text; fails (and gives no text) for a job the engine would refuse: a zero signature, an
// offset that is not whole sectors, an unusable folder, an image folder on the partition a restore or an
// apply overwrites, a backup into the partition it saves, or an index outside 1-9999 for an apply (and
// any index for the others).
Result<std::string> EngineJobText(const EngineJob& job);
// The reverse; refuses a truncated file, unknown or repeated fields and bad values with the reason.
Result<EngineJob> ParseEngineJob(std::string_view text);

// Which route runs a staged imaging job at the next start: the DOS floppy with Ghost, or our engine. The
// build option KORVANIX_IMAGING_ROUTE (auto, dos, engine) decides; auto takes the DOS route only where the
// build carries a DOS kit.
enum class ImagingRoute { Dos, Engine };
ImagingRoute SelectedImagingRoute();

// The last job's result, from KORVANIX.LOG at the system partition's root: its last line is "RESULT OK"
// or "RESULT FAILED: reason". A log without that line (the engine stopped half way) counts as a failure.
// A success may carry, on the line just before, "SUMMARY mode=backup seconds=123 image-bytes=456789"
// (the time the job took and the sum of the image's streams; mode=apply: the image file's size); an older
// engine writes none.
struct EngineSummary {
    EngineJobMode mode = EngineJobMode::Backup;
    uint64_t seconds = 0;
    uint64_t imageBytes = 0;
};
struct EngineResult {
    bool ok = false;
    std::string reason;  // empty when ok
    std::optional<EngineSummary> summary;
};
EngineResult EngineLogResult(std::string_view logText);

}  // namespace kx
