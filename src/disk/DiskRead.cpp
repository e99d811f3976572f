#include "disk/DiskRead.h"

namespace kx {
namespace {

const ListedVolume* WithLetter(const std::vector<ListedVolume>& volumes, const std::string& letter) {
    for (const ListedVolume& v : volumes)
        if (v.row.letter == letter) return &v;
    return nullptr;
}

const ListedVolume* WithDesignator(const std::vector<ListedVolume>& volumes, const std::string& designator) {
    for (const ListedVolume& v : volumes)
        if (v.designator == designator) return &v;
    return nullptr;
}

}  // namespace

Result<std::vector<ListedVolume>> ReadDiskDetails(DrivePort& drives, CommandPort& commands) {
    const std::string script = drives.NewScriptName();
    std::vector<ListedVolume> volumes;
    Outcome read = Outcome::Done();
    const Result<int> disks = drives.CountPhysicalDisks();
    if (!disks) return disks.outcome();
    for (int i = 1; i <= disks.value(); ++i) {
        // A script that could not be written would leave diskpart reading an older one, whose volumes
        // would then be listed under this disk's number; a list without that disk would be no complete
        // list either: the read fails, naming why.
        read = drives.WriteScript(script, DiskScript(i - 1));
        if (!read) break;
        Result<std::string> out = commands.RunCommandCaptured(ScriptCommand(script));
        if (!out) {
            read = out.outcome();
            break;
        }
        for (ListedVolume& v : VolumesOfDiskDetail(out.value(), i)) {
            v.diskId = DiskIdOf(out.value());
            volumes.push_back(std::move(v));
        }
    }
    drives.DeleteScript(script);
    if (!read) return read;
    return volumes;
}

Outcome ConfirmListedPartition(DrivePort& drives, CommandPort& commands, const std::string& drive,
                               const std::string& designator, const std::string& listedDiskId) {
    const std::string letter = drive.substr(0, 1);
    const std::string row = "分区列表中的 " + drive + "（" + designator + "）";
    auto volumes = ReadDiskDetails(drives, commands);
    if (!volumes)
        return Outcome::Failed("无法重新读取磁盘来核对" + row + "：" + volumes.outcome().Describe() +
                               "。为了安全，没有写入任何内容。");
    const ListedVolume* byLetter = WithLetter(volumes.value(), letter);
    const ListedVolume* byDesignator = WithDesignator(volumes.value(), designator);
    if (byLetter && byLetter == byDesignator) {
        if (listedDiskId.empty() || byLetter->diskId.empty() || listedDiskId == byLetter->diskId)
            return Outcome::Done();
        return Outcome::Failed(row + "所在的磁盘已经不是分区列表刷新时的那块（磁盘 ID 刷新时是 " + listedDiskId +
                               "，现在是 " + byLetter->diskId +
                               "），分区列表已过时。为了安全，没有写入任何内容。请点“重新搜索”刷新分区列表后重试。");
    }
    std::string now = byLetter ? letter + ": 现在是 " + byLetter->designator : letter + ": 现在不在磁盘上";
    if (byDesignator)
        now += "，" + designator + " 现在是 " +
               (byDesignator->row.letter.empty() ? std::string("没有盘符的分区") : byDesignator->row.letter + ":");
    return Outcome::Failed(
        row + "与磁盘上现在的分区不一致（" + now +
        "），分区列表已过时或分区已经改变。为了安全，没有写入任何内容。请点“重新搜索”刷新分区列表后重试。");
}

}  // namespace kx
