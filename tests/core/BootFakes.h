#pragma once
// Fakes for boot deployment: files on drives kept in memory, scripted console commands.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "boot/BootPorts.h"
#include "Fakes.h"

namespace kx::test {

struct FakeFile {
    std::string bytes;
    uint32_t attributes = 0x20;
    bool stamped = false;
};

class FakeBootFiles : public BootFilePort {
public:
    bool WriteNewFile(const std::string& path, std::string_view bytes) override {
        log.push_back("write " + path);
        auto it = files.find(path);
        // As Windows: create-always with normal attributes fails over a hidden or system file.
        if (it != files.end() && (it->second.attributes & 0x06)) return false;
        if (failWrites) return false;
        files[path] = FakeFile{std::string(bytes), 0x20, false};
        return true;
    }
    bool StampBootFile(const std::string& path) override {
        log.push_back("stamp " + path);
        auto it = files.find(path);
        if (it == files.end()) return false;
        it->second.attributes = (it->second.attributes | 0x02) & 0x27;
        it->second.stamped = true;
        return true;
    }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    bool RemoveFile(const std::string& path) override {
        log.push_back("delete " + path);
        return files.erase(path) != 0;
    }
    bool CopyNewFile(const std::string& from, const std::string& to) override {
        log.push_back("copy " + from + " " + to);
        if (!files.count(from) || files.count(to)) return false;
        files[to] = files[from];
        return true;
    }
    bool SetAttributes(const std::string& path, uint32_t attributes) override {
        log.push_back("attributes " + path);
        if (!files.count(path)) return false;
        files[path].attributes = attributes;
        return true;
    }
    bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override {
        log.push_back("profile " + file + " [" + section + "] " + key + "=" + value);
        if (files.count(file) && (files[file].attributes & 0x01)) return false;
        profile[file][section][key] = value;
        files[file];
        return true;
    }
    bool CreateFolder(const std::string& path) override {
        folders.push_back(path);
        return true;
    }

    std::map<std::string, FakeFile> files;
    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> profile;
    std::vector<std::string> folders, log;
    bool failWrites = false;
};

class FakeBootAssets : public BootAssetSource {
public:
    std::string_view Bytes(BootAsset asset) override { return bytes[asset]; }
    std::map<BootAsset, std::string> bytes{{BootAsset::Helper, std::string(8192, 'H')},
                                           {BootAsset::Loader, "LOADER"},
                                           {BootAsset::DosImage, std::string(1474560, 'D')}};
};

class FakeCommands : public CommandPort {
public:
    std::string RunCommandCaptured(const std::string& commandLine) override {
        run.push_back(commandLine);
        return answer ? answer(commandLine) : std::string();
    }
    std::vector<std::string> run;
    std::function<std::string(const std::string&)> answer;
};

class FakeSystem : public SystemPort {
public:
    std::string WindowsVersionName() override { return version; }
    int PlatformFamily() override { return 3; }
    bool IsWindows64() override { return false; }
    std::string SpecialFolderPath(int) override { return {}; }
    std::string version = "Win7";
};

// A program with the boot fakes wired in and a restore-partition list.
struct BootRig {
    MemoryWindow window;
    FakeMessages messages;
    FakeShell shell;
    FakeClock clock;
    FakeInstance instance;
    FakeCommands commands;
    FakeSystem system;
    FakeBootFiles files;
    FakeBootAssets assets;
    Program program{Ports{.window = &window, .messages = &messages, .shell = &shell, .clock = &clock,
                          .instance = &instance, .commands = &commands, .system = &system, .bootFiles = &files,
                          .bootAssets = &assets}};

    BootRig() { program.facts().systemDriveLetter = "C"; }
    void AddPartition(const std::string& drive, const std::string& designator) {
        const int row = window.AddRow("还原磁盘_超级列表框", drive);
        window.SetCell("还原磁盘_超级列表框", row, 1, designator);
    }
};

}  // namespace kx::test
