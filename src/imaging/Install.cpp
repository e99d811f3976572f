// Installing an image over the system partition: the restore job of the wizard's last step.
#include "imaging/Install.h"

#include "base/ControlNames.h"
#include "boot/BootMenu.h"
#include "boot/GhostBatch.h"
#include "disk/DriveRecord.h"
#include "imaging/Checks.h"
#include "imaging/EfiRoute.h"
#include "imaging/EngineRoute.h"
#include "imaging/Imaging.h"

namespace kx {
namespace {

constexpr Control kWizard{"高级选择夹2"};
constexpr int kCataloguePage = 0, kDeployedPage = 2;

// Every failure was shown to the user; the wizard goes back to its first page.
Outcome Refused(const ImagingContext& c, std::string what) {
    c.window.SetPageIndex(kWizard, kCataloguePage);
    return Outcome::Failed(std::move(what));
}

Outcome Failed(const ImagingContext& c, const Outcome& failure) {
    ShowFailure(c, failure);
    c.window.SetPageIndex(kWizard, kCataloguePage);
    return failure;
}

}  // namespace

Outcome CheckInstallCanRun(const ImagingContext& c, const std::string& imagePath) {
    if (c.route == ImagingRoute::Engine && !IsImagingFile(imagePath)) return Outcome::Failed(kEngineNoGhostText);
    const std::string system = GetSystemDriveLetter(c.drives);
    if (!ListedDrive(c.facts.partitions.Get(), system))
        return Outcome::Failed("系统盘不在分区列表中,本工具不支持自定义盘安装");
    // The same rule as the staging step's: an image on a fixed partition is read where it lies.
    const std::string drive = DriveLetterOf(imagePath);
    if (!drive.empty() && drive != system && c.drives.DriveType(drive[0]) == kFixedDrive &&
        !ListedDrive(c.facts.partitions.Get(), drive))
        return Outcome::Failed("映像文件所在的分区 " + drive + ": 不在分区列表中");
    return CheckBootJobCanRun(c, system);
}

namespace {

// The DOS route: the image where Ghost can read it, and Ghost.bat restoring it.
Outcome StageGhostRestore(const ImagingContext& c, const std::string& imagePath, const std::string& system,
                          const std::string& target) {
    const PartitionRows rows = c.facts.partitions.Get();
    if (!AcceptGhostPath(c, ToGhostPath(rows, imagePath))) return Refused(c, "映像文件的路径 DOS 版 Ghost 无法读取");
    if (Outcome can = CheckBootJobCanRun(c, system); !can) return Failed(c, can);
    // The row is what the disk holds now: the list may be older than the disks, or was filled wrongly.
    if (Outcome same = TargetStillListed(c, system + ":", target); !same) return Failed(c, same);

    // The image never stays on the partition it overwrites: there it is copied to another one first.
    const std::optional<std::string> staged = StageImage(c, imagePath, system);
    if (!staged) return Refused(c, "映像文件没有准备好");
    Outcome done = DeployBootAssets(c.bootFiles, c.bootAssets, system);
    if (done) done = WriteGhostBatch(c.bootFiles, system, GhostRestoreJob(*staged, "1", target), true);
    if (!done) return Failed(c, done);
    return Outcome::Done();
}

// The engine keeps the system partition's boot code, which starts the loader of the running Windows'
// generation (NTLDR for XP, BOOTMGR for Vista to 8): an edition of the other one is refused here, before the
// restart, when the file says which Windows it holds (the engine checks the files themselves in any case).
Outcome SameGeneration(const ImagingContext& c, const WimEdition& edition, const std::string& imagePath) {
    if (edition.windowsMajor == 0) return Outcome::Done();
    const bool imageXp = edition.windowsMajor < 6;
    const bool systemXp = c.system.WindowsVersionName() == "WinXP";
    if (imageXp == systemXp) return Outcome::Done();
    return Outcome::Failed("映像文件 " + imagePath + " 中的 “" + EditionLabel(edition) + "” 是 " +
                           (imageXp ? "Windows XP" : "Windows Vista 到 8") + " 一代的系统，这台电脑的系统分区用的是 " +
                           (systemXp ? "Windows XP" : "Windows Vista 到 8") +
                           " 一代的启动代码，映像引擎不能把它装到系统分区上。请选择与当前系统同一代的系统。");
}

// The engine route: edition `edition` of the Windows imaging file applied to the system partition.
Outcome StageApply(const ImagingContext& c, const std::string& imagePath, uint32_t edition, const std::string& system,
                   const std::string& target) {
    if (!IsImagingFile(imagePath)) return Failed(c, Outcome::Failed(kEngineNoGhostText));
    if (DriveLetterOf(imagePath) == system) {
        c.messages.Show("映像文件 " + imagePath + " 在系统盘上，安装时系统盘会被格式化。请先把它复制到其他分区。");
        return Refused(c, "映像文件在系统盘上");
    }
    if (edition == 0) {
        const std::optional<uint32_t> chosen = ChooseEdition(c, imagePath);
        if (!chosen) return Refused(c, "没有选择要安装的版本");
        edition = *chosen;
    }
    auto checked = CheckEngineApply(c, imagePath, edition, system);
    if (!checked) return Failed(c, checked.outcome());
    if (Outcome same = SameGeneration(c, checked.value(), imagePath); !same) return Failed(c, same);
    if (Outcome can = CheckBootJobCanRun(c, system); !can) return Failed(c, can);
    if (Outcome same = TargetStillListed(c, system + ":", target); !same) return Failed(c, same);
    if (Outcome staged = StageEngineApply(c, system, target, imagePath, edition); !staged)
        return Failed(c, WithdrawnAfter(c, system, staged));
    return Outcome::Done();
}

}  // namespace

Outcome InstallAndScheduleRestart(const ImagingContext& c, const std::string& imagePath, uint32_t edition) {
    WindowPort& w = c.window;
    // A run that stops early must not leave the mark of an earlier one: the countdown would restart into a
    // job that this run has replaced or removed.
    c.facts.deploymentReady.Set("");
    if (c.facts.partitions.Get().empty() && c.refreshPartitions)
        if (Outcome refreshed = c.refreshPartitions(); !refreshed) return Failed(c, refreshed);
    const std::string system = GetSystemDriveLetter(c.drives);
    const PartitionRows rows = c.facts.partitions.Get();
    const int row = RowOfLetter(rows, system);
    if (row < 0) {
        c.messages.Show("你的系统盘不在c盘,本工具不支持自定义盘安装,请下载万能系统安装工具!");
        c.shell.OpenUrl(SiteUrl(c.facts, "/vx/wngjxz.htm"));
        return Refused(c, "系统盘不在分区列表中");
    }
    w.SetSelection(kRestoreList, row);
    const std::string target = CellOf(rows, row, kDesignatorCol);

    const std::optional<uint64_t> size = imagePath.empty() ? std::nullopt : c.ports.files->Size(imagePath);
    if (!size || *size == 0) {
        c.messages.Show("映像文件 " + imagePath + " 不存在或是空文件，请重新下载。");
        return Refused(c, "映像文件不存在或是空文件");
    }
    if (c.route == ImagingRoute::Engine) {
        // The catalogue's Windows imaging files, or one the caller names: the engine applies an edition.
        if (Outcome staged = StageApply(c, imagePath, edition, system, target); !staged) return staged;
    } else if (Outcome staged = StageGhostRestore(c, imagePath, system, target); !staged) {
        return staged;
    }
    if (Outcome entry = RegisterEngineBootEntry(c, system, "安装系统"); !entry) {
        return Failed(c, WithdrawnAfter(c, system, entry));
    }
    c.facts.deploymentReady.Set("就绪");
    w.SetPageIndex(kWizard, kDeployedPage);
    StartRestartCountdown(c);
    return Outcome::Done();
}

}  // namespace kx
