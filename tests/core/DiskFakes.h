#pragma once
// Fakes of the drive and command ports, and a program wired to them, for the disk inventory's tests.
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "Fakes.h"
#include "disk/DrivePort.h"

namespace kx::test {

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

struct DiskRig : Rig {
    FakeDrives drives;
    ScriptedCommands commands;
    DiskRig() {
        program.ports().drives = &drives;
        program.ports().commands = &commands;
    }
    ~DiskRig() { program.state().imageSearch.Stop(nullptr); }
};

inline std::string ReadTestData(const std::string& relative) {
    std::ifstream in(std::string(KX_TEST_DATA) + "/" + relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace kx::test
