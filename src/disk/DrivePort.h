#pragma once
// What the disk inventory asks of the system about drives. Implemented by WindowsDrives
// (DiskPorts_win.h) and by fakes in the tests. Every call asks afresh; nothing is cached.
#include <cstdint>
#include <string>

#include "base/Outcome.h"

namespace kx {

struct VolumeFacts {
    bool ok = false;
    std::string label, fileSystem;
};

struct SpaceFacts {
    bool ok = false;
    uint64_t availableToCaller = 0, total = 0, totalFree = 0;  // bytes
};

class DrivePort {
public:
    virtual ~DrivePort() = default;
    virtual std::string WindowsDirectory() = 0;
    // GetDriveType of the root "X:\": 0 unknown, 1 no root, 2 removable, 3 fixed, 4 network, 5 optical, 6 RAM.
    virtual int DriveType(char letter) = 0;
    virtual VolumeFacts Volume(char letter) = 0;
    virtual SpaceFacts Space(char letter) = 0;
    // The number of physical disks WMI knows (Win32_DiskDrive), or why WMI could not tell.
    virtual Result<int> CountPhysicalDisks() = 0;
    // A name for a diskpart script that no other script of this run of the program carries: each read of
    // the disks writes and deletes its own, so two reads never answer from each other's script.
    virtual std::string NewScriptName() = 0;
    // The diskpart script in the program's folder (the current directory), whole, or the reason it is not.
    virtual Outcome WriteScript(const std::string& name, const std::string& bytes) = 0;
    virtual void DeleteScript(const std::string& name) = 0;
};

}  // namespace kx
