#include "boot/BootMenu.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "boot/BootAssets.h"
#include "boot/GhostBatch.h"

namespace kx {
namespace {

constexpr const char* kCreateCommand = "bcdedit /create /d %s%s%s /application bootsector";
// The partition the helper was written to: the system drive (C: on almost every machine).
constexpr const char* kDeviceCommand = "bcdedit /set %s device partition=%s:";
constexpr const char* kPathCommand = "bcdedit /set %s path \\qzrpldr.mbr";
constexpr const char* kOrderCommand = "bcdedit /displayorder %s /addlast";
// One boot only: the DOS side deletes the loader after the job, so an entry left as the default would
// from then on start a helper that finds nothing, and Windows would no longer start by itself.
constexpr const char* kBootSequenceCommand = "bcdedit /bootsequence %s";
constexpr const char* kTimeoutCommand = "bcdedit /timeout 25";
constexpr const char* kDeleteCommand = "bcdedit /delete %s";
// Putting the time-out back: the value it had, or none where the store had none.
constexpr const char* kOldTimeoutCommand = "bcdedit /timeout %s";
constexpr const char* kNoTimeoutCommand = "bcdedit /deletevalue {bootmgr} timeout";
constexpr const char* kRecordHeader = "korvanix-bcd 1";
constexpr size_t kRecordLimit = 64 * 1024;

std::vector<std::string> Blocks(const std::string& listing) {
    std::vector<std::string> blocks(1);
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) {
            if (!blocks.back().empty()) blocks.emplace_back();
            continue;
        }
        blocks.back() += line + "\n";
    }
    return blocks;
}

