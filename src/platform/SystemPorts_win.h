#pragma once
// The shell's Windows ports: message boxes, the browser, the clock and Pause, the single-instance mutex.
#include <windows.h>

#include "base/Ports.h"
#include "platform/Handle_win.h"
#include "platform/MessagePump_win.h"

namespace kx {

class MessagePortWin : public MessagePort {
public:
    using MessagePort::Show;
    MessageAnswer Show(const std::string& text, const std::string& title, MessageButtons buttons,
                       MessageIcon icon) override;
};

class ShellPortWin : public ShellPort {
public:
    void OpenUrl(const std::string& url) override;
};

class ClockPortWin : public ClockPort {
public:
    LocalTime Now() override;
    uint32_t TickCount() override;
    void Pause(int milliseconds) override;
};

// Brings a top-level window to the front, restored when it was minimised. Nothing when it is no window.
void ActivateWindow(HWND hwnd);

class InstancePortWin : public InstancePort {
public:
    uint32_t CreateNamedMutex(const std::string& name) override;
    void ReleaseNamedMutex() override;
    bool ActivateOtherWindow(const std::string& className, const std::string& title) override;
    void ExitProcess(int code) override;

private:
    UniqueKernelHandle mutex_;  // held while the program runs: the next start finds it
};

}  // namespace kx
