#pragma once
// Console tools run through the command interpreter with their output captured.
#include <cstdint>
#include <string>

#include "base/Ports.h"
#include "platform/WindowsInfo_win.h"

namespace kx {

// How long a console tool may run before the runner ends it: diskpart on a machine with many disks takes
// tens of seconds, a tool that never answers must not hold the window's workflow for good.
inline constexpr uint32_t kDefaultCommandTimeoutMs = 120000;

// What one run of a console tool gave.
struct CapturedRun {
    std::string output;     // UTF-8, everything printed until the tool ended or was ended
    bool started = false;   // the interpreter started
    bool timedOut = false;  // it had not finished within the time-out and was ended
    uint32_t error = 0;     // why it did not start (GetLastError)
};

// Runs "cmd.exe /c " + commandLine ("command.com /c" outside the NT family) in a console of its own,
// hidden unless `hide` is false, and returns everything the command wrote to standard output and
// standard error, in order, decoded from the console's code page (OEM, 936 on Chinese Windows) to
// UTF-8. Keeps handling the calling thread's messages while it waits, so a window on that thread stays
// responsive. A command still running after `timeoutMs` is ended: the interpreter and what it started
// (they run in a job object of their own where Windows allows one; else the interpreter alone). On 64-bit
// Windows file-system redirection is off while the interpreter starts, so that a 32-bit program reaches
// the 64-bit system tools; the messages handled while it runs see redirection as it was.
CapturedRun RunCommandWithin(const std::string& commandLine, uint32_t timeoutMs, bool hide, FsRedirection& redirection);
// The output alone, with the default time-out; empty when nothing was printed or the interpreter could not
// start.
std::string RunCommandCaptured(const std::string& commandLine, bool hide = true);
// The same with the redirection switch given (tests).
std::string RunCommandCaptured(const std::string& commandLine, bool hide, FsRedirection& redirection);

// The program's console tools. The time-out is kDefaultCommandTimeoutMs unless the environment variable
// KORVANIX_TOOL_TIMEOUT_MS gives another (read when the port is made, at start; the scenarios use it to
// show a tool that never answers without waiting two minutes).
class WindowsCommands : public CommandPort {
public:
    WindowsCommands();
    Result<std::string> RunCommandCaptured(const std::string& commandLine) override;
    uint32_t TimeoutMs() const { return timeoutMs_; }

private:
    uint32_t timeoutMs_ = kDefaultCommandTimeoutMs;
};

}  // namespace kx
