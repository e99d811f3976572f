#pragma once
// Fakes of the user-data ports and a rig that wires them into a program.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "Fakes.h"
#include "userdata/UserDataPages.h"

namespace kx::test {

class FakeRegistry : public RegistryPort {
public:
    std::optional<std::string> ReadText(const std::string& keyAndValue) override {
        auto it = values.find(keyAndValue);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    Outcome WriteText(const std::string& keyAndValue, const std::string& text) override {
        if (readOnly.count(keyAndValue)) return Outcome::Failed(keyAndValue, Win32Error{5, "RegSetValueExW"});
        values[keyAndValue] = text;
        written.push_back(keyAndValue);
        return Outcome::Done();
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
    Outcome CreateFolders(const std::string& path) override {
        created.push_back(path);
        for (const auto& prefix : uncreatable)
            if (path.starts_with(prefix))
                return Outcome::Failed("创建文件夹 " + path + " 失败", Win32Error{3, "CreateDirectoryW"});
        folders.insert(Trim(path));
        return Outcome::Done();
    }
    Outcome CopyFolder(const std::string& source, const std::string& destination) override {
        copies.push_back({source, destination});
        positionAtCopy.push_back(window.ProgressPosition("进度条1"));
        statusAtCopy.push_back(window.Text("分组框4"));
        if (failingCopies.count(source))
            return Outcome::Failed("把 " + source + " 复制到 " + destination + " 失败",
                                   Win32Error{0x800A0046, "CopyFolder"});
        return Outcome::Done();
    }
    static std::string Trim(std::string path) {
        while (path.ends_with('\\')) path.pop_back();
        return path;
    }

    WindowPort& window;
    std::set<std::string> folders, files, uncreatable, failingCopies;
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
    std::map<std::string, ZipReport> resultFor;  // by archive path, instead of `result`
    bool throws = false;
    // Until a report asks to stop, keeps reporting (a long archive); a stop the callback never asks for
    // ends it after `longRunReports`.
    bool longRun = false;
    int longRunReports = 2000;
    std::mutex mutex;
    std::condition_variable running;
    bool started = false;
    void WaitUntilStarted() {
        std::unique_lock<std::mutex> lock(mutex);
        running.wait(lock, [this] { return started; });
    }

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
        if (longRun) return RunLong(progress);
        if (progress(37) != 0)
            call.positionAfterProgress = -2;
        else
            call.positionAfterProgress = window.ProgressPosition("进度条1");
        calls.push_back(call);
        const std::string& archive = &calls == &zips ? to : from;
        return resultFor.count(archive) ? resultFor[archive] : result;
    }
    ZipReport RunLong(const ZipProgress& progress) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            started = true;
        }
        running.notify_all();
        ZipReport report;
        for (int i = 0; i < longRunReports; ++i) {
            if (progress(i % 100) != 0) {
                report.cancelled = true;
                report.error = "压缩已取消";
                return report;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the work between two reports
        }
        report.ok = true;
        return report;
    }
};

}  // namespace kx::test
