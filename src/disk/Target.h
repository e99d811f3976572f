#pragma once
// The target drive: where downloaded images, default backups and staged images go.
#include <string>

#include "base/ProgramFacts.h"
#include "disk/DrivePort.h"

namespace kx {

// The sized rule: among the rows of the restore-partition list, the drive that is neither the system
// drive nor removable, can hold `requiredGb` whole gigabytes, and has the most room (ties: the earlier
// row). On success the target drive and `letter` become its letter; on failure both are empty.
bool ChooseTargetForSize(DrivePort& drives, ProgramFacts& facts, float requiredGb, std::string& letter);

// Where a download goes: the target drive when it is a row of the restore-partition list other than the
// system drive and not removable, else the sized rule's choice with no size (any room). Empty when no
// listed partition qualifies. A drive outside the list (a network share mapped as a fixed drive, Wine's
// Z:) is never taken: the install cannot name it.
std::string ListedTargetDrive(DrivePort& drives, ProgramFacts& facts);

}  // namespace kx
