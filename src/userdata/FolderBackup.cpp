// The " 文件备份 " page: My Documents, Favorites, Cookies and Desktop copied or zipped into a folder named
// after the day, the list of earlier backups, and restoring one of them over the current folders.
#include <exception>
#include <functional>
#include <memory>

#include "userdata/UserDataPages.h"

namespace kx {
namespace {

struct BackupItem {
    Control backupBox;
    Control restoreBox;
    const char* folder;   // copy backup
    const char* archive;  // zip backup
    const char* backupStatus;
    const char* restoreStatus;
    int restoreCopyPosition;
};

// The order of the current locations kept by ReadShellFolders.
const BackupItem kItems[] = {
    {"备份我的文档", "还原我的文档", "我的文档", "我的文档.zip", "正在备份我的文档,请稍候...",
     "正在还原我的文档,请稍候...", 25},
    {"备份收藏夹", "还原收藏夹", "收藏夹", "收藏夹.zip", "正在备份收藏夹,请稍候...", "正在还原收藏夹,请稍候...", 50},
    {"备份Cookies", "还原Cookies", "Cookies", "Cookies.zip", "正在备份Cookies,请稍候...", "正在还原Cookies,请稍候...",
     75},
    {"备份桌面文件", "还原桌面文件", "桌面", "桌面.zip", "正在备份桌面,请稍候...", "正在还原桌面,请稍候...", 100},
};
constexpr int kItemCount = static_cast<int>(std::size(kItems));

constexpr Control kStatus{"分组框4"};
constexpr Control kProgress{"进度条1"};
constexpr Control kDirectory{"备份到目录"};
constexpr Control kList{"列表框1"};
const char kNoLocation[] = "不知道它现在的位置（请在“定义路径”页刷新）";

// Whether the page's job was asked to stop (the window is going away).
using StopCheck = std::function<bool()>;

std::string WithSeparator(const std::string& path) { return path.ends_with('\\') ? path : path + "\\"; }

// A directory that already names the day's folder is taken as the day's folder itself.
std::string DayFolder(const std::string& directory, const std::string& day) {
    if (directory.find(day) != std::string::npos)
        return directory.ends_with('\\') ? directory.substr(0, directory.size() - 1) : directory;
    return WithSeparator(directory) + day;
}

struct Job {
    std::string base;
    std::vector<std::string> locations;  // of the four items as last read; "" where unknown
    std::vector<bool> ticked;
};

Job TickedJob(const UserDataContext& c, const std::string& base, bool restore) {
    Job job{base, c.state.userFolders.Get(), {}};
    job.locations.resize(kItemCount);
    for (const BackupItem& item : kItems)
        job.ticked.push_back(c.window.Checked(restore ? item.restoreBox : item.backupBox));
    return job;
}

// Only one backup or restore of this page at a time: two of them would write the same folders at once.
bool RefuseWhileBusy(const UserDataContext& c) {
    if (!c.state.busy.Get()) return false;
    c.messages.Show("正在备份或还原，请等待当前操作完成！", "提示");
    return true;
}

// The items of one run that failed: their names for the status, with the reasons for the message.
class Failures {
public:
    void Add(const std::string& name, const std::string& reason) {
        names_ += (names_.empty() ? "" : "、") + name;
        reasons_ += "\n" + name + "：" + reason;
    }
    bool empty() const { return names_.empty(); }
    // "以下项目备份失败：我的文档.zip、桌面.zip" as the status, each with its reason in a message box.
    void Report(const UserDataContext& c, const std::string& operation) const {
        const std::string status = "以下项目" + operation + "失败：" + names_;
        c.window.SetText(kStatus, status);
        c.messages.ShowError(status + "\n" + reasons_);
    }

private:
    std::string names_, reasons_;
};

std::string ListOf(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size() && i < 3; ++i) list += (i ? "、" : "") + names[i];
    return names.size() > 3 ? list + " 等" : list;
}

// Why a zip or unzip run did not do the whole job.
std::string ReasonOf(const ZipReport& report) {
    if (!report.error.empty()) return report.error;
    return std::to_string(report.failed.size()) + " 个文件无法读取或写入：" + ListOf(report.failed);
}

// The last word of a job that ran to its end. A job stopped because the window is going away shows no
// message box: the window's destruction waits for the job, and a box would hold it until someone clicks.
void Finish(const UserDataContext& c, const std::string& text, const StopCheck& stopped) {
    c.window.SetText(kStatus, text);
    if (!stopped()) c.messages.Show(text);
}

// The zip component's reports for one archive move the bar once per whole percent, and each report is
// also where a stop request ends the archive being written.
ZipProgress ProgressOf(WindowPort& window, const StopCheck& stopped) {
    auto last = std::make_shared<int>(-1);
    return [&window, stopped, last](int percent) {
        if (stopped()) return 1;
        if (percent != *last) ShowZipProgress(window, *last = percent);
        return 0;
    };
}

// Runs `work` on the page's worker; the page is free again when it ends, however it ends.
template <typename Work>
void StartWork(const UserDataContext& c, Work work) {
    c.state.busy.Set(true);
    auto run = [c, work](const StopCheck& stopped) mutable {
        try {
            work(stopped);
        } catch (...) {
            c.window.SetText(kStatus, "操作意外中止");
        }
        c.state.busy.Set(false);
    };
    if (c.ports.jobs == JobThread::Caller) {
        run([] { return false; });
        return;
    }
    c.state.worker.Start([run](const StopToken& stop) mutable { run([&stop] { return stop.StopRequested(); }); });
}

void RunZipBackup(const UserDataContext& c, const Job& job, const StopCheck& stopped) {
    WindowPort& w = c.window;
    w.SetProgressMax(kProgress, 100);
    w.SetProgressPosition(kProgress, 0);
    if (!c.ports.files->FolderExists(job.base) && !c.ports.files->CreateFolders(job.base)) {
        Finish(c, "无法创建备份文件夹 " + job.base + "，没有备份任何文件！", stopped);
        return;
    }
    Failures failures;
    for (int i = 0; i < kItemCount; ++i) {
        if (!job.ticked[i]) continue;
        if (stopped()) break;
        if (job.locations[i].empty()) {
            failures.Add(kItems[i].archive, kNoLocation);
            continue;
        }
        w.SetText(kStatus, kItems[i].backupStatus);
        w.SetProgressPosition(kProgress, 0);
        const ZipReport report = c.ports.archives->Zip(job.locations[i], WithSeparator(job.base) + kItems[i].archive,
                                                       ProgressOf(w, stopped));
        if (report.cancelled) break;
        if (!report.ok) failures.Add(kItems[i].archive, ReasonOf(report));
    }
    if (stopped()) {
        w.SetText(kStatus, "备份已取消");
    } else if (failures.empty()) {
        Finish(c, "所有文件备份完成", stopped);
    } else {
        failures.Report(c, "备份");
    }
}

// `job.base` is the backup chosen in the list, taken on the window thread when the restore started.
void RunRestore(const UserDataContext& c, const Job& job, const StopCheck& stopped) {
    WindowPort& w = c.window;
    w.SetProgressMax(kProgress, 100);
    w.SetProgressPosition(kProgress, 0);
    size_t refused = 0;
    Failures failures;
    for (int i = 0; i < kItemCount && !stopped(); ++i) {
        if (!job.ticked[i]) continue;
        const std::string& location = job.locations[i];
        const std::string archive = job.base + kItems[i].archive, folder = job.base + kItems[i].folder;
        const bool zipped = c.ports.files->FileExists(archive);
        // An item this backup does not hold is passed over: a backup need not hold all four.
        if (!zipped && !c.ports.files->FolderExists(folder)) continue;
        if (location.empty()) {
            failures.Add(kItems[i].folder, kNoLocation);
            continue;
        }
        w.SetText(kStatus, kItems[i].restoreStatus);
        if (zipped) {
            w.SetProgressPosition(kProgress, 0);
            const ZipReport report = c.ports.archives->Unzip(archive, location, ProgressOf(w, stopped));
            if (report.cancelled) break;
            refused += report.refused.size();
            if (!report.error.empty() || !report.failed.empty()) failures.Add(kItems[i].folder, ReasonOf(report));
        } else {
            w.SetProgressPosition(kProgress, kItems[i].restoreCopyPosition);
            const Outcome copied = c.ports.files->CopyFolder(folder, location);
            if (!copied) failures.Add(kItems[i].folder, copied.Describe());
        }
    }
    if (stopped()) {
        w.SetText(kStatus, "还原已取消");
        return;
    }
    w.SetProgressPosition(kProgress, 100);
    if (!failures.empty()) {
        failures.Report(c, "还原");
        return;
    }
    std::string done = "所有文件还原完成";
    // An archive entry that would land outside the folder being restored is never written.
    if (refused) done += "（" + std::to_string(refused) + "个指向文件夹以外的文件已被拒绝）";
    Finish(c, done, stopped);
}

}  // namespace

