#include "imaging/EngineRoute.h"

#include "base/ControlNames.h"
#include "boot/BootAssets.h"
#include "boot/BootMenu.h"
#include "boot/EngineJob.h"
#include "boot/GhostBatch.h"
#include "disk/DriveRecord.h"
#include "imaging/Checks.h"
#include "imaging/EfiRoute.h"
#include "text/Text.h"

namespace kx {
namespace {

constexpr size_t kLogLimit = 4u << 20;

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
    const std::string lower = AsciiLower(imagePath);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".gho") == 0 && imagePath[imagePath.size() - 5] != '\\')
        return imagePath.substr(0, imagePath.size() - 4);
    return imagePath;
}

bool IsEngineImage(const ImagingContext& c, const std::string& path) {
    return !path.empty() && path.back() != '\\' && c.ports.files->Exists(path + "\\" + kManifestFile);
}

Outcome CheckEngineImage(const ImagingContext& c, bool restore, const std::string& folder) {
    if (restore && !IsEngineImage(c, folder)) {
        const std::string lower = AsciiLower(folder);
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".gho") == 0)
            return Outcome::Failed(kEngineNoGhostText);
        return Outcome::Failed("“" + folder + "” 不是映像引擎做的备份（文件夹中没有 manifest.txt），无法还原。");
    }
    const std::string drive = DriveLetterOf(folder);
    if (drive.empty() || !ListedDrive(c.facts.partitions.Get(), drive) || c.drives.DriveType(drive[0]) != kFixedDrive)
        return Outcome::Failed("映像要在分区列表中的硬盘分区上，重新启动后映像引擎才能找到它：" + folder);
    if (auto path = EngineFolderOfPath(folder); !path)
        return Outcome::Failed("映像文件夹 " + folder + " 的路径不能用：" + path.outcome().Describe());
    return Outcome::Done();
}

namespace {

Outcome StageJob(const ImagingContext& c, EngineJobMode mode, const std::string& partition,
                 const std::string& designator, const std::string& imagePath, uint32_t index) {
    const std::string system = GetSystemDriveLetter(c.drives);
    auto systemId = Identity(c, system);
    if (!systemId) return systemId.outcome();
    auto partitionId = Identity(c, partition);
    if (!partitionId) return partitionId.outcome();
    auto imageId = Identity(c, DriveLetterOf(imagePath));
    if (!imageId) return imageId.outcome();
    auto path = EngineFolderOfPath(imagePath);
    if (!path) return path.outcome();
    const EngineJob job{mode,
                        systemId.value(),
                        partitionId.value(),
                        imageId.value(),
                        path.value(),
                        designator,
                        ToGhostPath(c.facts.partitions.Get(), imagePath),
                        index};
    auto text = EngineJobText(job);
    if (!text) return Outcome::Failed("映像引擎的作业不能写：" + text.outcome().Describe());

    Outcome done = Outcome::Done();
    if (UsesEfiBoot(c)) {
        done = DeployEfiEngine(c, system);
    } else {
        done = DeployBootAssets(c.bootFiles, c.bootAssets, system);
        if (done) done = DeployEngine(c.bootFiles, c.bootAssets, system);
    }
    if (!done) return done;
    // A job left hidden by the engine's own tools must not block the new one.
    const std::string jobFile = DriveRoot(system) + kEngineJobFile;
    if (c.bootFiles.FileExists(jobFile)) (void)c.bootFiles.SetAttributes(jobFile, kArchiveOnly);
    return c.bootFiles.WriteNewFile(jobFile, text.value());
}

}  // namespace

Outcome StageEngineJob(const ImagingContext& c, bool restore, const std::string& partition,
                       const std::string& designator, const std::string& folder) {
    return StageJob(c, restore ? EngineJobMode::Restore : EngineJobMode::Backup, partition, designator, folder, 0);
}

bool IsImagingFile(const std::string& path) {
    const std::string lower = AsciiLower(path);
    const auto endsWith = [&](const char* suffix) {
        const size_t n = std::char_traits<char>::length(suffix);
        return lower.size() > n && lower.compare(lower.size() - n, n, suffix) == 0 &&
               lower[lower.size() - n - 1] != '\\';
    };
    return endsWith(".wim") || endsWith(".esd");
}

Result<WimInfo> ReadImagingFile(ImageFilePort& files, const std::string& path) {
    return ReadWimInfo([&](uint64_t offset, uint32_t size) { return files.ReadAt(path, offset, size); });
}

namespace {

std::string SizeText(uint64_t bytes) {
    constexpr double kMegabyte = 1048576.0, kGigabyte = 1073741824.0;
    if (bytes >= kGigabyte) return NumberText(RoundToDecimals(bytes / kGigabyte, 2)) + " GB";
    return NumberText(RoundToDecimals(bytes / kMegabyte, 2)) + " MB";
}

}  // namespace

