#pragma once
// The drive record (one row of the partition lists) and the per-drive queries that fill it.
#include <array>
#include <string>
#include <vector>

#include "base/PartitionRows.h"
#include "disk/DrivePort.h"

namespace kx {

inline constexpr int kRemovableDrive = 2;
inline constexpr int kFixedDrive = 3;

// Half away from zero, with a nudge of 1e-12 so that 59.995 gives 60.
double RoundToDecimals(double value, int decimals);
// At most 13 significant digits, shortest form: 60 for 60.0, 46.99 for 59.99 - 13.
std::string NumberText(double value);
// "硬盘驱动器" for a fixed drive and so on; empty for an unknown type number.
std::string DriveTypeName(int type);

// The first character of the Windows directory: the system drive letter.
std::string GetSystemDriveLetter(DrivePort& drives);
// "C:", "D:" ... for the letters A to Z whose type equals `type`, in letter order.
std::vector<std::string> DriveLettersOfType(DrivePort& drives, int type);
// The label, or "本地磁盘" when it is empty; 255 blanks when the drive cannot be read.
std::string VolumeLabelOf(DrivePort& drives, char letter);
std::string FileSystemOf(DrivePort& drives, char letter);
// Total size in units of 2^30 bytes, to hundredths.
double TotalSizeGb(DrivePort& drives, char letter);
// Space available to the caller in whole units of 2^30 bytes (rounded to hundredths, then cut).
double FreeSizeGb(DrivePort& drives, char letter);
std::string TotalSizeText(DrivePort& drives, char letter);

// The record of `letter` ("C") with the given designator; `systemLetter` marks the system drive
// (compared exactly, case included).
DriveRecord MakeDriveRecord(DrivePort& drives, const std::string& letter, const std::string& designator,
                            const std::string& systemLetter);

}  // namespace kx
