#include "platform/SystemPorts_win.h"

#include "platform/UiDispatcher_win.h"

#include <shellapi.h>

#include "text/Wide_win.h"

namespace kx {

void ActivateWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) return;
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
    BringWindowToTop(hwnd);
    SetActiveWindow(hwnd);
}

namespace {

MessageAnswer ShowBox(const std::string& text, const std::string& title, MessageButtons buttons, MessageIcon icon) {
    UINT type = MB_TASKMODAL | MB_SETFOREGROUND;
    switch (buttons) {
        case MessageButtons::Ok: type |= MB_OK; break;
        case MessageButtons::YesNo: type |= MB_YESNO; break;
        case MessageButtons::YesNoCancel: type |= MB_YESNOCANCEL; break;
    }
    switch (icon) {
        case MessageIcon::Information: type |= MB_ICONINFORMATION; break;
        case MessageIcon::Question: type |= MB_ICONQUESTION; break;
        case MessageIcon::Warning: type |= MB_ICONWARNING; break;
        case MessageIcon::Error: type |= MB_ICONERROR; break;
    }
    switch (MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(), type)) {
        case IDYES: return MessageAnswer::Yes;
        case IDNO: return MessageAnswer::No;
        case IDOK: return MessageAnswer::Ok;
        default: return MessageAnswer::Cancel;  // closing a question box
    }
}

}  // namespace

MessageAnswer MessagePortWin::Show(const std::string& text, const std::string& title, MessageButtons buttons,
                                   MessageIcon icon) {
    if (UiDispatcher::IsUiThread() || !UiDispatcher::Running()) return ShowBox(text, title, buttons, icon);
    // A worker's box is shown by the window thread. On the worker it would hold the worker until someone
    // answered, and with it the closing window, which waits for its workers: a close while such a box is up
    // would never end. A notice does not keep the worker; a question waits for its answer, and once the
    // window is closing no box is shown at all (a question is then cancelled).
    if (buttons == MessageButtons::Ok) {
        UiDispatcher::Post([=] {
            if (!UiDispatcher::Closing()) ShowBox(text, title, buttons, icon);
        });
        return MessageAnswer::Ok;
    }
    MessageAnswer answer = MessageAnswer::Cancel;
    UiDispatcher::Run([&] {
        if (!UiDispatcher::Closing()) answer = ShowBox(text, title, buttons, icon);
    });
    return answer;
}

void ShellPortWin::OpenUrl(const std::string& url) {
    ShellExecuteW(nullptr, L"open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LocalTime ClockPortWin::Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

uint32_t ClockPortWin::TickCount() { return GetTickCount(); }

void ClockPortWin::Pause(int milliseconds) {
    // Sleeps until a message arrives or the time is up, so a pause keeps the window responsive
    // without spinning the processor.
    if (milliseconds <= 0) return;
    DWORD start = GetTickCount();
    for (;;) {
        ProcessPendingMessages();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= static_cast<DWORD>(milliseconds)) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

uint32_t InstancePortWin::CreateNamedMutex(const std::string& name) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(name).c_str());
    DWORD error = GetLastError();  // before the reset, whose CloseHandle of an earlier mutex would change it
    mutex_.reset(mutex);
    return error;
}

void InstancePortWin::ReleaseNamedMutex() {
    if (mutex_) ReleaseMutex(mutex_.get());
}

bool InstancePortWin::ActivateOtherWindow(const std::string& className, const std::string& title) {
    HWND other = FindWindowW(Widen(className).c_str(), Widen(title).c_str());
    ActivateWindow(other);
    return other != nullptr;
}

void InstancePortWin::ExitProcess(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace kx