Result<WimEdition> CheckEngineApply(const ImagingContext& c, const std::string& imageFile, uint32_t index,
                                    const std::string& target) {
    const std::string drive = DriveLetterOf(imageFile);
    if (drive.empty() || !ListedDrive(c.facts.partitions.Get(), drive) || c.drives.DriveType(drive[0]) != kFixedDrive)
        return Outcome::Failed("映像文件要在分区列表中的硬盘分区上，重新启动后映像引擎才能找到它：" + imageFile);
    if (auto path = EngineFolderOfPath(imageFile); !path)
        return Outcome::Failed("映像文件 " + imageFile + " 的路径不能用：" + path.outcome().Describe());
    auto info = ReadImagingFile(*c.ports.files, imageFile);
    if (!info) return Outcome::Failed("映像文件 " + imageFile + " 不能用：" + info.outcome().Describe());
    for (const WimEdition& edition : info.value().editions) {
        if (edition.index != static_cast<int>(index)) continue;
        // The engine's own rule, asked before the restart: the edition's files fit the partition.
        const SpaceFacts space = target.empty() ? SpaceFacts{} : c.drives.Space(target[0]);
        if (space.ok && space.total < edition.totalBytes)
            return Outcome::Failed("“" + EditionLabel(edition) + "” 安装后有 " + SizeText(edition.totalBytes) +
                                   "，分区 " + target + ": 只有 " + SizeText(space.total) +
                                   "，放不下。请选择更大的分区或更小的版本。");
        return edition;
    }
    return Outcome::Failed("映像文件 " + imageFile + " 中没有第 " + std::to_string(index) + " 个映像（它有 " +
                           std::to_string(info.value().imageCount) + " 个）。");
}

std::optional<uint32_t> ChooseEdition(const ImagingContext& c, const std::string& imageFile) {
    auto info = ReadImagingFile(*c.ports.files, imageFile);
    if (!info) {
        c.messages.ShowError("映像文件 " + imageFile + " 不能用：" + info.outcome().Describe());
        return std::nullopt;
    }
    const std::vector<WimEdition>& editions = info.value().editions;
    if (editions.empty()) {
        c.messages.ShowError("映像文件 " + imageFile + " 中没有映像，无法安装。");
        return std::nullopt;
    }
    if (editions.size() == 1) return static_cast<uint32_t>(editions[0].index);
    std::vector<std::string> items;
    for (const WimEdition& edition : editions) items.push_back(EditionLabel(edition));
    const std::optional<int> answer =
        c.ports.choices ? c.ports.choices->Choose("选择版本",
                                                  "映像文件 " + imageFile + " 中有 " + std::to_string(editions.size()) +
                                                      " 个版本，请选择要安装的一个：",
                                                  items)
                        : std::nullopt;
    // -1 for a cancel: read once, which also keeps mingw's -Os from warning that the value may be unset.
    const int picked = answer.value_or(-1);
    if (picked < 0 || static_cast<size_t>(picked) >= editions.size()) return std::nullopt;
    return static_cast<uint32_t>(editions[static_cast<size_t>(picked)].index);
}

Outcome StageEngineApply(const ImagingContext& c, const std::string& partition, const std::string& designator,
                         const std::string& imageFile, uint32_t index) {
    return StageJob(c, EngineJobMode::Apply, partition, designator, imageFile, index);
}

