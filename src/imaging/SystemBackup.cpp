// The system backup page: the proposed image file, the save dialog, the backup in Windows at once and the
// backup in the boot environment at the next start.
#include "base/ControlNames.h"
#include "boot/BootMenu.h"
#include "boot/GhostBatch.h"
#include "disk/DriveRecord.h"
#include "imaging/Checks.h"
#include "imaging/EfiRoute.h"
#include "imaging/EngineNotice.h"
#include "imaging/EngineRoute.h"

namespace kx {
namespace {

constexpr Control kBackupPath{"备份路径"};
constexpr Control kBackupLabel{"提示标签1"};

// The partition chosen in the backup list: its drive ("C:") and designator; empty when none is chosen.
struct Source {
    std::string drive, designator;
};

// The user's choice in the backup list, which is drawn from the listed partitions.
Source SelectedSource(const ImagingContext& c) {
    const PartitionRows rows = c.facts.backupPartitions.Get();
    const int row = c.window.Selection(kBackupList);
    return {CellOf(rows, row, kDriveCol), CellOf(rows, row, kDesignatorCol)};
}

void ShowBackupSentence(WindowPort& w, const std::string& letter, const std::string& path) {
    w.SetText(kBackupLabel, "把" + letter + "盘的所有文件,备份到镜像文件 \"" + path + "\"");
}

// Where a backup of partition `source` goes by default: the listed fixed drive other than the source with the
// most room, else the target drive, else the system drive (the checks then ask for another place).
std::string BackupDriveFor(const ImagingContext& c, const std::string& source) {
    std::string best;
    uint64_t most = 0;
    for (const DriveRecord& row : c.facts.partitions.Get()) {
        const std::string l = DriveLetterOf(row.cells[kDriveCol]);
        if (l.empty() || l == source || c.drives.DriveType(l[0]) != kFixedDrive) continue;
        const SpaceFacts space = c.drives.Space(l[0]);
        if (space.ok && space.availableToCaller > most) {
            most = space.availableToCaller;
            best = l;
        }
    }
    if (best.empty()) best = c.facts.targetDrive.Get();
    if (best.empty()) best = GetSystemDriveLetter(c.drives);
    return best;
}

// The job's source and image as Ghost names them, after every check that needs no answer from the user;
// false when the backup must not start (the reason was shown).
bool PrepareBackup(const ImagingContext& c, std::string& source, std::string& ghostPath) {
    WindowPort& w = c.window;
    const Source s = SelectedSource(c);
    if (s.drive.empty() || s.designator.empty()) {
        c.messages.Show("请先在列表中选择要备份的分区。");
        return false;
    }
    const std::string path = w.Text(kBackupPath);
    const std::string drive = DriveLetterOf(path);
    if (path.size() < 4 || drive.empty() || path[2] != '\\' || path.back() == '\\') {
        c.messages.Show("请先指定备份到的映像文件（完整路径，例如 D:\\C.gho）。");
        return false;
    }
    if (!ListedDrive(c.facts.partitions.Get(), drive) || c.drives.DriveType(drive[0]) != kFixedDrive) {
        c.messages.Show("分区 " + drive + ": 不在硬盘分区列表中，" +
                        (c.route == ImagingRoute::Engine ? "映像引擎" : "Ghost") +
                        "找不到它，请把映像文件保存到列表中的分区上。");
        return false;
    }
    if (drive == DriveLetterOf(s.drive)) {
        c.messages.Show("不能把分区 " + s.drive + " 备份到它自己上面，请把映像文件保存到其他分区。");
        return false;
    }
    ghostPath = ToGhostPath(c.facts.partitions.Get(), path);
    if (!AcceptGhostPath(c, ghostPath)) return false;
    source = s.designator;
    return true;
}

bool ConfirmOverwrite(const ImagingContext& c) {
    const std::string path = c.window.Text(kBackupPath);
    return !c.ports.files->Exists(path) ||
           c.messages.Show("映像文件 " + path + " 已经存在，备份会覆盖它。是否继续？", "提示", MessageButtons::YesNo,
                           MessageIcon::Warning) == MessageAnswer::Yes;
}

// Our engine saves the partition into an image folder named like the chosen file, without its ".gho". A live
// partition cannot be imaged from Windows, so "开始备份系统" stages the same job and asks whether to restart now.
void BackupByEngine(const ImagingContext& c, const std::string& partition, const std::string& designator,
                    bool askRestart) {
    const std::string folder = EngineImageFolder(c.window.Text(kBackupPath));
    Outcome can = CheckEngineImage(c, false, folder);
    if (can) can = CheckBootJobCanRun(c, partition);
    if (!can) {
        ShowFailure(c, can);
        return;
    }
    if (c.ports.files->Exists(folder) &&
        c.messages.Show("映像文件夹 " + folder + " 已经存在，备份会替换它。是否继续？", "提示", MessageButtons::YesNo,
                        MessageIcon::Warning) != MessageAnswer::Yes)
        return;
    if (!ConfirmTarget(c, partition + ":", designator)) return;
    const std::string system = GetSystemDriveLetter(c.drives);
    Outcome done = StageEngineJob(c, false, partition, designator, folder);
    if (done) done = RegisterEngineBootEntry(c, system, "备份系统");
    if (!done) {
        ShowFailure(c, WithdrawnAfter(c, system, done));
        return;
    }
    const PartitionRows rows = c.facts.partitions.Get();
    const int row = RowOfLetter(rows, partition);
    const std::string ready = "备份已准备好：下次重新启动电脑时会自动备份分区 " + partition + ":，映像保存在文件夹 " +
                              folder + " 中。\r\n\r\n" + EngineScreenNotice(false, CellOf(rows, row, kUsedCol));
    if (!askRestart) {
        c.messages.Show(ready);
        return;
    }
    const MessageAnswer answer = c.messages.Show(
        ready +
            "\r\n\r\nWindows 运行时不能备份它自己所在的分区，备份要在重新启动后进行。是否马上重启计算机进行备份？"
            "\r\n\r\n选择\"是(Y)\"立即重新启动，选择\"否(N)\"稍后重新启动，\r\n\r\n选择\"取消\"撤销本次备份。",
        "Korvanix 2015", MessageButtons::YesNoCancel, MessageIcon::Question);
    if (answer == MessageAnswer::Cancel) {
        if (Outcome withdrawn = WithdrawJob(c, system); !withdrawn) ShowFailure(c, withdrawn);
        return;
    }
    if (answer != MessageAnswer::Yes) return;
    if (const Outcome restarted = SystemRestart(*c.ports.restart, c.system, 2, true); !restarted)
        c.messages.ShowError("备份已准备好，但" + restarted.Describe() + "。请手动重新启动电脑。");
}

}  // namespace

std::string DateTimeDigits(const LocalTime& t) {
    std::string text = std::to_string(t.year) + std::to_string(t.month) + std::to_string(t.day);
    if (t.second) return text + std::to_string(t.hour) + std::to_string(t.minute) + std::to_string(t.second);
    if (t.minute) return text + std::to_string(t.hour) + std::to_string(t.minute);
    if (t.hour) return text + std::to_string(t.hour);
    return text;
}

void ProposeBackupFileName(const ImagingContext& c) {
    const std::string letter = SelectedSource(c).drive.substr(0, 1);
    // One clock reading for both texts, so the label names the file the box holds.
    const std::string path = BackupDriveFor(c, letter) + ":\\" + letter + DateTimeDigits(c.clock.Now()) + ".gho";
    c.window.SetText(kBackupPath, path);
    if (!letter.empty()) ShowBackupSentence(c.window, letter, path);
}

void ChooseBackupPath(const ImagingContext& c) {
    const std::string letter = SelectedSource(c).drive.substr(0, 1);
    FileDialogRequest request;
    request.save = true;
    request.filter = "Ghost映像文件(*.GHO)|*.GHO";
    request.fileName = letter + DateTimeDigits(c.clock.Now()) + ".gho";
    const std::optional<std::string> chosen = c.ports.dialogs->Choose(request);
    if (!chosen) return;
    c.window.SetText(kBackupPath, *chosen);
    ShowBackupSentence(c.window, letter, *chosen);
}

void BackupNow(const ImagingContext& c) {
    std::string source, ghostPath;
    if (c.route == ImagingRoute::Engine) {
        if (PrepareBackup(c, source, ghostPath))
            BackupByEngine(c, DriveLetterOf(SelectedSource(c).drive), source, true);
        return;
    }
    if (!PrepareBackup(c, source, ghostPath) || !ConfirmOverwrite(c)) return;
    if (!ConfirmTarget(c, SelectedSource(c).drive, source)) return;
    Outcome ready = WriteWindowsGhost(c.bootFiles, c.bootAssets);
    if (ready) ready = CreateImageFolder(c.facts.partitions.Get(), c.bootFiles, ghostPath);
    if (ready) ready = c.ports.files->StartProcess(WindowsGhostCommandLine(source, ghostPath));
    if (!ready) {
        ShowFailure(c, ready);
        return;
    }
    // Ghost runs now: a backup prepared for the next start is no longer wanted.
    const std::string batch = DriveRoot(GetSystemDriveLetter(c.drives)) + kGhostBatchFile;
    if (c.bootFiles.FileExists(batch)) {
        (void)c.bootFiles.SetAttributes(batch, kArchiveOnly);
        if (Outcome removed = c.bootFiles.RemoveFile(batch); !removed) ShowFailure(c, removed);
    }
}

void BackupAtRestart(const ImagingContext& c) {
    std::string source, ghostPath;
    if (!PrepareBackup(c, source, ghostPath)) return;
    const std::string partition = DriveLetterOf(SelectedSource(c).drive);
    if (c.route == ImagingRoute::Engine) {
        BackupByEngine(c, partition, source, false);
        return;
    }
    if (Outcome can = CheckBootJobCanRun(c, partition); !can) {
        ShowFailure(c, can);
        return;
    }
    if (!ConfirmOverwrite(c) || !ConfirmTarget(c, partition + ":", source)) return;
    const std::string system = GetSystemDriveLetter(c.drives);
    // The job stays visible with its real dates: the user can see what the next start will do.
    Outcome done = CreateImageFolder(c.facts.partitions.Get(), c.bootFiles, ghostPath);
    if (done) done = WriteGhostBatch(c.bootFiles, system, GhostBackupJob(source, ghostPath), false);
    if (done) {
        // From here this run's job is written: a failure takes it back.
        done = DeployBootAssets(c.bootFiles, c.bootAssets, system);
        if (done) done = RegisterBootEntry(c.system, c.commands, c.bootFiles, system, "备份系统");
        if (!done) done = WithdrawnAfter(c, system, done);
    }
    if (!done) {
        ShowFailure(c, done);
        return;
    }
    c.messages.Show("备份已准备好：下次重新启动电脑时会自动备份分区 " + partition + ":。");
}

}  // namespace kx
