#include "imaging/EngineRoute.h"

#include "base/ControlNames.h"
#include "boot/BootAssets.h"
#include "boot/EngineJob.h"
#include "boot/GhostBatch.h"
#include "disk/DriveRecord.h"
#include "imaging/Checks.h"

namespace kx {
namespace {

constexpr size_t kLogLimit = 4u << 20;

std::string Lower(std::string text) {
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

Result<PartitionIdentity> Identity(const ImagingContext& c, const std::string& letter) {
    if (letter.empty()) return Outcome::Failed("不知道要读取哪个分区");
    auto id = c.ports.machine->IdentityOf(letter[0]);
    if (!id)
        return Outcome::Failed("无法确定分区 " + letter + ": 在磁盘上的位置，重新启动后映像引擎找不到它（" +
                               id.outcome().Describe() + "）");
    return id;
}

}  // namespace

const char* const kEngineNoGhostText =
    "此版本的程序没有带 DOS 版 Ghost，自带的映像引擎只能还原它自己做的备份（带 manifest.txt 的映像文件夹），"
    "不能还原 Ghost 映像（.gho）。请使用带 Ghost 启动环境的完整版本。";

std::string EngineImageFolder(const std::string& imagePath) {
    const std::string lower = Lower(imagePath);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".gho") == 0 &&
        imagePath[imagePath.size() - 5] != '\\')
        return imagePath.substr(0, imagePath.size() - 4);
    return imagePath;
}

bool IsEngineImage(const ImagingContext& c, const std::string& path) {
    return !path.empty() && path.back() != '\\' && c.ports.files->Exists(path + "\\" + kManifestFile);
}

Outcome CheckEngineImage(const ImagingContext& c, bool restore, const std::string& folder) {
    if (restore && !IsEngineImage(c, folder)) {
        const std::string lower = Lower(folder);
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".gho") == 0)
            return Outcome::Failed(kEngineNoGhostText);
        return Outcome::Failed("“" + folder + "” 不是映像引擎做的备份（文件夹中没有 manifest.txt），无法还原。");
    }
    const std::string drive = DriveLetterOf(folder);
    if (drive.empty() || !ListedDrive(c.window, drive) || c.drives.DriveType(drive[0]) != kFixedDrive)
        return Outcome::Failed("映像要在分区列表中的硬盘分区上，重新启动后映像引擎才能找到它：" + folder);
    if (auto path = EngineFolderOfPath(folder); !path)
        return Outcome::Failed("映像文件夹 " + folder + " 的路径不能用：" + path.outcome().Describe());
    return Outcome::Done();
}

Outcome StageEngineJob(const ImagingContext& c, bool restore, const std::string& partition,
                       const std::string& designator, const std::string& folder) {
    const std::string system = GetSystemDriveLetter(c.drives);
    auto systemId = Identity(c, system);
    if (!systemId) return systemId.outcome();
    auto partitionId = Identity(c, partition);
    if (!partitionId) return partitionId.outcome();
    auto imageId = Identity(c, DriveLetterOf(folder));
    if (!imageId) return imageId.outcome();
    auto path = EngineFolderOfPath(folder);
    if (!path) return path.outcome();
    const EngineJob job{restore ? EngineJobMode::Restore : EngineJobMode::Backup,
                        systemId.value(),
                        partitionId.value(),
                        imageId.value(),
                        path.value(),
                        designator,
                        ToGhostPath(c.window, folder)};
    auto text = EngineJobText(job);
    if (!text) return Outcome::Failed("映像引擎的作业不能写：" + text.outcome().Describe());

    Outcome done = DeployBootAssets(c.bootFiles, c.bootAssets, system);
    if (done) done = DeployEngine(c.bootFiles, c.bootAssets, system);
    if (!done) return done;
    // A job left hidden by the engine's own tools must not block the new one.
    const std::string jobFile = DriveRoot(system) + kEngineJobFile;
    if (c.bootFiles.FileExists(jobFile)) (void)c.bootFiles.SetAttributes(jobFile, kArchiveOnly);
    return c.bootFiles.WriteNewFile(jobFile, text.value());
}

void WithdrawJob(const ImagingContext& c, const std::string& systemDrive) {
    const std::string file = DriveRoot(systemDrive) + (c.route == ImagingRoute::Engine ? kEngineJobFile : kGhostBatchFile);
    // Nothing more can be done about a job that will not go: the failure that led here is what the user sees.
    if (c.bootFiles.FileExists(file)) (void)c.bootFiles.RemoveFile(file);
}

void ShowLastEngineResult(const ImagingContext& c) {
    const std::string root = DriveRoot(GetSystemDriveLetter(c.drives));
    const std::string log = root + kEngineLogFile;
    if (root.empty() || !c.bootFiles.FileExists(log)) return;
    auto text = c.bootFiles.ReadSmallFile(log, kLogLimit);
    const EngineResult result = text ? EngineLogResult(text.value()) : EngineResult{false, text.outcome().Describe()};
    // Shown once: the log goes aside under another name, where the details stay for whoever wants them. When it
    // cannot go aside, the result is shown again at the next start rather than lost.
    const std::string shown = root + kShownEngineLogFile;
    if (c.bootFiles.FileExists(shown)) (void)c.bootFiles.RemoveFile(shown);
    const bool moved = c.bootFiles.CopyNewFile(log, shown).ok() && c.bootFiles.RemoveFile(log).ok();
    c.window.SetText("提示透明标签", result.ok ? "还原系统（上次的映像作业已完成）" : "还原系统（上次的映像作业失败）");
    if (!result.ok)
        c.messages.Show("上次重新启动后，映像引擎没有完成作业：\r\n\r\n" + result.reason + "\r\n\r\n详细的记录在 " +
                            (moved ? shown : log) + " 中。",
                        kErrorTitle, MessageButtons::Ok, MessageIcon::Error);
}

}  // namespace kx
