#pragma once
// Fakes of the ports, shared by the core tests.
#include <string>
#include <vector>

#include "support/MemoryWindow.h"
#include "app/Program.h"
#include "base/Ports.h"

namespace kx::test {

struct ShownMessage {
    std::string text, title;
    MessageButtons buttons;
    MessageIcon icon;
};

class FakeMessages : public MessagePort {
public:
    using MessagePort::Show;
    MessageAnswer Show(const std::string& text, const std::string& title, MessageButtons buttons,
                       MessageIcon icon) override {
        shown.push_back({text, title, buttons, icon});
        if (!answers.empty()) {
            MessageAnswer next = answers.front();
            answers.erase(answers.begin());
            return next;
        }
        return answer;
    }
    std::vector<ShownMessage> shown;
    MessageAnswer answer = MessageAnswer::Ok;
    std::vector<MessageAnswer> answers;  // given in turn before `answer`, for Yes/No/Cancel paths
};

class FakeShell : public ShellPort {
public:
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

class FakeClock : public ClockPort {
public:
    LocalTime Now() override { return now; }
    uint32_t TickCount() override { return ticks; }
    void Pause(int milliseconds) override {
        if (milliseconds > 0) ticks += milliseconds;
    }
    LocalTime now{2015, 7, 16, 10, 30, 0};
    uint32_t ticks = 1000;
};

class FakeInstance : public InstancePort {
public:
    uint32_t CreateNamedMutex(const std::string& name) override {
        mutexName = name;
        return lastError;
    }
    void ReleaseNamedMutex() override { released = true; }
    bool ActivateOtherWindow(const std::string& className, const std::string& title) override {
        searchedClass = className;
        searchedTitle = title;
        return true;
    }
    void ExitProcess(int code) override { exitCode = code; }

    uint32_t lastError = 0;
    std::string mutexName, searchedClass, searchedTitle;
    bool released = false;
    int exitCode = -1;
};

// A program wired to fakes of every port.
struct Rig {
    MemoryWindow window;
    FakeMessages messages;
    FakeShell shell;
    FakeClock clock;
    FakeInstance instance;
    Program program{Ports{&window, &messages, &shell, &clock, &instance}};
};

}  // namespace kx::test
