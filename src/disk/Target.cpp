#include "disk/Target.h"

#include <cstdint>
#include <cstdlib>

#include "base/ControlNames.h"
#include "disk/DiskPages.h"
#include "disk/DriveRecord.h"
#include "disk/PartitionList.h"

namespace kx {
namespace {

// "46.99 GB" without its unit as a number; a text that is not one counts as 0.
double SizeCellNumber(const std::string& cell) {
    std::string number = cell.size() >= 3 ? cell.substr(0, cell.size() - 3) : std::string();
    return std::strtod(number.c_str(), nullptr);
}

}  // namespace

void ChooseTargetDrive(const DiskContext& c) {
    DrivePort& drives = c.drives;
    // Kilobytes available to the caller, counted in 64 bits: drives with 2 TiB or more free are common.
    int64_t best = 0;
    std::string chosen;
    for (const std::string& drive : DriveLettersOfType(drives, kFixedDrive)) {
        SpaceFacts s = drives.Space(drive[0]);
        int64_t free = s.ok ? static_cast<int64_t>(s.availableToCaller / 1024) : -1;
        if (free > best) {
            best = free;
            chosen = drive.substr(0, 1);
        }
    }
    if (!chosen.empty()) c.facts.targetDrive.Set(chosen);
}

bool ChooseTargetForSize(DrivePort& drives, ProgramFacts& facts, float requiredGb, std::string& letter) {
    letter.clear();
    facts.targetDrive.Set("");
    float best = 0;
    for (const DriveRecord& row : facts.partitions.Get()) {
        std::string l = row.cells[kDriveCol].substr(0, 1);
        if (l.empty() || l == facts.systemDriveLetter) continue;
        if (drives.DriveType(l[0]) == kRemovableDrive) continue;
        if (FreeSizeGb(drives, l[0]) - requiredGb < -1e-7) continue;
        auto room = static_cast<float>(SizeCellNumber(row.cells[kTotalCol]) - SizeCellNumber(row.cells[kUsedCol]));
        if (room > best) {
            best = room;
            letter = l;
        }
    }
    if (letter.empty()) return false;
    facts.targetDrive.Set(letter);
    return true;
}

std::string ListedTargetDrive(DrivePort& drives, ProgramFacts& facts) {
    const std::string current = facts.targetDrive.Get();
    if (!current.empty() && current != facts.systemDriveLetter && drives.DriveType(current[0]) != kRemovableDrive &&
        RowOfLetter(facts.partitions.Get(), current) >= 0)
        return current;
    std::string letter;
    return ChooseTargetForSize(drives, facts, 0.0f, letter) ? letter : std::string();
}

}  // namespace kx
