#pragma once
// The checks every staged job passes before anything is written: that the boot environment can run it at
// all, and that DOS Ghost can open the image's path. Each failure is in the user's words.
#include <string>

#include "imaging/Imaging.h"

namespace kx {

inline constexpr const char* kChinesePathText = "映像文件包含中文无法被正常加载，请改名后重试!";

// The build carries something that runs a job at the next start, the firmware boots our boot files (the
// engine route also on x64 UEFI), the partition `driveLetter` lies on an MBR disk (or on a GPT disk of a
// UEFI machine) that is neither dynamic nor hybrid, and this Windows takes a boot entry.
Outcome CheckBootJobCanRun(const ImagingContext& c, const std::string& driveLetter);
// The image's Ghost path as DOS Ghost reads it: printable ASCII without blanks. Shows the refusal.
bool AcceptGhostPath(const ImagingContext& c, const std::string& ghostPath);
// The list row a job names ("C:", "1:2") is what the disk holds now, by a fresh read of the disks: the same
// letter and designator, on the disk the list was filled from. The list may be older than the disks, or was
// filled wrongly. Asked last before anything is written; ConfirmTarget shows the refusal.
Outcome TargetStillListed(const ImagingContext& c, const std::string& drive, const std::string& designator);
bool ConfirmTarget(const ImagingContext& c, const std::string& drive, const std::string& designator);
// Shows a failed step with an error icon.
void ShowFailure(const ImagingContext& c, const Outcome& failure);
// "C:" and "c:\x" give "C"; empty for a path that names no drive.
std::string DriveLetterOf(const std::string& path);
// Whether a row of the restore-partition list carries the drive.
bool ListedDrive(const PartitionRows& rows, const std::string& letter);
// The row of the restore-partition list whose drive is `letter`; -1 when none is.

}  // namespace kx
