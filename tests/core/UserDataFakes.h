#pragma once
// Fakes of the user-data ports and a rig that wires them into a program.
#include <map>
#include <set>
#include <stdexcept>

#include "Fakes.h"
#include "userdata/UserDataPorts.h"

namespace kx::test {

class FakeRegistry : public RegistryPort {
public:
    std::optional<std::string> ReadText(const std::string& keyAndValue) override {
        auto it = values.find(keyAndValue);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    bool WriteText(const std::string& keyAndValue, const std::string& text) override {
        if (readOnly.count(keyAndValue)) return false;
        values[keyAndValue] = text;
        written.push_back(keyAndValue);
        return true;
    }
    std::map<std::string, std::string> values;
    std::set<std::string> readOnly;
    std::vector<std::string> written;
};

class FakeShellFolders : public ShellFolderPort {
public:
    std::string FolderPath(int csidl) override { return paths.count(csidl) ? paths[csidl] : ""; }
    std::map<int, std::string> paths;
};

class FakeFolderDialog : public FolderDialogPort {
public:
    std::string BrowseForFolder(const std::string& title) override {
        titles.push_back(title);
        return answer;
    }
    std::string answer;
    std::vector<std::string> titles;
};

class FakeFiles : public FileSystemPort {
public:
    explicit FakeFiles(WindowPort& w) : window(w) {}
    bool FolderExists(const std::string& path) override { return folders.count(Trim(path)) > 0; }
    bool FileExists(const std::string& path) override { return files.count(path) > 0; }
    std::vector<std::string> Subfolders(const std::string& folder) override {
        listed.push_back(folder);
        return listing;
    }
    bool CreateFolders(const std::string& path) override {
        created.push_back(path);
        for (const auto& prefix : uncreatable)
            if (path.starts_with(prefix)) return false;
        folders.insert(Trim(path));
        return true;
    }
    bool CopyFolder(const std::string& source, const std::string& destination) override {
        copies.push_back({source, destination});
        positionAtCopy.push_back(window.ProgressPosition("进度条1"));
        statusAtCopy.push_back(window.Text("分组框4"));
        return true;
    }
    static std::string Trim(std::string path) {
        while (path.ends_with('\\')) path.pop_back();
        return path;
    }

    WindowPort& window;
    std::set<std::string> folders, files, uncreatable;
    std::vector<std::string> listing, listed, created, statusAtCopy;
    std::vector<std::pair<std::string, std::string>> copies;
    std::vector<int> positionAtCopy;
};

struct ArchiveCall {
    std::string from, to, status;
    int positionBefore, positionAfterProgress;
};

class FakeArchives : public ArchivePort {
public:
    explicit FakeArchives(WindowPort& w) : window(w) {}
    ZipReport Zip(const std::string& folder, const std::string& archive, const ZipProgress& progress) override {
        return Record(zips, folder, archive, progress);
    }
    ZipReport Unzip(const std::string& archive, const std::string& folder, const ZipProgress& progress) override {
        return Record(unzips, archive, folder, progress);
    }
    WindowPort& window;
    std::vector<ArchiveCall> zips, unzips;
    ZipReport result = Succeeded();
    bool throws = false;

private:
    static ZipReport Succeeded() {
        ZipReport r;
        r.ok = true;
        return r;
    }
    ZipReport Record(std::vector<ArchiveCall>& calls, const std::string& from, const std::string& to,
                     const ZipProgress& progress) {
        if (throws) throw std::runtime_error("disk vanished");
        ArchiveCall call{from, to, window.Text("分组框4"), window.ProgressPosition("进度条1"), -1};
        if (progress(37) != 0) call.positionAfterProgress = -2;
        else call.positionAfterProgress = window.ProgressPosition("进度条1");
        calls.push_back(call);
        return result;
    }
};

// Runs each job at once, or keeps it for the test to run later.
class FakeWorkers : public WorkerPort {
public:
    void Start(std::function<void()> job) override {
        if (holdJobs) {
            held.push_back(std::move(job));
        } else {
            job();
        }
    }
    void RunHeld() {
        auto jobs = std::move(held);
        held.clear();
        for (auto& job : jobs) job();
    }
    bool holdJobs = false;
    std::vector<std::function<void()>> held;
};

struct UserDataRig : Rig {
    UserDataRig() {
        program.facts().backupDayFolder = "2015年7月16日备份";
        program.ports().userData = &ports;
    }
    FakeRegistry registry;
    FakeShellFolders shellFolders;
    FakeFolderDialog dialog;
    FakeFiles files{window};
    FakeArchives archives{window};
    FakeWorkers workers;
    UserDataPorts ports{&registry, &shellFolders, &dialog, &files, &archives, &workers};
};

}  // namespace kx::test
