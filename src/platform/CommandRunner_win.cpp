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

// Collects the child's output until it ends, or until `timeoutMs` have passed (false then). The window stays
// responsive meanwhile: the calling thread's messages are handled (a WM_QUIT met here is kept for the
// message loop).
bool CollectUntilExit(HANDLE process, HANDLE pipe, uint32_t timeoutMs, std::string& bytes) {
    const DWORD started = GetTickCount();
    for (;;) {
        if (ReadAvailable(pipe, bytes)) {
            ProcessPendingMessages();
        } else if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            // The process handle, not the exit code, says whether it ended: a tool may exit with 259.
            // The last output may have arrived between the peek and the exit.
            while (ReadAvailable(pipe, bytes)) {
            }
            return true;
        } else {
            ProcessPendingMessages();
            // Sleep until the child ends or a message arrives, at most a few milliseconds, instead of
            // spinning a core while the tool runs.
            MsgWaitForMultipleObjects(1, &process, FALSE, 5, QS_ALLINPUT);
        }
        // A handler that ran meanwhile may have taken longer than the tool: only a tool still running is late.
        if (GetTickCount() - started >= timeoutMs && WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
    }
}

// Ends what the run started: the whole job when the interpreter is in one (the tool it started with it),
// else the interpreter. Waits a moment for it to be gone.
void EndRun(HANDLE job, HANDLE process) {
    if (!job || !TerminateJobObject(job, 1)) TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
}

uint32_t TimeoutFromEnvironment() {
    wchar_t value[32] = {};
    const DWORD n = GetEnvironmentVariableW(L"KORVANIX_TOOL_TIMEOUT_MS", value, 32);
    if (n == 0 || n >= 32) return kDefaultCommandTimeoutMs;
    const unsigned long ms = wcstoul(value, nullptr, 10);
    return ms > 0 ? static_cast<uint32_t>(ms) : kDefaultCommandTimeoutMs;
}

}  // namespace

std::string RunCommandCaptured(const std::string& commandLine, bool hide) {
    return RunCommandCaptured(commandLine, hide, SystemFsRedirection());
}

std::string RunCommandCaptured(const std::string& commandLine, bool hide, FsRedirection& redirection) {
    return RunCommandWithin(commandLine, kDefaultCommandTimeoutMs, hide, redirection).output;
}

CapturedRun RunCommandWithin(const std::string& commandLine, uint32_t timeoutMs, bool hide,
                             FsRedirection& redirection) {
    CapturedRun run;
    std::string bytes;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) {
        run.error = GetLastError();
        return run;
    }
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
        // Suspended until it is in its job, so that nothing it starts escapes the job.
        ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                            &started);
    }
    if (!ok) run.error = GetLastError();
    writeEnd.reset();
    if (!ok) return run;
    run.started = true;
    UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    // A program that already runs in a job cannot put its child in another before Windows 8: the child then
    // runs without one, and a time-out ends the interpreter alone.
    UniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (job && !AssignProcessToJobObject(job.get(), process.get())) job.reset();
    ResumeThread(thread.get());
    if (!CollectUntilExit(process.get(), readEnd.get(), timeoutMs, bytes)) {
        EndRun(job.get(), process.get());
        run.timedOut = true;
    }
    run.output = FromCodePage(bytes, GetOEMCP());
    return run;
}

WindowsCommands::WindowsCommands() : timeoutMs_(TimeoutFromEnvironment()) {}

Result<std::string> WindowsCommands::RunCommandCaptured(const std::string& commandLine) {
    CapturedRun run = RunCommandWithin(commandLine, timeoutMs_, true, SystemFsRedirection());
    if (!run.started)
        return Outcome::Failed("无法运行命令“" + commandLine + "”", Win32Error{run.error, "CreateProcessW"});
    if (run.timedOut)
        return Outcome::Failed("命令“" + commandLine + "”在 " + std::to_string((timeoutMs_ + 999) / 1000) +
                               " 秒内没有完成，已被结束");
    return std::move(run.output);
}

}  // namespace kx
