// The " 文件备份 " page: My Documents, Favorites, Cookies and Desktop copied or zipped into a folder named
// after the day, the list of earlier backups, and restoring one of them over the current folders.
#include <exception>

#include "app/Handlers.h"
#include "userdata/UserDataPorts.h"

namespace kx {
namespace {

struct BackupItem {
    const char* backupBox;
    const char* restoreBox;
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
    {"备份Cookies", "还原Cookies", "Cookies", "Cookies.zip", "正在备份Cookies,请稍候...",
     "正在还原Cookies,请稍候...", 75},
    {"备份桌面文件", "还原桌面文件", "桌面", "桌面.zip", "正在备份桌面,请稍候...", "正在还原桌面,请稍候...", 100},
};
constexpr int kItemCount = static_cast<int>(std::size(kItems));

const char kStatus[] = "分组框4";
const char kProgress[] = "进度条1";
const char kDirectory[] = "备份到目录";
const char kList[] = "列表框1";

UserDataPorts& UserData(Program& p) { return *p.ports().userData; }

std::string WithSeparator(const std::string& path) { return path.ends_with('\\') ? path : path + "\\"; }

// A directory that already names the day's folder is taken as the day's folder itself.
std::string DayFolder(const std::string& directory, const std::string& day) {
    if (directory.find(day) != std::string::npos)
        return directory.ends_with('\\') ? directory.substr(0, directory.size() - 1) : directory;
    return WithSeparator(directory) + day;
}

struct Job {
    std::string base;
    std::vector<std::string> locations;  // of the items, "" where the item is not ticked or has no location
};

Job TickedJob(Program& p, const std::string& base, bool restore) {
    Job job{base, p.state().userFolders.Get()};
    job.locations.resize(kItemCount);
    for (int i = 0; i < kItemCount; ++i) {
        if (!p.window().Checked(restore ? kItems[i].restoreBox : kItems[i].backupBox)) job.locations[i].clear();
    }
    return job;
}

// Only one backup or restore of this page at a time: two of them would write the same folders at once.
bool RefuseWhileBusy(Program& p) {
    if (!p.state().userDataBusy.Get()) return false;
    p.messages().Show("正在备份或还原，请等待当前操作完成！", "提示");
    return true;
}

void Finish(Program& p, const std::string& text) {
    p.window().SetText(kStatus, text);
    p.messages().Show(text);
}

// Runs `work` on its own thread; the page is free again when it ends, however it ends.
template <typename Work>
void StartWork(Program& p, Work work) {
    p.state().userDataBusy.Set(true);
    UserData(p).workers->Start([&p, work]() mutable {
        try {
            work();
        } catch (const std::exception&) {
            p.window().SetText(kStatus, "操作意外中止");
        } catch (...) {
            p.window().SetText(kStatus, "操作意外中止");
        }
        p.state().userDataBusy.Set(false);
    });
}

void RunZipBackup(Program& p, const Job& job) {
    WindowPort& w = p.window();
    UserDataPorts& ports = UserData(p);
    w.SetProgressMax(kProgress, 100);
    w.SetProgressPosition(kProgress, 0);
    if (!ports.files->FolderExists(job.base) && !ports.files->CreateFolders(job.base)) {
        Finish(p, "无法创建备份文件夹 " + job.base + "，没有备份任何文件！");
        return;
    }
    auto progress = [&p](int percent) { return ShowZipProgress(p, percent); };
    for (int i = 0; i < kItemCount; ++i) {
        if (job.locations[i].empty()) continue;
        w.SetText(kStatus, kItems[i].backupStatus);
        w.SetProgressPosition(kProgress, 0);
        ports.archives->Zip(job.locations[i], WithSeparator(job.base) + kItems[i].archive, progress);
    }
    Finish(p, "所有文件备份完成");
}

void RunRestore(Program& p, const std::string& directory, Job job) {
    WindowPort& w = p.window();
    UserDataPorts& ports = UserData(p);
    std::vector<std::string> entries = w.Items(kList);
    int selected = w.Selection(kList);
    if (selected < 0) {
        selected = 0;
        w.SetSelection(kList, 0);
    }
    std::string entry = selected < static_cast<int>(entries.size()) ? entries[selected] : "";
    if (entry.empty()) {
        p.messages().Show("请选择要还原的数据包！");
        return;
    }
    job.base = WithSeparator(directory) + entry + "\\";
    w.SetProgressMax(kProgress, 100);
    w.SetProgressPosition(kProgress, 0);
    auto progress = [&p](int percent) { return ShowZipProgress(p, percent); };
    size_t refused = 0;
    for (int i = 0; i < kItemCount; ++i) {
        const std::string& location = job.locations[i];
        if (location.empty()) continue;
        std::string archive = job.base + kItems[i].archive, folder = job.base + kItems[i].folder;
        if (ports.files->FileExists(archive)) {
            w.SetText(kStatus, kItems[i].restoreStatus);
            w.SetProgressPosition(kProgress, 0);
            refused += ports.archives->Unzip(archive, location, progress).refused.size();
        } else if (ports.files->FolderExists(folder)) {
            w.SetText(kStatus, kItems[i].restoreStatus);
            w.SetProgressPosition(kProgress, kItems[i].restoreCopyPosition);
            ports.files->CopyFolder(folder, location);
        }
    }
    w.SetProgressPosition(kProgress, 100);
    std::string done = "所有文件还原完成";
    // An archive entry that would land outside the folder being restored is never written.
    if (refused) done += "（" + std::to_string(refused) + "个指向文件夹以外的文件已被拒绝）";
    Finish(p, done);
}

}  // namespace

void CopyBackup(Program& p) {
    if (RefuseWhileBusy(p)) return;
    WindowPort& w = p.window();
    UserDataPorts& ports = UserData(p);
    Job job = TickedJob(p, DayFolder(w.Text(kDirectory), p.facts().backupDayFolder), false);
    // The folder copy does not create missing folders above its destination.
    ports.files->CreateFolders(job.base);
    w.SetProgressMax(kProgress, 4);
    w.SetProgressPosition(kProgress, 0);
    for (int i = 0; i < kItemCount; ++i) {
        if (!w.Checked(kItems[i].backupBox)) continue;
        w.SetText(kStatus, kItems[i].backupStatus);
        if (i < 3) w.SetProgressPosition(kProgress, i + 1);
        if (!job.locations[i].empty()) ports.files->CopyFolder(job.locations[i], WithSeparator(job.base) + kItems[i].folder);
        if (i == 3) w.SetProgressPosition(kProgress, 4);
    }
    w.SetProgressPosition(kProgress, 4);
    w.SetText(kStatus, "备份完成");
}

void ZipBackup(Program& p) {
    if (RefuseWhileBusy(p)) return;
    Job job = TickedJob(p, DayFolder(p.window().Text(kDirectory), p.facts().backupDayFolder), false);
    StartWork(p, [&p, job] { RunZipBackup(p, job); });
}

void RestoreBackup(Program& p) {
    if (RefuseWhileBusy(p)) return;
    if (p.window().Items(kList).empty()) {
        p.messages().Show("没有备份数据可以还原！");
        return;
    }
    std::string directory = p.window().Text(kDirectory);
    Job job = TickedJob(p, "", true);
    StartWork(p, [&p, directory, job] { RunRestore(p, directory, job); });
}

void RefreshBackupList(Program& p) {
    WindowPort& w = p.window();
    w.ClearItems(kList);
    std::string directory = w.Text(kDirectory);
    if (directory.empty()) return;
    for (const auto& name : UserData(p).files->Subfolders(directory)) {
        if (name != "." && name != ".." && name.find("年") != std::string::npos) w.AddItem(kList, name);
    }
}

void ChooseBackupFolder(Program& p) {
    std::string chosen = UserData(p).folderDialog->BrowseForFolder("设置备份位置");
    if (!chosen.empty()) p.window().SetText(kDirectory, chosen);
}

}  // namespace kx
