#include "platform/CommandRunner_win.h"
#include "platform/MessagePump_win.h"

#include <windows.h>

#include "text/Text.h"
#include "text/Wide_win.h"
#include "platform/WindowsInfo_win.h"

namespace kx {
namespace {

class Handle {
public:
    Handle() = default;
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    HANDLE* put() {
        reset();
        return &h_;
    }
    void reset() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// The window stays responsive while a tool runs; a WM_QUIT met here is kept for the message loop.
void PumpMessages() { ProcessPendingMessages(); }

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

}  // namespace

std::string RunCommandCaptured(const std::string& commandLine, bool hide) {
    bool windows64 = IsWindows64();
    if (windows64) DisableFsRedirection();

    std::string bytes;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) {
        // Only the write end belongs to the child; an inherited read end would keep the pipe alive.
        SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        startup.wShowWindow = static_cast<WORD>(hide ? SW_HIDE : SW_SHOW);
        startup.hStdOutput = writeEnd.get();
        startup.hStdError = writeEnd.get();
        std::wstring line = Widen((GetPlatformFamily() == 3 ? "cmd.exe /c " : "command.com /c ") + commandLine);
        PROCESS_INFORMATION process{};
        BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &process);
        writeEnd.reset();
        if (started) {
            CloseHandle(process.hThread);
            for (;;) {
                if (ReadAvailable(readEnd.get(), bytes)) {
                    PumpMessages();
                    continue;
                }
                // The process handle, not the exit code, says whether it ended: a tool may exit with 259.
                if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
                    // The last output may have arrived between the peek and the exit.
                    while (ReadAvailable(readEnd.get(), bytes)) {
                    }
                    break;
                }
                PumpMessages();
                // Sleep until the child ends or a message arrives, at most a few milliseconds, instead of
                // spinning a core while the tool runs.
                MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 5, QS_ALLINPUT);
            }
            CloseHandle(process.hProcess);
        }
    }

    if (windows64) RevertFsRedirection();
    return FromCodePage(bytes, GetOEMCP());
}

}  // namespace kx
