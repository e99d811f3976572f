#pragma once
// The small interfaces through which the portable core reaches the outside world.
// Windows implementations sit in *_win.cpp files; tests use fakes.
#include <cstdint>
#include <string>

#include "base/Outcome.h"

namespace kx {

enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };
// The picture beside the text, chosen by the caller: a question, a warning before something that
// cannot be undone, an error when something failed.
enum class MessageIcon { Information, Question, Warning, Error };

// The title of a box that says something failed.
inline constexpr const char* kErrorTitle = "错误";

// Task-modal message boxes without an owner window. Closing a question box answers Cancel.
class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual MessageAnswer Show(const std::string& text, const std::string& title, MessageButtons buttons,
                               MessageIcon icon) = 0;

    // The common shapes: a notice, and a question whose icon is a question mark.
    MessageAnswer Show(const std::string& text, const std::string& title = "信息：",
                       MessageButtons buttons = MessageButtons::Ok) {
        return Show(text, title, buttons,
                    buttons == MessageButtons::Ok ? MessageIcon::Information : MessageIcon::Question);
    }
    // A failure: titled "错误" and with the error icon, so that the two never disagree.
    void ShowError(const std::string& text) { (void)Show(text, kErrorTitle, MessageButtons::Ok, MessageIcon::Error); }
};

// The shell's "open" verb: web pages in the user's default browser.
class ShellPort {
public:
    virtual ~ShellPort() = default;
    virtual void OpenUrl(const std::string& url) = 0;
};

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class ClockPort {
public:
    virtual ~ClockPort() = default;
    virtual LocalTime Now() = 0;
    virtual uint32_t TickCount() = 0;  // milliseconds, wraps like GetTickCount
    // Waits while the calling thread keeps handling its messages (the window stays responsive).
    virtual void Pause(int milliseconds) = 0;
};

// What the single-instance guard needs from the system.
class InstancePort {
public:
    virtual ~InstancePort() = default;
    // Creates (or opens) the named mutex and keeps it for the life of the process; returns the
    // thread's last error right after the call (183 when it already existed, 5 when access was denied).
    virtual uint32_t CreateNamedMutex(const std::string& name) = 0;
    virtual void ReleaseNamedMutex() = 0;
    // Finds the other instance's main window and brings it to the front, restored if minimised.
    // Returns false when no such window exists.
    virtual bool ActivateOtherWindow(const std::string& className, const std::string& title) = 0;
    virtual void ExitProcess(int code) = 0;
};

// Console tools run through the command interpreter, their output captured (UTF-8, decoded from the
// console's code page): everything the tool printed, empty when it printed nothing. Fails, with words that
// say which, when the interpreter could not start (the call and its error), or when the tool did not
// finish within the runner's time-out and was ended.
class CommandPort {
public:
    virtual ~CommandPort() = default;
    virtual Result<std::string> RunCommandCaptured(const std::string& commandLine) = 0;
};

// Facts about the running Windows.
class SystemPort {
public:
    virtual ~SystemPort() = default;
    virtual std::string WindowsVersionName() = 0;  // "WinXP", "Win7", "Win8", "未知", ...
    virtual int PlatformFamily() = 0;              // 3 = NT family
    virtual bool IsWindows64() = 0;
};

}  // namespace kx
