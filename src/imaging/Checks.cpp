#include "imaging/Checks.h"

#include <map>

#include "base/ControlNames.h"
#include "disk/DiskRead.h"
#include "text/Text.h"
#include "text/TextChecks.h"

namespace kx {

Outcome CheckBootJobCanRun(const ImagingContext& c, const std::string& driveLetter) {
    if (c.route == ImagingRoute::Dos && c.dosImage == DosImageKind::Diagnostic)
        return Outcome::Failed(
            "此版本的程序没有带 DOS 版 Ghost（只带了诊断用的启动软盘），也没有其他映像引擎，"
            "重新启动后无法执行还原或备份。请使用带 Ghost 启动环境的完整版本。");
    // The DOS route's boot files are a real-mode boot sector and a loader: UEFI firmware never starts them.
    // The engine starts there through the firmware's own load option (EfiRoute.h).
    const bool uefi = c.ports.machine->FirmwareType() == Firmware::Uefi;
    if (uefi && c.route != ImagingRoute::Engine)
        return Outcome::Failed(
            "这台电脑以 UEFI 方式启动，本工具的启动文件只能在传统 BIOS 方式下运行，无法执行还原或备份。");
    // On UEFI, Windows has the firmware's bitness: x64 Windows starts only from x64 firmware, 32-bit Windows
    // only from 32-bit firmware. The engine's chain (shim, GRUB, kernel) is x64 only.
    if (uefi && !c.system.IsWindows64())
        return Outcome::Failed(
            "这台电脑以 32 位 UEFI 方式启动，本工具的映像引擎只能由 64 位 UEFI 固件启动，无法执行还原或备份。");
    const char letter = driveLetter.empty() ? 'C' : driveLetter[0];
    const char* runner = c.route == ImagingRoute::Engine ? "本工具的映像引擎" : "DOS 版 Ghost";
    switch (c.ports.machine->StyleOf(letter)) {
        case PartitionStyle::Gpt:
            if (uefi) break;  // the engine finds GPT partitions by their GUIDs
            return Outcome::Failed(std::string("分区 ") + letter + ": 在 GPT 磁盘上，" + runner +
                                   "不能处理，无法执行还原或备份。");
        case PartitionStyle::Dynamic:
            return Outcome::Failed(std::string("分区 ") + letter + ": 在动态磁盘上，" + runner +
                                   "不能处理，无法执行还原或备份。");
        case PartitionStyle::Hybrid:
            return Outcome::Failed(std::string("分区 ") + letter +
                                   ": 所在磁盘的 GPT 分区表旁还有一份 MBR 分区表（混合 MBR），两份分区表可能不一致，" +
                                   runner + "不能处理，无法执行还原或备份。");
        default:
            break;
    }
    const std::string version = c.system.WindowsVersionName();
    if (version != "WinXP" && version != "Win7" && version != "Win8")
        return Outcome::Failed("不支持当前的 Windows 版本（" + (version.empty() ? std::string("未知") : version) +
                               "），无法添加启动项。本工具只支持 Windows XP、Windows 7 和 Windows 8。");
    return Outcome::Done();
}

bool AcceptGhostPath(const ImagingContext& c, const std::string& ghostPath) {
    if (!ExtractNonPrintable(ghostPath, false).empty()) {
        c.messages.ShowError(kChinesePathText);
        return false;
    }
    // Ghost reads its options up to the next blank: "src=1:2\my image.gho" would name "1:2\my".
    if (ghostPath.find(' ') != std::string::npos) {
        c.messages.ShowError("映像文件路径包含空格无法被正常加载，请改名后重试!");
        return false;
    }
    return true;
}

Outcome TargetStillListed(const ImagingContext& c, const std::string& drive, const std::string& designator) {
    const std::map<std::string, std::string> ids = c.facts.listedDiskIds.Get();
    const auto id = ids.find(designator);
    return ConfirmListedPartition(c.drives, c.commands, drive, designator, id == ids.end() ? "" : id->second);
}

bool ConfirmTarget(const ImagingContext& c, const std::string& drive, const std::string& designator) {
    const Outcome same = TargetStillListed(c, drive, designator);
    if (!same) ShowFailure(c, same);
    return same.ok();
}

void ShowFailure(const ImagingContext& c, const Outcome& failure) { c.messages.ShowError(failure.Describe()); }

std::string DriveLetterOf(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return {};
    const char l = AsciiUpper(path[0]);
    return l >= 'A' && l <= 'Z' ? std::string(1, l) : std::string();
}

bool ListedDrive(const PartitionRows& rows, const std::string& letter) {
    if (letter.empty()) return false;
    for (const DriveRecord& row : rows)
        if (DriveLetterOf(row.cells[kDriveCol]) == letter) return true;
    return false;
}

}  // namespace kx
