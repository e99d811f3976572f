#pragma once
// Fakes of the shared ports, used by every core test (ProgramRig.h wires them all into a program).
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Outcome.h"
#include "base/Ports.h"
#include "disk/DrivePort.h"
#include "support/MemoryWindow.h"

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
        // Whichever workflow shows it, a box titled "错误" carries the error sign.
        EXPECT_TRUE(title != kErrorTitle || icon == MessageIcon::Error) << text;
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
    Result<int> CountPhysicalDisks() override {
        if (wmiFails) return Outcome::Failed("WMI 没有回答有几块硬盘", {0x80041003, "ConnectServer"});
        return disks;
    }
    std::string NewScriptName() override { return "kxdisk" + std::to_string(++named) + ".txt"; }
    Outcome WriteScript(const std::string& name, const std::string& bytes) override {
        if (refuseScriptFor && bytes.find(refuseScriptFor) != std::string::npos)
            return Outcome::Failed("无法写入 diskpart 脚本 " + name, {5, "CreateFileW"});
        files[name] = bytes;
        scripts.push_back(bytes);
        return Outcome::Done();
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
    bool wmiFails = false;
    int named = 0;
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

// Answers each command with a function of the command line and of the script last written; diskpart's
// commands go to `diskpart` when it is set. A command holding `timeOutOn` fails as one that never answered,
// one holding `cannotStart` as one whose interpreter could not be started.
class ScriptedCommands : public CommandPort {
public:
    Result<std::string> RunCommandCaptured(const std::string& commandLine) override {
        run.push_back(commandLine);
        if (cannotStart && commandLine.find(cannotStart) != std::string::npos)
            return Outcome::Failed("无法运行命令“" + commandLine + "”", {2, "CreateProcessW"});
        std::string out;
        if (diskpart && commandLine.find("diskpart") != std::string::npos)
            out = diskpart(commandLine);
        else if (answer)
            out = answer(commandLine);
        if (timeOutOn && commandLine.find(timeOutOn) != std::string::npos)
            return Outcome::Failed("命令“" + commandLine + "”在 120 秒内没有完成，已被结束");
        return out;
    }
    // The commands run other than diskpart's.
    std::vector<std::string> Others() const {
        std::vector<std::string> others;
        for (const std::string& c : run)
            if (c.find("diskpart") == std::string::npos) others.push_back(c);
        return others;
    }
    std::function<std::string(const std::string&)> answer, diskpart;
    std::vector<std::string> run;
    const char* timeOutOn = nullptr;
    const char* cannotStart = nullptr;
};

// The script file a "diskpart /s "NAME"" command line names.
inline std::string ScriptFileOf(const std::string& commandLine) {
    const size_t open = commandLine.find("/s \"");
    if (open == std::string::npos) return {};
    const size_t close = commandLine.find('"', open + 4);
    return commandLine.substr(open + 4, close == std::string::npos ? std::string::npos : close - open - 4);
}

class FakeSystem : public SystemPort {
public:
    std::string WindowsVersionName() override { return version; }
    int PlatformFamily() override { return 3; }
    bool IsWindows64() override { return windows64; }
    std::string version = "Win7";
    bool windows64 = false;
};

}  // namespace kx::test
