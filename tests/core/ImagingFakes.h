#pragma once
// Fakes of the imaging ports: image files on drives kept in memory, the file dialogs, the machine's
// firmware and disks, and a restart that only records what it was asked.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <functional>

#include "imaging/ImagingPorts.h"
#include "text/Text.h"

namespace kx::test {

inline constexpr uint64_t kMiB = 1048576ull;

class FakeImageFiles : public ImageFilePort {
public:
    Result<std::vector<FoundEntry>> List(const std::string& folder, const std::string& pattern) override {
        listed.push_back(folder + pattern);
        if (onList) onList();
        if (unreadable.count(folder)) return Outcome::Failed(folder, Win32Error{21, "FindFirstFileW"});
        std::vector<FoundEntry> out;
        std::set<std::string> folders;
        for (const auto& [path, size] : sizes) {
            if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) continue;
            const std::string rest = path.substr(folder.size());
            const size_t slash = rest.find('\\');
            if (slash == std::string::npos) {
                if (Matches(rest, pattern)) out.push_back({rest, false, size});
            } else if (pattern == "*.*" && folders.insert(rest.substr(0, slash)).second) {
                out.push_back({rest.substr(0, slash), true, 0});
            }
        }
        return out;
    }
    std::function<void()> onList;  // called at each listing, on the searching thread

    // A file, or a folder that a file lies in (as FindFirstFileW finds both).
    bool Exists(const std::string& path) override {
        if (sizes.count(path)) return true;
        auto it = sizes.lower_bound(path + "\\");
        return it != sizes.end() && it->first.compare(0, path.size() + 1, path + "\\") == 0;
    }
    std::optional<uint64_t> Size(const std::string& path) override {
        auto it = sizes.find(path);
        if (it == sizes.end()) return std::nullopt;
        return it->second;
    }
    Result<std::string> ReadAt(const std::string& path, uint64_t offset, uint32_t size) override {
        auto it = contents.find(path);
        if (it == contents.end()) return Outcome::Failed("无法打开 " + path, Win32Error{2, "CreateFileW"});
        if (offset >= it->second.size()) return std::string();
        return it->second.substr(static_cast<size_t>(offset), size);
    }
    Outcome ShellCopy(const std::string& from, const std::string& to) override {
        copies.push_back(from + " -> " + to);
        if (cancelCopies) return Outcome::Failed("复制已取消", Win32Error{kCancelledCode, "SHFileOperationW"});
        if (failCopies) return Outcome::Failed("复制 " + from + " 失败", Win32Error{112, "SHFileOperationW"});
        sizes[to] = sizes[from];
        if (contents.count(from)) contents[to] = contents[from];
        return Outcome::Done();
    }
    Outcome StartProcess(const std::string& commandLine) override {
        started.push_back(commandLine);
        if (failStart) return Outcome::Failed("无法启动 " + commandLine, Win32Error{2, "CreateProcessW"});
        return Outcome::Done();
    }

    // An image file of `megabytes` (a folder is implied by the paths under it).
    void Add(const std::string& path, uint64_t bytes) { sizes[path] = bytes; }
    // A file whose bytes can be read (a WIM the pages look into).
    void AddBytes(const std::string& path, std::string bytes) {
        sizes[path] = bytes.size();
        contents[path] = std::move(bytes);
    }

    std::map<std::string, uint64_t> sizes;
    std::map<std::string, std::string> contents;
    std::set<std::string> unreadable;  // folders whose listing fails (a drive removed)
    std::vector<std::string> listed, copies, started;
    bool cancelCopies = false, failCopies = false, failStart = false;

private:
    static bool Matches(const std::string& name, const std::string& pattern) {
        if (pattern == "*.*") return true;
        const std::string suffix = AsciiLower(pattern.substr(1));  // "*.Gho" -> ".gho"
        const std::string n = AsciiLower(name);
        return n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
};

class FakeFileDialog : public FileDialogPort {
public:
    std::optional<std::string> Choose(const FileDialogRequest& request) override {
        requests.push_back(request);
        return answer;
    }
    std::optional<std::string> answer;  // nothing: cancelled
    std::vector<FileDialogRequest> requests;
};

class FakeChoice : public ChoicePort {
public:
    std::optional<int> Choose(const std::string& title, const std::string& text,
                              const std::vector<std::string>& items) override {
        asked.push_back(text);
        offered = items;
        (void)title;
        return answer;
    }
    std::optional<int> answer;  // nothing: cancelled
    std::vector<std::string> asked, offered;
};

class FakeMachine : public MachinePort {
public:
    Firmware FirmwareType() override { return firmware; }
    PartitionStyle StyleOf(char letter) override {
        auto it = styles.find(letter);
        return it == styles.end() ? PartitionStyle::Mbr : it->second;
    }
    Result<PartitionIdentity> IdentityOf(char letter) override {
        auto it = identities.find(letter);
        if (it == identities.end()) return Outcome::Failed("no identity for " + std::string(1, letter));
        return it->second;
    }
    Firmware firmware = Firmware::Bios;
    std::map<char, PartitionStyle> styles;
    // One disk, signature 5A3C0F12: C: at 1 MiB, D: at 41 GiB, E: at 141 GiB.
    std::map<char, PartitionIdentity> identities{
        {'C', {0x5A3C0F12, 1048576}}, {'D', {0x5A3C0F12, 41ull << 30}}, {'E', {0x5A3C0F12, 141ull << 30}}};
};

// Firmware variables in memory; a name in `refuse` fails its writes, one in `drop` takes them and keeps
// nothing.
struct FakeFirmware : EfiVariablePort {
    std::map<std::string, std::string> vars;
    std::set<std::string> refuse, drop;
    Result<std::optional<std::string>> Read(const std::string& name) override {
        auto it = vars.find(name);
        if (it == vars.end()) return std::optional<std::string>();
        return std::optional<std::string>(it->second);
    }
    Outcome Write(const std::string& name, std::string_view value) override {
        if (refuse.count(name)) return Outcome::Failed("SetFirmwareEnvironmentVariableW", {1314, name});
        if (value.empty() || drop.count(name))
            vars.erase(name);
        else
            vars[name] = std::string(value);
        return Outcome::Done();
    }
};

// The EFI system partition as the folder "S:\" while mounted; `mounts` counts the mounts not yet undone.
struct FakeEsp : EspPort {
    Result<EfiPartition> Find(char) override {
        if (!found) return Outcome::Failed("磁盘上没有 EFI 系统分区");
        return partition;
    }
    Result<std::string> Mount() override {
        if (!mountable) return Outcome::Failed("mountvol", {87, "mountvol"});
        ++mounts;
        return std::string("S:\\");
    }
    Outcome Unmount(const std::string& root) override {
        if (root == "S:\\") --mounts;
        return Outcome::Done();
    }
    Result<uint64_t> FreeBytes(const std::string&) override { return free; }
    Result<std::string> FileSystemSerial(char letter) override {
        if (letter != 'C') return Outcome::Failed("no serial");
        return std::string("0123456789ABCDEF");
    }
    EfiPartition partition{1, 2048, 204800, ParseGuid("6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10").value()};
    bool found = true, mountable = true;
    uint64_t free = 90 * kMiB;
    int mounts = 0;
};

class FakeRestart : public RestartPort {
public:
    Outcome Request(const RestartRequest& request) override {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(request);
        return Outcome::From(accept, "Windows 没有接受重新启动的请求", {1314, "AdjustTokenPrivileges"});
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return requests.size();
    }
    std::mutex mutex;
    std::vector<RestartRequest> requests;
    bool accept = true;
};

}  // namespace kx::test