Outcome WithdrawJob(const ImagingContext& c, const std::string& systemDrive) {
    const std::string root = DriveRoot(systemDrive);
    if (root.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法撤销作业");
    const std::string file = root + (c.route == ImagingRoute::Engine ? kEngineJobFile : kGhostBatchFile);
    Outcome outcome = Outcome::Done();
    if (c.bootFiles.FileExists(file)) {
        (void)c.bootFiles.SetAttributes(file, kArchiveOnly);
        outcome = c.bootFiles.RemoveFile(file);
    }
    outcome.Also(WithdrawEfiBoot(c, systemDrive));
    // The boot files stay while an entry still leads to them: the loader then finds no job and Windows starts
    // again, where a missing file would stop the start at the boot manager's error.
    if (Outcome entry = RemoveBootEntry(c.commands, c.bootFiles, systemDrive); !entry) return outcome.Also(entry);
    return outcome.Also(RemoveBootFiles(c.bootFiles, systemDrive));
}

Outcome WithdrawnAfter(const ImagingContext& c, const std::string& systemDrive, const Outcome& failure) {
    const Outcome withdrawn = WithdrawJob(c, systemDrive);
    if (withdrawn) return failure;
    return Outcome::Failed(failure.Describe() + "\r\n\r\n撤销已写入的作业时也出了错：" + withdrawn.Describe());
}

namespace {

std::string DurationText(uint64_t seconds) {
    if (seconds < 60) return std::to_string(seconds) + " 秒";
    return std::to_string(seconds / 60) + " 分 " + std::to_string(seconds % 60) + " 秒";
}

const char* ModeWord(EngineJobMode mode) {
    switch (mode) {
        case EngineJobMode::Backup:
            return "备份";
        case EngineJobMode::Apply:
            return "系统安装";
        default:
            return "还原";
    }
}

struct Notice {
    std::string text, title;
    MessageIcon icon;
};

// The result in the log of the engine's last job, for the restore page's line and a message box; nothing when
// there is no log. Shown once: the log goes aside under another name, where the details stay for whoever wants
// them. When it cannot go aside, the result is shown again at the next start rather than lost.
std::optional<Notice> TakeEngineLog(const ImagingContext& c, const std::string& root) {
    const std::string log = root + kEngineLogFile;
    if (!c.bootFiles.FileExists(log)) return std::nullopt;
    auto text = c.bootFiles.ReadSmallFile(log, kLogLimit);
    const EngineResult result =
        text ? EngineLogResult(text.value()) : EngineResult{false, text.outcome().Describe(), std::nullopt};
    const std::string shown = root + kShownEngineLogFile;
    if (c.bootFiles.FileExists(shown)) (void)c.bootFiles.RemoveFile(shown);
    const bool moved = c.bootFiles.CopyNewFile(log, shown).ok() && c.bootFiles.RemoveFile(log).ok();
    const std::string details = "\r\n\r\n详细的记录在 " + (moved ? shown : log) + " 中。";
    c.window.SetText("提示透明标签", result.ok ? "还原系统（上次的映像作业已完成）" : "还原系统（上次的映像作业失败）");
    if (!result.ok)
        return Notice{"上次重新启动后，映像引擎没有完成作业：\r\n\r\n" + result.reason + details, kErrorTitle,
                      MessageIcon::Error};
    if (const auto& s = result.summary)
        return Notice{std::string("上次重新启动后，映像引擎完成了") + ModeWord(s->mode) + "。\r\n\r\n用时：" +
                          DurationText(s->seconds) + "\r\n映像大小：" + SizeText(s->imageBytes) + details,
                      "信息：", MessageIcon::Information};
    return Notice{"上次重新启动后，映像引擎完成了作业。" + details, "信息：", MessageIcon::Information};
}

void Show(const ImagingContext& c, const Notice& notice) {
    c.messages.Show(notice.text, notice.title, MessageButtons::Ok, notice.icon);
}

std::string NotRunText(const ImagingContext& c, const std::string& job, const Outcome& withdrawn) {
    const bool engine = c.route == ImagingRoute::Engine;
    std::string text = engine ? "上次重新启动后，映像引擎没有运行准备好的作业：系统盘上还留着作业文件 " + job +
                                    "，却没有映像引擎的记录 " + kEngineLogFile + "。"
                              : "上次重新启动后，启动环境没有运行准备好的 Ghost 作业：系统盘上还留着 " + job + "。";
    text += "\r\n\r\n可能的原因：\r\n1. 启动时没有选择本程序添加的启动项，或者电脑是用别的方式启动的；\r\n2. ";
    text += engine ? "映像引擎不认识这台电脑的硬盘控制器，找不到硬盘；"
                   : "启动环境不认识这台电脑的硬盘控制器，找不到硬盘；";
    text += "\r\n3. 启动文件被删除了。\r\n\r\n";
    if (withdrawn)
        return text + "作业已撤销，本程序的启动文件和启动项也已删除，分区没有改动。如仍需要，请重新操作一次。";
    return text + "作业撤销时出了错：" + withdrawn.Describe();
}

}  // namespace

void ShowLastEngineResult(const ImagingContext& c) {
    const std::string system = GetSystemDriveLetter(c.drives);
    const std::string root = DriveRoot(system);
    if (root.empty()) return;
    const std::optional<Notice> logged = TakeEngineLog(c, root);
    const std::string job = root + (c.route == ImagingRoute::Engine ? kEngineJobFile : kGhostBatchFile);
    const bool jobLeft = c.bootFiles.FileExists(job);
    if (jobLeft) {
        // Staged at this start of Windows ("restart later"): it is still to run. When that cannot be told, the
        // job stays as well; it does what the user asked for.
        auto sinceStart = c.bootFiles.WrittenSinceWindowsStarted(job);
        if (!sinceStart || sinceStart.value()) {
            if (logged) Show(c, *logged);
            return;
        }
    }
    // No job is on its way: what the last one left (the boot files, the boot entry) goes, before any box waits
    // for the user. The engine removes only its job, and the DOS side only some of the files.
    const Outcome withdrawn = WithdrawJob(c, system);
    if (logged) Show(c, *logged);
    if (jobLeft && !logged) {
        c.messages.ShowError(NotRunText(c, job, withdrawn));
    } else if (!withdrawn) {
        c.messages.ShowError("上次的映像作业留下的启动文件或启动项未能全部删除：" + withdrawn.Describe());
    }
}

}  // namespace kx
