#include "platform/CommandRunner_win.h"

#include <windows.h>

#include "platform/Handle_win.h"
#include "platform/MessagePump_win.h"
#include "text/Text.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// Appends what waits in the pipe; false when nothing was there. Zero bytes in the output are dropped
// rather than cutting the rest of the chunk off.
bool ReadAvailable(HANDLE pipe, std::string& bytes) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) return false;
    char buffer[1024];
    DWORD read = 0;
    if (!ReadFile(pipe, buffer, sizeof buffer - 1, &read, nullptr) || read == 0) return false;
    for (DWORD i = 0; i < read; ++i)
        if (buffer[i] != '\0') bytes += buffer[i];
    return true;
}

// Collects the child's output until it ends. The window stays responsive meanwhile: the calling thread's
// messages are handled (a WM_QUIT met here is kept for the message loop).
void CollectUntilExit(HANDLE process, HANDLE pipe, std::string& bytes) {
    for (;;) {
        if (ReadAvailable(pipe, bytes)) {
            ProcessPendingMessages();
            continue;
        }
        // The process handle, not the exit code, says whether it ended: a tool may exit with 259.
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            // The last output may have arrived between the peek and the exit.
            while (ReadAvailable(pipe, bytes)) {
            }
            return;
        }
        ProcessPendingMessages();
        // Sleep until the child ends or a message arrives, at most a few milliseconds, instead of
        // spinning a core while the tool runs.
        MsgWaitForMultipleObjects(1, &process, FALSE, 5, QS_ALLINPUT);
    }
}

}  // namespace

std::string RunCommandCaptured(const std::string& commandLine, bool hide) {
    return RunCommandCaptured(commandLine, hide, SystemFsRedirection());
}

std::string RunCommandCaptured(const std::string& commandLine, bool hide, FsRedirection& redirection) {
    std::string bytes;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return {};
    // Only the write end belongs to the child; an inherited read end would keep the pipe alive.
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = static_cast<WORD>(hide ? SW_HIDE : SW_SHOW);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    std::wstring line = Widen((GetPlatformFamily() == 3 ? "cmd.exe /c " : "command.com /c ") + commandLine);
    PROCESS_INFORMATION started{};
    BOOL ok;
    {
        // Redirection is off only while the interpreter is looked up and started: a 32-bit program on
        // 64-bit Windows then starts the 64-bit cmd.exe, which finds the system's own diskpart and
        // bcdedit. The child does not inherit the switch. Everything this thread does later, the
        // window's handlers that run while the command works included, sees the program's own system
        // folder again (a file they open, a DLL that loads).
        FsRedirectionOff off(redirection);
        ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    }
    writeEnd.reset();
    if (!ok) return {};
    UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    CollectUntilExit(process.get(), readEnd.get(), bytes);
    return FromCodePage(bytes, GetOEMCP());
}

}  // namespace kx