int ShowZipProgress(WindowPort& window, int percent) {
    window.SetProgressPosition(kProgress, percent);
    return 0;
}

void CopyBackup(const UserDataContext& c) {
    if (RefuseWhileBusy(c)) return;
    WindowPort& w = c.window;
    Job job = TickedJob(c, DayFolder(w.Text(kDirectory), c.facts.backupDayFolder), false);
    // The folder copy does not create missing folders above its destination.
    const Outcome base = c.ports.files->CreateFolders(job.base);
    if (!base) {
        const std::string text = "无法创建备份文件夹 " + job.base + "，没有备份任何文件！";
        w.SetText(kStatus, text);
        c.messages.ShowError(text + "\n" + base.Describe());
        return;
    }
    w.SetProgressMax(kProgress, 4);
    w.SetProgressPosition(kProgress, 0);
    Failures failures;
    for (int i = 0; i < kItemCount; ++i) {
        if (!job.ticked[i]) continue;
        w.SetText(kStatus, kItems[i].backupStatus);
        if (i < 3) w.SetProgressPosition(kProgress, i + 1);
        if (job.locations[i].empty()) {
            failures.Add(kItems[i].folder, kNoLocation);
        } else {
            const Outcome copied =
                c.ports.files->CopyFolder(job.locations[i], WithSeparator(job.base) + kItems[i].folder);
            if (!copied) failures.Add(kItems[i].folder, copied.Describe());
        }
        if (i == 3) w.SetProgressPosition(kProgress, 4);
    }
    w.SetProgressPosition(kProgress, 4);
    if (failures.empty()) {
        w.SetText(kStatus, "备份完成");
    } else {
        failures.Report(c, "备份");
    }
}

