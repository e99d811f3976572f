#pragma once
// Fakes for boot deployment: files on drives kept in memory, scripted console commands.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Fakes.h"
#include "base/ControlNames.h"
#include "base/PartitionRows.h"
#include "base/Ports.h"
#include "boot/BootPorts.h"
#include "support/MemoryWindow.h"

namespace kx::test {

struct FakeFile {
    std::string bytes;
    uint32_t attributes = 0x20;
    bool stamped = false;
    bool writtenSinceStart = false;  // written by the program at this start (not placed by a test)
};

constexpr uint32_t kAccessDenied = 5, kFileNotFound = 2, kFileExists = 80;

class FakeBootFiles : public BootFilePort {
public:
    Outcome WriteNewFile(const std::string& path, std::string_view bytes) override {
        log.push_back("write " + path);
        auto it = files.find(path);
        // As Windows: create-always with normal attributes fails over a hidden or system file.
        if (it != files.end() && (it->second.attributes & 0x06)) return Denied(path, "CreateFileW");
        if (failWrites) return Denied(path, "WriteFile");
        files[path] = FakeFile{std::string(bytes), 0x20, false, true};
        return Outcome::Done();
    }
    Outcome StampBootFile(const std::string& path) override {
        log.push_back("stamp " + path);
        auto it = files.find(path);
        if (it == files.end()) return Outcome::Failed(path, Win32Error{kFileNotFound, "FindFirstFileW"});
        it->second.attributes = (it->second.attributes | 0x02) & 0x27;
        it->second.stamped = true;
        return Outcome::Done();
    }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    Result<bool> WrittenSinceWindowsStarted(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end() || unknownStartTime)
            return Outcome::Failed(path, Win32Error{kFileNotFound, "GetFileAttributesExW"});
        return it->second.writtenSinceStart;
    }
    Result<std::string> ReadSmallFile(const std::string& path, size_t limit) override {
        auto it = files.find(path);
        if (it == files.end()) return Outcome::Failed(path, Win32Error{kFileNotFound, "CreateFileW"});
        if (it->second.bytes.size() > limit) return Outcome::Failed(path + " 太大，没有读取");
        return it->second.bytes;
    }
    Outcome RemoveFile(const std::string& path) override {
        log.push_back("delete " + path);
        auto it = files.find(path);
        if (it == files.end()) return Outcome::Failed(path, Win32Error{kFileNotFound, "DeleteFileW"});
        if (it->second.attributes & 0x01) return Denied(path, "DeleteFileW");  // read-only
        files.erase(it);
        return Outcome::Done();
    }
    Outcome CopyNewFile(const std::string& from, const std::string& to) override {
        log.push_back("copy " + from + " " + to);
        if (!files.count(from)) return Outcome::Failed(from, Win32Error{kFileNotFound, "CopyFileW"});
        if (files.count(to) || failCopies) return Outcome::Failed(to, Win32Error{kFileExists, "CopyFileW"});
        files[to] = files[from];
        return Outcome::Done();
    }
    Outcome MoveReplacing(const std::string& from, const std::string& to) override {
        log.push_back("replace " + from + " " + to);
        if (!files.count(from)) return Outcome::Failed(from, Win32Error{kFileNotFound, "MoveFileExW"});
        if (files.count(to) && (files[to].attributes & 0x01)) return Denied(to, "MoveFileExW");
        files[to] = files[from];
        files.erase(from);
        profile.erase(to);
        return Outcome::Done();
    }
    Outcome SetAttributes(const std::string& path, uint32_t attributes) override {
        log.push_back("attributes " + path);
        if (!files.count(path)) return Outcome::Failed(path, Win32Error{kFileNotFound, "SetFileAttributesW"});
        files[path].attributes = attributes;
        return Outcome::Done();
    }
    Outcome WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& value) override {
        log.push_back("profile " + file + " [" + section + "] " + key + "=" + value);
        if (files.count(file) && (files[file].attributes & 0x01)) return Denied(file, "WritePrivateProfileStringW");
        // A file that takes the write and keeps its old text (a profile mapped elsewhere).
        if (!ignoreIniWrites) profile[file][section][key] = value;
        files[file];
        return Outcome::Done();
    }
    std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key) override {
        return profile[file][section][key];
    }
    Outcome CreateFolder(const std::string& path) override {
        folders.push_back(path);
        return Outcome::Done();
    }
    Outcome RemoveFolder(const std::string& path) override {
        log.push_back("rmdir " + path);
        for (const auto& [name, file] : files)
            if (name.rfind(path + "\\", 0) == 0) return Outcome::Failed(path, Win32Error{145, "RemoveDirectoryW"});
        std::erase(folders, path);
        return Outcome::Done();
    }

    std::map<std::string, FakeFile> files;
    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> profile;
    std::vector<std::string> folders, log;
    bool failWrites = false, failCopies = false, ignoreIniWrites = false, unknownStartTime = false;

