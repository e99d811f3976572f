#pragma once
// Reading the disks' partitions with diskpart, one "detail disk" for each disk WMI counts: what the
// refresh lists, and the fresh read that checks a list row before a job that names it is written.
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "base/Ports.h"
#include "disk/Diskpart.h"
#include "disk/DrivePort.h"

namespace kx {

// The volumes with a drive letter on every disk, each with its designator, in disk order. Each read
// writes a script of its own and deletes it at the end. Fails when WMI could not count the disks, a script
// could not be written, or diskpart could not start or did not answer in time; nothing of a failed read is
// returned.
Result<std::vector<ListedVolume>> ReadDiskDetails(DrivePort& drives, CommandPort& commands);

// Reads the disks afresh and checks that the partition list's row still names the same partition: the
// drive `drive` ("C:") has the designator `designator` ("1:2"), no other volume has it, and its disk has
// the ID the list was filled with (`listedDiskId`; not compared when either is unknown). The failure says,
// in the user's words, what differs and that nothing was written.
Outcome ConfirmListedPartition(DrivePort& drives, CommandPort& commands, const std::string& drive,
                               const std::string& designator, const std::string& listedDiskId = {});

}  // namespace kx