void ZipBackup(const UserDataContext& c) {
    if (RefuseWhileBusy(c)) return;
    Job job = TickedJob(c, DayFolder(c.window.Text(kDirectory), c.facts.backupDayFolder), false);
    StartWork(c, [c, job](const StopCheck& stopped) { RunZipBackup(c, job, stopped); });
}

void RestoreBackup(const UserDataContext& c) {
    if (RefuseWhileBusy(c)) return;
    if (c.window.Items(kList).empty()) {
        c.messages.Show("没有备份数据可以还原！");
        return;
    }
    // The user's choice, read here on the window thread: the worker gets the backup's folder as a value.
    WindowPort& w = c.window;
    const std::vector<std::string> entries = w.Items(kList);
    int selected = w.Selection(kList);
    if (selected < 0) {
        selected = 0;
        w.SetSelection(kList, 0);
    }
    const std::string entry = selected < static_cast<int>(entries.size()) ? entries[selected] : "";
    if (entry.empty()) {
        c.messages.Show("请选择要还原的数据包！");
        return;
    }
    const Job job = TickedJob(c, WithSeparator(w.Text(kDirectory)) + entry + "\\", true);
    StartWork(c, [c, job](const StopCheck& stopped) { RunRestore(c, job, stopped); });
}

void RefreshBackupList(const UserDataContext& c) {
    WindowPort& w = c.window;
    w.ClearItems(kList);
    std::string directory = w.Text(kDirectory);
    if (directory.empty()) return;
    for (const auto& name : c.ports.files->Subfolders(directory)) {
        if (name != "." && name != ".." && name.find("年") != std::string::npos) w.AddItem(kList, name);
    }
}

void ChooseBackupFolder(const UserDataContext& c) {
    std::string chosen = c.ports.folderDialog->BrowseForFolder("设置备份位置");
    if (!chosen.empty()) c.window.SetText(kDirectory, chosen);
}

}  // namespace kx
