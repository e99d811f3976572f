#pragma once
// The EFI system partition on Windows: IOCTL_DISK_GET_DRIVE_LAYOUT_EX finds it on the system drive's disk,
// mountvol X: /S gives it a free letter and DeleteVolumeMountPointW takes the letter away again; the
// system partition's serial comes from FSCTL_GET_NTFS_VOLUME_DATA.
// Under Wine there are no such disks: when KORVANIX_ESP holds "FOLDER|NUMBER|PARTITION-GUID|START|SIZE"
// (start and size in sectors), the port finds that partition and "mounts" it as the folder, and the
// serials come from KORVANIX_VOLUME_SERIALS ("C=0123456789ABCDEF;D=...").
#include <windows.h>

#include <winioctl.h>

#include <memory>
#include <vector>

#include "base/Outcome.h"
#include "imaging/ImagingPorts.h"
#include "platform/Handle_win.h"

namespace kx {

std::unique_ptr<EspPort> MakeEspPort();
// The disk's layout (DRIVE_LAYOUT_INFORMATION_EX), asked again with more room until it fits.
Result<std::vector<unsigned char>> DriveLayout(HANDLE disk);
// Where drive `letter`'s volume lies (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS): its first extent, and how many
// it has. A volume over more extents than one fails to be read.
struct VolumeExtents {
    DWORD count = 0;
    DISK_EXTENT first{};
};
Result<VolumeExtents> VolumeExtentsOf(char letter);
// The whole disk `number` (\\.\PhysicalDriveN), opened for reading; invalid when it cannot be opened.
UniqueFile OpenPhysicalDisk(DWORD number);

}  // namespace kx
