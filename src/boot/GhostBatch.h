#pragma once
// Ghost jobs: the one-job Ghost.bat that the DOS side runs, the Windows Ghost command line, and the
// translation between Windows drive letters and Ghost's disk:partition designators.
#include <string>
#include <string_view>

#include "base/Outcome.h"
#include "base/PartitionRows.h"
#include "boot/BootPorts.h"

namespace kx {

inline constexpr const char* GhostRestoreLine =
    "Ghost.exe -noide -nousb -clone,mode=pload,src=%s:%s,dst=%s -sure -rb\r\nrestart";
inline constexpr const char* GhostBackupLine =
    "Ghost.exe -noide -nousb -clone,mode=pdump,src=%s,dst=%s -sure -fro -rb -z1\r\nrestart";
inline constexpr const char* kGhostBatchFile = "Ghost.bat";

// Each "%s" replaced by the next value, in order.
std::string FormatLine(std::string_view format, std::initializer_list<std::string_view> values);

// The restore job: write partition `partitionInImage` of the image back onto partition `target`.
std::string GhostRestoreJob(const std::string& imageGhostPath, const std::string& partitionInImage,
                            const std::string& target);
// The backup job: save partition `source` into a new image file.
std::string GhostBackupJob(const std::string& source, const std::string& imageGhostPath);

// Lookups in the restore-partition list view (column 0 "C:", column 1 "1:2").
std::string DesignatorOfDrive(const PartitionRows& rows, const std::string& driveLetter);  // "0:0" when no row has it
std::string DriveOfDesignator(const PartitionRows& rows, const std::string& designator);   // "C" when no row has it

// D:\sys\a.gho on a drive with designator 1:2 gives 1:2\sys\a.gho.
std::string ToGhostPath(const PartitionRows& rows, const std::string& windowsPath);
// Up to and including the last "\"; empty when there is none.
std::string FolderOfPath(const std::string& path);
// The Windows folder that will hold an image given by its Ghost path ("1:3\img\x.gho" gives "E:\img\").
std::string ImageFolderOfGhostPath(const PartitionRows& rows, const std::string& imageGhostPath);
// Creates that folder (one level) before a backup job is written; done when there is none to create.
Outcome CreateImageFolder(const PartitionRows& rows, BootFilePort& files, const std::string& imageGhostPath);

// Replaces the system drive's Ghost.bat with the job (code page 936, nothing added), stamped when asked.
Outcome WriteGhostBatch(BootFilePort& files, const std::string& systemDrive, const std::string& jobText, bool stamp);

// The immediate backup through C:\ghost32.exe: the backup job on one line, without the DOS-only parts.
std::string WindowsGhostCommandLine(const std::string& sourceDesignator, const std::string& imageGhostPath);

}  // namespace kx