private:
    static Outcome Denied(const std::string& path, const char* call) {
        return Outcome::Failed("写入 " + path + " 失败", Win32Error{kAccessDenied, call});
    }
};

class FakeBootAssets : public BootAssetSource {
public:
    std::string_view Bytes(BootAsset asset) override { return bytes[asset]; }
    std::map<BootAsset, std::string> bytes{{BootAsset::Helper, std::string(8192, 'H')},
                                           {BootAsset::Loader, "LOADER"},
                                           {BootAsset::DosImage, std::string(1474560, 'D')},
                                           {BootAsset::EngineKernel, "KERNEL"},
                                           {BootAsset::EngineInitrd, "INITRD"},
                                           {BootAsset::EfiShim, "SHIM"},
                                           {BootAsset::EfiGrub, "GRUB"},
                                           {BootAsset::EfiKernel, "KERNEL64"},
                                           {BootAsset::EfiModules, "MODULES64"}};
};

// A boot store the way bcdedit lists it, for the fake command port: its entries, the boot manager's
// time-out and one-time boot sequence, and what /delete (with its clean-up of references), /timeout and
// /deletevalue do to them.
struct FakeBcd {
    std::vector<std::pair<std::string, std::string>> entries;  // identifier, description
    std::optional<std::string> timeout = "30";
    std::string bootSequence;
    bool chinese = true;
    int created = 0;

    std::string Answer(const std::string& command) {
        const std::string ok = chinese ? "操作成功完成。\r\n" : "The operation completed successfully.\r\n";
        const std::string bad = chinese ? "指定的标识符无效。\r\n" : "The specified identifier is not valid.\r\n";
        if (command == "bcdedit") {
            std::string out =
                "Windows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\n"
                "description             Windows Boot Manager\r\n";
            if (!bootSequence.empty()) out += "bootsequence            " + bootSequence + "\r\n";
            if (timeout) out += "timeout                 " + *timeout + "\r\n";
            out += "\r\n";
            for (const auto& [id, title] : entries)
                out += "Real-mode Boot Sector\r\n---------------------\r\n" +
                       std::string(chinese ? "标识符" : "identifier") + "                  " + id +
                       "\r\ndevice                  partition=C:\r\npath                    "
                       "\\qzrpldr.mbr\r\ndescription             " +
                       title + "\r\n\r\n";
            return out;
        }
        const std::string create = "bcdedit /create /d \"";
        if (command.rfind(create, 0) == 0) {
            const std::string id = "{0000000" + std::to_string(++created) + "-1111-2222-3333-444444444444}";
            entries.emplace_back(id, command.substr(create.size(), command.find('"', create.size()) - create.size()));
            return chinese ? "已成功创建项 " + id + "。\r\n" : "The entry " + id + " was successfully created.\r\n";
        }
        const auto argument = [&command](const std::string& verb) {
            return command.rfind(verb, 0) == 0 ? command.substr(verb.size()) : std::string();
        };
        if (const std::string id = argument("bcdedit /delete "); !id.empty()) {
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (it->first != id) continue;
                entries.erase(it);
                if (bootSequence == id) bootSequence.clear();
                return ok;
            }
            return bad;
        }
        if (const std::string value = argument("bcdedit /timeout "); !value.empty()) timeout = value;
        if (const std::string id = argument("bcdedit /bootsequence "); !id.empty()) bootSequence = id;
        if (command == "bcdedit /deletevalue {bootmgr} timeout") {
            if (!timeout) return chinese ? "找不到元素。\r\n" : "Element not found.\r\n";
            timeout.reset();
        }
        return ok;
    }
};

// The boot fakes side by side, a system drive and a restore-partition list.
struct BootRig {
    MemoryWindow window;
    ScriptedCommands commands;
    FakeSystem system;
    FakeBootFiles files;
    FakeBootAssets assets;
    std::string systemDrive = "C";

    void AddPartition(const std::string& drive, const std::string& designator) {
        DriveRecord record;
        record.cells[kDriveCol] = drive;
        record.cells[kDesignatorCol] = designator;
        rows.push_back(record);
    }
    PartitionRows rows;  // the listed partitions, in the order added
};

}  // namespace kx::test