std::string FirstLine(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

// What bcdedit printed, or why it could not be asked (the interpreter did not start, or bcdedit hung).
Result<std::string> AskBcd(CommandPort& commands, const std::string& command) {
    Result<std::string> output = commands.RunCommandCaptured(command);
    if (!output) return Outcome::Failed("启动菜单设置失败：" + output.outcome().what(), output.outcome().error());
    return output;
}

// Runs one command; the failure quotes the command and what bcdedit said instead of success.
Outcome RunBcd(CommandPort& commands, const std::string& command) {
    const Result<std::string> output = AskBcd(commands, command);
    if (!output) return output.outcome();
    if (BcdSucceeded(output.value())) return Outcome::Done();
    const std::string said = FirstLine(output.value());
    return Outcome::Failed("启动菜单设置失败：“" + command + "”" +
                           (said.empty() ? "没有运行（没有输出）" : "报告：" + said));
}

constexpr const char* kUnknownTimeoutText =
    "启动菜单设置失败：bcdedit 的列表中读不出 Windows 启动管理器（{bootmgr}）的等待时间，无法在作业之后把它改回来";

bool AllOf(const std::string& text, const char* allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

// Values go back into command lines: a time-out is digits, an identifier a GUID in braces.
bool UsableTimeout(const std::string& value) { return value.size() <= 9 && AllOf(value, "0123456789"); }
bool UsableIdentifier(const std::string& id) {
    return id.size() > 2 && id.front() == '{' && id.back() == '}' &&
           AllOf(id.substr(1, id.size() - 2), "0123456789abcdefABCDEF-");
}

std::string RecordPath(const std::string& systemDrive) {
    const std::string root = DriveRoot(systemDrive);
    return root.empty() ? std::string() : root + kBcdRecordFile;
}

Result<std::optional<BcdRecord>> ReadRecord(BootFilePort& files, const std::string& path) {
    if (!files.FileExists(path)) return std::optional<BcdRecord>();
    auto text = files.ReadSmallFile(path, kRecordLimit);
    if (!text) return text.outcome();
    auto record = ParseBcdRecord(text.value());
    if (!record) return Outcome::Failed(path + " 的内容无效：" + record.outcome().what());
    return std::optional<BcdRecord>(record.value());
}

Outcome WriteRecord(BootFilePort& files, const std::string& path, const BcdRecord& record) {
    if (files.FileExists(path)) (void)files.SetAttributes(path, kArchiveOnly);
    return files.WriteNewFile(path, BcdRecordText(record));
}

// The record of the entries this program added, with `id` among them: the time-out is the one of the
// first entry's run, before any of ours changed it.
Outcome Remember(BootFilePort& files, const std::string& path, const std::string& listing, const std::string& id) {
    auto old = ReadRecord(files, path);
    if (!old) return old.outcome();
    BcdRecord record;
    if (old.value()) {
        record = *old.value();
    } else {
        const BootManagerBlock manager = BootManagerOf(listing);
        if (!manager.found || (manager.timeout && !UsableTimeout(*manager.timeout)))
            return Outcome::Failed(kUnknownTimeoutText);
        record.timeout = manager.timeout;
    }
    for (const std::string& known : record.entries)
        if (known == id) return Outcome::Done();
    record.entries.push_back(id);
    return WriteRecord(files, path, record);
}

}  // namespace

std::string BcdRecordText(const BcdRecord& record) {
    std::string text = std::string(kRecordHeader) + "\ntimeout=" + record.timeout.value_or("") + "\n";
    for (const std::string& id : record.entries) text += "entry=" + id + "\n";
    return text + "end\n";
}

Result<BcdRecord> ParseBcdRecord(const std::string& text) {
    std::string plain = text;  // a record saved again by a Windows editor ends its lines with CR LF
    plain.erase(std::remove(plain.begin(), plain.end(), '\r'), plain.end());
    std::istringstream lines(plain);
    std::string line;
    if (!std::getline(lines, line) || line != kRecordHeader) return Outcome::Failed("第一行不是 korvanix-bcd 1");
    BcdRecord record;
    if (!std::getline(lines, line) || line.rfind("timeout=", 0) != 0) return Outcome::Failed("缺少 timeout= 行");
    if (line.size() > 8) record.timeout = line.substr(8);
    if (record.timeout && !UsableTimeout(*record.timeout)) return Outcome::Failed("等待时间 " + line + " 无效");
    while (std::getline(lines, line) && line != "end") {
        if (line.rfind("entry=", 0) != 0 || !UsableIdentifier(line.substr(6)))
            return Outcome::Failed("无效的行 " + line);
        record.entries.push_back(line.substr(6));
    }
    if (line != "end") return Outcome::Failed("文件不完整（缺少 end 行）");
    return record;
}

BootManagerBlock BootManagerOf(const std::string& listing) {
    BootManagerBlock manager;
    for (const std::string& block : Blocks(listing)) {
        if (FirstIdentifier(block) != "{bootmgr}") continue;
        manager.found = true;
        std::istringstream lines(block);
        std::string line;
        // "timeout                 30": the names stay English in the Chinese listing too.
        while (std::getline(lines, line)) {
            if (line.rfind("timeout", 0) != 0 || line.size() < 8 || (line[7] != ' ' && line[7] != '\t')) continue;
            const size_t start = line.find_first_not_of(" \t", 7);
            const size_t end = line.find_last_not_of(" \t");
            manager.timeout = start == std::string::npos ? std::string() : line.substr(start, end - start + 1);
        }
        return manager;
    }
    return manager;
}

bool BcdSucceeded(const std::string& output) {
    return output.find("成功") != std::string::npos || output.find("successfully") != std::string::npos;
}

std::string FirstIdentifier(const std::string& text) {
    const size_t open = text.find('{');
    if (open == std::string::npos) return "{}";
    const size_t close = text.find('}', open + 1);
    if (close == std::string::npos) return "{}";
    return "{" + text.substr(open + 1, close - open - 1) + "}";
}

std::string IdentifierOfTitle(const std::string& listing, const std::string& title) {
    for (const std::string& block : Blocks(listing)) {
        if (block.find(title) == std::string::npos) continue;
        // The block's first brace pair is its identifier line ("identifier" / "标识符").
        const std::string id = FirstIdentifier(block);
        return id == "{}" ? std::string() : id;
    }
    return {};
}

Outcome RegisterBcdEntry(CommandPort& commands, BootFilePort& files, const std::string& systemDrive,
                         const std::string& title) {
    const std::string record = RecordPath(systemDrive);
    if (record.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法添加启动项");
    const Result<std::string> listed = AskBcd(commands, "bcdedit");
    if (!listed) return listed.outcome();
    const std::string& listing = listed.value();
    if (listing.find(title) != std::string::npos) {
        // A previous run added the entry: start it once more rather than adding a second one.
        const std::string id = IdentifierOfTitle(listing, title);
        if (id.empty()) return Outcome::Failed("启动菜单中已有“" + title + "”，但读不出它的标识符");
        if (Outcome kept = Remember(files, record, listing, id); !kept) return kept;
        return RunBcd(commands, FormatLine(kBootSequenceCommand, {id}));
    }
    // Without the time-out as it is now, the store could not be put back after the job.
    const BootManagerBlock manager = BootManagerOf(listing);
    if (!manager.found) {
        const std::string said = FirstLine(listing);
        return Outcome::Failed("启动菜单设置失败：“bcdedit”" + (said.empty() ? std::string("没有运行（没有输出）")
                                                                             : "没有列出 Windows 启动管理器：" + said));
    }
    if (manager.timeout && !UsableTimeout(*manager.timeout) && !files.FileExists(record))
        return Outcome::Failed(kUnknownTimeoutText);

    // Each command must succeed by itself: a later success does not make up for an earlier failure.
    const Result<std::string> asked = AskBcd(commands, FormatLine(kCreateCommand, {"\"", title, "\""}));
    if (!asked) return asked.outcome();
    const std::string& created = asked.value();
    const std::string id = FirstIdentifier(created);
    if (!BcdSucceeded(created) || id == "{}") {
        const std::string said = FirstLine(created);
        return Outcome::Failed("启动菜单设置失败：无法创建启动项“" + title + "”" +
                               (said.empty() ? "（bcdedit 没有运行）" : "：" + said));
    }
    // Kept before anything else changes; an entry that could not be recorded is not left behind.
    Outcome outcome = UsableIdentifier(id) ? Remember(files, record, listing, id)
                                           : Outcome::Failed("启动菜单设置失败：bcdedit 给出的标识符 " + id + " 无效");
    if (!outcome) {
        if (Outcome removed = RunBcd(commands, FormatLine(kDeleteCommand, {id})); !removed)
            return Outcome::Failed(outcome.Describe() + "；启动项 " + id + " 也未能删除（" + removed.Describe() + "）");
        return outcome;
    }
    const std::string drive = systemDrive.substr(0, 1);
    outcome = RunBcd(commands, FormatLine(kDeviceCommand, {id, drive}));
    for (const char* command : {kPathCommand, kOrderCommand, kBootSequenceCommand}) {
        if (outcome) outcome = RunBcd(commands, FormatLine(command, {id}));
    }
    if (outcome) outcome = RunBcd(commands, kTimeoutCommand);
    if (!outcome) {
        // A half-made entry would be found by its title next time and started without its device or path.
        if (Outcome removed = RemoveBootEntry(commands, files, systemDrive); !removed)
            return Outcome::Failed(outcome.what() + "；未完成的启动项 " + id + " 也未能删除（" + removed.Describe() +
                                   "）");
    }
    return outcome;
}

Outcome RemoveBootEntry(CommandPort& commands, BootFilePort& files, const std::string& systemDrive) {
    const std::string root = DriveRoot(systemDrive);
    if (root.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法撤销启动项");
    Outcome outcome = Outcome::Done();
    // Windows XP: boot.in_ is the boot.ini from before our entry (the boot side puts it back after a job).
    const std::string saved = root + "boot.in_", bootIni = root + "boot.ini";
    if (files.FileExists(saved)) {
        if (files.FileExists(bootIni)) (void)files.SetAttributes(bootIni, kArchiveOnly);
        outcome.Also(files.MoveReplacing(saved, bootIni));
    }

    const std::string path = root + kBcdRecordFile;
    auto read = ReadRecord(files, path);
    if (!read) return outcome.Also(read.outcome());
    if (!read.value()) return outcome;
    const BcdRecord& record = *read.value();
    const Result<std::string> asked = AskBcd(commands, "bcdedit");
    if (!asked) return outcome.Also(asked.outcome());
    const std::string& listing = asked.value();
    const BootManagerBlock manager = BootManagerOf(listing);
    if (!manager.found) return outcome.Also(RunBcd(commands, "bcdedit"));  // names what bcdedit said
    Outcome store = Outcome::Done();
    // An entry no longer listed is gone already (removed by hand, or by an earlier try).
    std::vector<std::string> listed;
    for (const std::string& block : Blocks(listing)) listed.push_back(FirstIdentifier(block));
    for (const std::string& id : record.entries)
        if (std::find(listed.begin(), listed.end(), id) != listed.end())
            store.Also(RunBcd(commands, FormatLine(kDeleteCommand, {id})));
    if (manager.timeout != record.timeout)
        store.Also(RunBcd(commands, record.timeout ? FormatLine(kOldTimeoutCommand, {*record.timeout})
                                                   : std::string(kNoTimeoutCommand)));
    if (store) store = files.RemoveFile(path);
    return outcome.Also(store);
}

Outcome RegisterBootIniEntry(BootFilePort& files, const std::string& systemDrive, const std::string& title) {
    const std::string root = DriveRoot(systemDrive);
    if (root.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法修改 boot.ini");
    const std::string bootIni = root + "boot.ini";
    const std::string saved = root + "boot.in_";
    // A boot.ini written from nothing would hold only our entry, and nothing would start Windows again.
    if (!files.FileExists(bootIni)) return Outcome::Failed("找不到 " + bootIni + "，无法添加启动项");
    // The DOS side puts boot.in_ back after the job, which removes our default again. Only the first run
    // saves: a later run must not save a boot.ini that already holds our entry. Without the copy the
    // helper would stay the default for good, so a failed copy stops here.
    if (!files.FileExists(saved)) {
        Outcome copied = files.CopyNewFile(bootIni, saved);
        if (!copied) return copied;
    }
    Outcome outcome = files.SetAttributes(bootIni, kArchiveOnly);
    const std::string helper = root + kHelperFile;
    if (outcome) outcome = files.WriteIniValue(bootIni, "boot loader", "default", helper);
    if (outcome) outcome = files.WriteIniValue(bootIni, "operating systems", helper, title);
    if (!outcome) return outcome;
    // The profile calls may report success for a file they could not change (a redirected or
    // virtualised boot.ini): what counts is what the file holds afterwards.
    if (files.ReadIniValue(bootIni, "boot loader", "default") != helper ||
        files.ReadIniValue(bootIni, "operating systems", helper) != title)
        return Outcome::Failed(bootIni + " 写入后读回的内容与写入的不同，启动项未能添加");
    return Outcome::Done();
}

Outcome RegisterBootEntry(SystemPort& system, CommandPort& commands, BootFilePort& files,
                          const std::string& systemDrive, const std::string& title) {
    const std::string version = system.WindowsVersionName();
    if (version == "Win7" || version == "Win8") return RegisterBcdEntry(commands, files, systemDrive, title);
    if (version == "WinXP") return RegisterBootIniEntry(files, systemDrive, title);
    return Outcome::Failed("不支持在此 Windows 版本（" + (version.empty() ? std::string("未知") : version) +
                           "）上添加启动项，只支持 Windows XP、Windows 7 和 Windows 8");
}

}  // namespace kx
