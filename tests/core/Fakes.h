#pragma once
// Fakes of the shared ports, used by every core test (ProgramRig.h wires them all into a program).
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/MemoryWindow.h"
#include "base/Ports.h"
#include "disk/DrivePort.h"

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
        if (onPause) onPause();
    }
    std::function<void()> onPause;  // what the window thread handles meanwhile
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

struct FakeDrive {
    int type = 3;
    VolumeFacts volume{true, "", "NTFS"};
    SpaceFacts space{true, 0, 0, 0};
};

inline constexpr uint64_t kGiB = 1073741824ull;

class FakeDrives : public DrivePort {
public:
    std::string WindowsDirectory() override { return windowsDirectory; }
    int DriveType(char letter) override {
        auto it = drives.find(letter);
        return it == drives.end() ? 1 : it->second.type;
    }
    VolumeFacts Volume(char letter) override { return Find(letter).volume; }
    SpaceFacts Space(char letter) override { return Find(letter).space; }
    int CountPhysicalDisks() override { return disks; }
    bool WriteScript(const std::string& name, const std::string& bytes) override {
        if (refuseScriptFor && bytes.find(refuseScriptFor) != std::string::npos) return false;
        files[name] = bytes;
        scripts.push_back(bytes);
        return true;
    }
    void DeleteScript(const std::string& name) override { files.erase(name); }

    // A fixed NTFS drive of `totalGb` with `freeGb` available.
    void AddFixed(char letter, double totalGb, double freeGb, std::string label = "") {
        FakeDrive d;
        d.volume.label = std::move(label);
        d.space = {true, static_cast<uint64_t>(freeGb * kGiB), static_cast<uint64_t>(totalGb * kGiB),
                   static_cast<uint64_t>(freeGb * kGiB)};
        drives[letter] = d;
    }

    std::string windowsDirectory = "C:\\WINDOWS";
    std::map<char, FakeDrive> drives;
    int disks = 0;
    std::map<std::string, std::string> files;
    std::vector<std::string> scripts;
    const char* refuseScriptFor = nullptr;  // a script holding this text cannot be written

private:
    FakeDrive Find(char letter) {
        auto it = drives.find(letter);
        if (it != drives.end()) return it->second;
        FakeDrive missing;
        missing.volume.ok = false;
        missing.space.ok = false;
        return missing;
    }
};

// Answers each command with a function of the command line and of the script last written.
class ScriptedCommands : public CommandPort {
public:
    std::string RunCommandCaptured(const std::string& commandLine) override {
        run.push_back(commandLine);
        return answer ? answer(commandLine) : std::string();
    }
    std::function<std::string(const std::string&)> answer;
    std::vector<std::string> run;
};

class FakeSystem : public SystemPort {
public:
    std::string WindowsVersionName() override { return version; }
    int PlatformFamily() override { return 3; }
    bool IsWindows64() override { return false; }
    std::string SpecialFolderPath(int) override { return {}; }
    std::string version = "Win7";
};

}  // namespace kx::test
