// The one-tap restore or backup of a partition through the boot environment, and the staging of an image
// that the boot environment cannot read where it lies.
#include <cmath>

#include "base/ControlNames.h"
#include "boot/BootMenu.h"
#include "boot/GhostBatch.h"
#include "disk/DriveRecord.h"
#include "disk/Target.h"
#include "imaging/Checks.h"
#include "imaging/EfiRoute.h"
#include "imaging/EngineNotice.h"
#include "imaging/EngineRoute.h"
#include "imaging/RestorePage.h"
#include "text/Text.h"

namespace kx {
namespace {

constexpr uint64_t kGigabyte = 1073741824ull;
constexpr const char* kNoRoomText = "所有非系统盘空间大小均已不足！无法成功执行操作，请释放本地磁盘空间后重试！";

std::string LowerExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : AsciiLower(path.substr(dot));
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr const char* kGhostNoWimText =
    " 是 Windows 映像（WIM/ESD），DOS 下的 Ghost 不能用它安装系统。请选择 Ghost 映像（.gho），"
    "或使用不带 DOS 版 Ghost 的版本：它自带的映像引擎能安装 WIM/ESD 映像。";

// `action` is what the restart does ("进行还原", "安装 ..."); `notice` says what the engine's screen will
// show, empty on the DOS route.
std::string Question(const std::string& action, bool overwrites, const std::string& drive, const std::string& notice) {
    std::string text = "程序处理完成，是否马上重启计算机" + action + "？\r\n\r\n";
    if (overwrites) text += "警告：此操作将会删除" + drive + "的所有数据。\r\n\r\n";
    if (!notice.empty()) text += notice + "\r\n\r\n";
    return text + "选择\"是(Y)\"立即重新启动，选择\"否(N)\"稍后重新启动，\r\n\r\n选择\"取消\"撤销本次操作。";
}

// The job is written: the entry that runs it at the next start, or nothing staged at all.
bool RegisterOrWithdraw(const ImagingContext& c, const std::string& systemDrive, const std::string& title) {
    const Outcome entry = RegisterEngineBootEntry(c, systemDrive, title);
    if (entry) return true;
    ShowFailure(c, WithdrawnAfter(c, systemDrive, entry));
    return false;
}

}  // namespace

std::optional<std::string> StageImage(const ImagingContext& c, const std::string& imagePath, const std::string& avoid) {
    const std::string drive = DriveLetterOf(imagePath);
    if (!drive.empty() && drive != avoid && c.drives.DriveType(drive[0]) == kFixedDrive) {
        if (!ListedDrive(c.facts.partitions.Get(), drive)) {
            c.messages.Show("映像文件所在的分区 " + drive + ": 不在分区列表中，请点“重新搜索”刷新分区后重试。");
            return std::nullopt;
        }
        return ToGhostPath(c.facts.partitions.Get(), imagePath);
    }
    const std::optional<uint64_t> size = c.ports.files->Size(imagePath);
    if (!size) {
        c.messages.Show("无法读取映像文件 " + imagePath + "，请确认它还在原处。");
        return std::nullopt;
    }
    // Rounded up: a 4.5 GB image needs a drive with 5 whole gigabytes free, not 4.
    const auto gigabytes = static_cast<float>((*size + kGigabyte - 1) / kGigabyte);
    std::string letter;
    if (!ChooseTargetForSize(c.drives, c.facts, gigabytes, letter) || letter == avoid) {
        c.messages.Show(kNoRoomText);
        return std::nullopt;
    }
    if (*size >= 4 * kGigabyte && c.drives.Volume(letter[0]).fileSystem.rfind("FAT", 0) == 0) {
        c.messages.Show("映像文件有 4 GB 或更大，分区 " + letter +
                        ": 是 FAT 格式放不下，请把映像文件复制到 NTFS 分区后重试。");
        return std::nullopt;
    }
    const std::string name = FileNameOf(imagePath);
    const std::string copy = letter + ":\\" + name;
    const Outcome copied = c.ports.files->ShellCopy(imagePath, copy);
    if (IsCancelled(copied)) return std::nullopt;
    if (!copied) {
        c.messages.ShowError("映像文件复制到 " + copy + " 失败：" + copied.Describe());
        return std::nullopt;
    }
    return DesignatorOfDrive(c.facts.partitions.Get(), letter) + "\\" + name;
}

namespace {

// The DOS route: the image where Ghost can read it and Ghost.bat; nothing when the run must stop (the reason
// was shown).
std::optional<Outcome> WriteGhostJob(const ImagingContext& c, bool restore, const std::string& image,
                                     const std::string& partition, const std::string& designator) {
    if (restore) {
        const std::optional<uint64_t> size = c.ports.files->Size(image);
        if (!size || *size == 0) {
            c.messages.Show("映像文件 " + image + " 不存在或是空文件，请重新选择。");
            return std::nullopt;
        }
    } else {
        const std::string imageDrive = DriveLetterOf(image);
        if (!ListedDrive(c.facts.partitions.Get(), imageDrive) || c.drives.DriveType(imageDrive[0]) != kFixedDrive) {
            c.messages.Show("映像文件要保存在分区列表中的硬盘分区上，DOS 下的 Ghost 才能找到它，请重新指定。");
            return std::nullopt;
        }
    }
    // Every check comes before anything is written.
    if (!AcceptGhostPath(c, ToGhostPath(c.facts.partitions.Get(), image))) return std::nullopt;
    if (Outcome can = CheckBootJobCanRun(c, partition); !can) {
        ShowFailure(c, can);
        return std::nullopt;
    }
    if (!restore && c.ports.files->Exists(image) &&
        c.messages.Show("映像文件 " + image + " 已经存在，备份会覆盖它。是否继续？", "提示", MessageButtons::YesNo,
                        MessageIcon::Warning) != MessageAnswer::Yes)
        return std::nullopt;
    if (!ConfirmTarget(c, partition + ":", designator)) return std::nullopt;

    const std::string system = GetSystemDriveLetter(c.drives);
    std::string job;
    if (restore) {
        const std::optional<std::string> staged = StageImage(c, image, partition);
        if (!staged) return std::nullopt;
        job = GhostRestoreJob(*staged, "1", designator);
    } else {
        const std::string ghostPath = ToGhostPath(c.facts.partitions.Get(), image);
        if (Outcome folder = CreateImageFolder(c.facts.partitions.Get(), c.bootFiles, ghostPath); !folder) {
            ShowFailure(c, folder);
            return std::nullopt;
        }
        job = GhostBackupJob(designator, ghostPath);
    }
    Outcome written = DeployBootAssets(c.bootFiles, c.bootAssets, system);
    if (written) written = WriteGhostBatch(c.bootFiles, system, job, true);
    return written;
}

// The engine route: a restore from an image folder, or a backup into the folder the chosen file name gives.
std::optional<Outcome> WriteEngineJob(const ImagingContext& c, bool restore, const std::string& image,
                                      const std::string& partition, const std::string& designator) {
    const std::string folder = restore ? image : EngineImageFolder(image);
    Outcome can = CheckEngineImage(c, restore, folder);
    if (can && !AcceptGhostPath(c, ToGhostPath(c.facts.partitions.Get(), folder))) return std::nullopt;
    if (can) can = CheckBootJobCanRun(c, partition);
    if (!can) {
        ShowFailure(c, can);
        return std::nullopt;
    }
    if (!restore && c.ports.files->Exists(folder) &&
        c.messages.Show("映像文件夹 " + folder + " 已经存在，备份会替换它。是否继续？", "提示", MessageButtons::YesNo,
                        MessageIcon::Warning) != MessageAnswer::Yes)
        return std::nullopt;
    if (!ConfirmTarget(c, partition + ":", designator)) return std::nullopt;
    return StageEngineJob(c, restore, partition, designator, folder);
}

// The engine route's install of a Windows imaging file: the edition (asked when the file has several), the
// checks, the confirmations, then the job. `action` names the edition for the question.
std::optional<Outcome> WriteEngineApply(const ImagingContext& c, const std::string& image, const std::string& partition,
                                        const std::string& designator, std::string& action) {
    const std::optional<uint32_t> index = ChooseEdition(c, image);
    if (!index) return std::nullopt;
    Result<WimEdition> edition = CheckEngineApply(c, image, *index, partition);
    Outcome can = edition ? CheckBootJobCanRun(c, partition) : edition.outcome();
    if (!can) {
        ShowFailure(c, can);
        return std::nullopt;
    }
    if (!ConfirmTarget(c, partition + ":", designator)) return std::nullopt;
    action = "安装“" + EditionLabel(edition.value()) + "”";
    return StageEngineApply(c, partition, designator, image, *index);
}

}  // namespace

void OneTapRun(const ImagingContext& c) {
    WindowPort& w = c.window;
    const bool restore = c.state.oneTapRestore;
    const std::string image = CurrentImage(c.state);
    if (image.empty()) {
        c.messages.Show(restore ? "请先在列表中选择要还原的映像文件。" : "请先指定备份到的映像文件。");
        return;
    }
    const std::string extension = LowerExtension(image);
    if (extension == ".iso" || extension == ".ggh") {
        c.messages.Show("ISO和GGH映像支持，正在加紧研发，请在下一版本使用。", "提示");
        return;
    }
    // The user's choice of partition: the one place the list's selection is read.
    const PartitionRows rows = c.facts.partitions.Get();
    const int row = w.Selection(kRestoreList);
    const std::string drive = CellOf(rows, row, kDriveCol);
    const std::string designator = CellOf(rows, row, kDesignatorCol);
    if (drive.empty() || designator.empty()) {
        c.messages.Show(restore ? "请先在列表中选择要还原到的磁盘分区。" : "请先在列表中选择要备份的磁盘分区。");
        return;
    }
    const std::string partition = DriveLetterOf(drive);
    if (DriveLetterOf(image) == partition) {
        c.messages.Show(restore ? "映像文件就在要还原的分区 " + drive + " 上，还原时会被覆盖。请先把它复制到其他分区。"
                                : "不能把分区 " + drive + " 备份到它自己上面，请把映像文件保存到其他分区。");
        return;
    }
    const bool apply = restore && IsImagingFile(image);
    if (apply && c.route != ImagingRoute::Engine) {
        c.messages.Show("映像文件 " + image + kGhostNoWimText, "提示");
        return;
    }
    std::string action = restore ? "进行还原" : "进行备份";
    std::optional<Outcome> written;
    if (apply)
        written = WriteEngineApply(c, image, partition, designator, action);
    else if (c.route == ImagingRoute::Engine)
        written = WriteEngineJob(c, restore, image, partition, designator);
    else
        written = WriteGhostJob(c, restore, image, partition, designator);
    if (!written) return;
    const std::string system = GetSystemDriveLetter(c.drives);
    if (!*written) {
        ShowFailure(c, WithdrawnAfter(c, system, *written));
        return;
    }
    // The partition's used size says nothing of how long an install takes: its notice gives no estimate.
    std::string notice;
    if (c.route == ImagingRoute::Engine) notice = EngineScreenNotice(restore, apply ? "" : CellOf(rows, row, kUsedCol));
    if (const std::string secureBoot = EfiBootNotice(c); !secureBoot.empty()) notice += "\r\n\r\n" + secureBoot;
    // A restore overwrites the whole partition: its question carries the warning sign.
    const MessageAnswer answer =
        c.messages.Show(Question(action, restore, drive, notice), "Korvanix 2015", MessageButtons::YesNoCancel,
                        restore ? MessageIcon::Warning : MessageIcon::Question);
    if (answer == MessageAnswer::Cancel) {
        if (Outcome withdrawn = WithdrawJob(c, system); !withdrawn) ShowFailure(c, withdrawn);
        return;
    }
    if (!RegisterOrWithdraw(c, system, "安装系统")) return;
    if (answer == MessageAnswer::No) {
        // The job and its entry stay: it runs whenever the user restarts.
        w.Close();
        return;
    }
    if (const Outcome restarted = SystemRestart(*c.ports.restart, c.system, 2, true); !restarted)
        c.messages.ShowError("已准备好，但" + restarted.Describe() + "。请手动重新启动电脑。");
}

}  // namespace kx
