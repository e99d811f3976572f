#pragma once
// The target drive: where downloaded images, default backups and staged images go.
#include <string>

#include "base/ProgramFacts.h"
#include "base/WindowPort.h"
#include "disk/DrivePort.h"

namespace kx {

// The sized rule: among the rows of the restore-partition list, the drive that is neither the system
// drive nor removable, can hold `requiredGb` whole gigabytes, and has the most room (ties: the earlier
// row). On success the target drive and `letter` become its letter; on failure both are empty.
bool ChooseTargetForSize(WindowPort& window, DrivePort& drives, ProgramFacts& facts, float requiredGb,
                         std::string& letter);

}  // namespace kx
