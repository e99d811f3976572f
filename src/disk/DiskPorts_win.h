#pragma once
// The Windows implementations of the disk inventory's and the system services' ports. WinMain makes
// them once with MakeSystemServicePorts and points Ports::drives, ::commands and ::system at them.
#include <atomic>
#include <memory>

#include "disk/DrivePort.h"
#include "platform/CommandRunner_win.h"
#include "platform/WindowsInfo_win.h"

namespace kx {

class WindowsDrives : public DrivePort {
public:
    std::string WindowsDirectory() override;
    int DriveType(char letter) override;
    VolumeFacts Volume(char letter) override;
    SpaceFacts Space(char letter) override;
    Result<int> CountPhysicalDisks() override;
    std::string NewScriptName() override;
    Outcome WriteScript(const std::string& name, const std::string& bytes) override;
    void DeleteScript(const std::string& name) override;

private:
    std::atomic<int> scripts_{0};
};

struct SystemServicePorts {
    WindowsDrives drives;
    WindowsCommands commands;
    WindowsSystem system;
};

std::unique_ptr<SystemServicePorts> MakeSystemServicePorts();

}  // namespace kx
