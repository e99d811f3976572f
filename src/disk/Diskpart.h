#pragma once
// Reading the volume tables that diskpart prints ("detail disk" and "list volume"), in the formats of
// Chinese and English Windows XP to 8. Text is UTF-8 (decoded from the console's code page).
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// One row of a volume table.
struct VolumeRow {
    int position = 0;                 // 1-based position among the table's rows
    std::string letter;               // the drive letter, or empty for a volume without one
    std::vector<std::string> fields;  // the row's words: number, letter, label, file system, type, size...
    std::string line;                 // the row as printed

    // The word at `index`, empty when the row has fewer.
    std::string Field(size_t index) const { return index < fields.size() ? fields[index] : std::string(); }
    bool Mentions(std::string_view word) const { return line.find(word) != std::string::npos; }
};

// The rows of the first volume table in `output`, one per printed line, so a label with blanks or with
// the header word in it (新加卷, New Volume) stays within its own row. A row has a letter only when
// its drive column holds a single letter: letterless volumes (the system-reserved one) keep their
// position but no letter, and one-letter labels are not mistaken for drives.
std::vector<VolumeRow> ReadVolumeTable(std::string_view output);

// The one disk script's answer when the disk index does not exist (Chinese Windows).
bool ReportsNoSelectedDisk(std::string_view output);

// A volume the partition list takes, with its Ghost designator.
struct ListedVolume {
    VolumeRow row;
    std::string designator;
    std::string diskId;  // its disk's ID from "detail disk"; empty from the volume list
};

// The ID of the disk that a "detail disk" answer shows ("磁盘 ID: 1A2B3C00", "Disk ID: 1A2B3C00": an MBR
// disk's signature); empty when the answer has none.
std::string DiskIdOf(std::string_view output);

// From the "detail disk" answer for disk `disk` (counted from 1): the healthy volumes with a drive
// letter, each "disk:position" (a letterless system-reserved first volume makes C: "1:2").
std::vector<ListedVolume> VolumesOfDiskDetail(std::string_view output, int disk);
// From the "list volume" answer: the volumes with a drive letter that are healthy or sized in GB, each
// "1:" followed by its position counted from 0, which is diskpart's volume number.
std::vector<ListedVolume> VolumesOfVolumeList(std::string_view output);

// The diskpart script that shows disk `index` (counted from 0), the command that runs the script file
// `name`, and the command that lists the volumes.
std::string DiskScript(int index);
inline std::string ScriptCommand(const std::string& name) { return "diskpart /s \"" + name + "\""; }
inline constexpr const char* kVolumeListCommand = "(echo list volume)|diskpart";

}  // namespace kx
