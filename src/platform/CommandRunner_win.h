#pragma once
// Console tools run through the command interpreter with their output captured.
#include <string>

#include "base/Ports.h"
#include "platform/WindowsInfo_win.h"

namespace kx {

// Runs "cmd.exe /c " + commandLine ("command.com /c" outside the NT family) in a console of its own,
// hidden unless `hide` is false, and returns everything the command wrote to standard output and
// standard error, in order, decoded from the console's code page (OEM, 936 on Chinese Windows) to
// UTF-8. Empty when nothing was printed or the interpreter could not start. Keeps handling the
// calling thread's messages while it waits, so a window on that thread stays responsive. On 64-bit
// Windows file-system redirection is off while the interpreter starts, so that a 32-bit program reaches
// the 64-bit system tools; the messages handled while it runs see redirection as it was.
std::string RunCommandCaptured(const std::string& commandLine, bool hide = true);
// The same with the redirection switch given (tests).
std::string RunCommandCaptured(const std::string& commandLine, bool hide, FsRedirection& redirection);

class WindowsCommands : public CommandPort {
public:
    std::string RunCommandCaptured(const std::string& commandLine) override {
        return kx::RunCommandCaptured(commandLine);
    }
};

}  // namespace kx
