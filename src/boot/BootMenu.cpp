#include "boot/BootMenu.h"

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

// Runs one command; the failure quotes the command and what bcdedit said instead of success.
Outcome RunBcd(CommandPort& commands, const std::string& command) {
    const std::string output = commands.RunCommandCaptured(command);
    if (BcdSucceeded(output)) return Outcome::Done();
    const std::string said = FirstLine(output);
    return Outcome::Failed("启动菜单设置失败：“" + command + "”" +
                           (said.empty() ? "没有运行（没有输出）" : "报告：" + said));
}

}  // namespace

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

Outcome RegisterBcdEntry(CommandPort& commands, const std::string& systemDrive, const std::string& title) {
    const std::string listing = commands.RunCommandCaptured("bcdedit");
    if (listing.find(title) != std::string::npos) {
        // A previous run added the entry: start it once more rather than adding a second one.
        const std::string id = IdentifierOfTitle(listing, title);
        if (id.empty()) return Outcome::Failed("启动菜单中已有“" + title + "”，但读不出它的标识符");
        return RunBcd(commands, FormatLine(kBootSequenceCommand, {id}));
    }

    // Each command must succeed by itself: a later success does not make up for an earlier failure.
    const std::string created = commands.RunCommandCaptured(FormatLine(kCreateCommand, {"\"", title, "\""}));
    const std::string id = FirstIdentifier(created);
    if (!BcdSucceeded(created) || id == "{}") {
        const std::string said = FirstLine(created);
        return Outcome::Failed("启动菜单设置失败：无法创建启动项“" + title + "”" +
                               (said.empty() ? "（bcdedit 没有运行）" : "：" + said));
    }
    const std::string drive = systemDrive.empty() ? "C" : systemDrive.substr(0, 1);
    Outcome outcome = RunBcd(commands, FormatLine(kDeviceCommand, {id, drive}));
    for (const char* command : {kPathCommand, kOrderCommand, kBootSequenceCommand}) {
        if (outcome) outcome = RunBcd(commands, FormatLine(command, {id}));
    }
    if (outcome) outcome = RunBcd(commands, kTimeoutCommand);
    if (!outcome) {
        // A half-made entry would be found by its title next time and started without its device or path.
        if (!BcdSucceeded(commands.RunCommandCaptured(FormatLine(kDeleteCommand, {id}))))
            return Outcome::Failed(outcome.what() + "；未完成的启动项 " + id + " 也未能删除");
    }
    return outcome;
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
    if (version == "Win7" || version == "Win8") return RegisterBcdEntry(commands, systemDrive, title);
    if (version == "WinXP") return RegisterBootIniEntry(files, systemDrive, title);
    return Outcome::Failed("不支持在此 Windows 版本（" + (version.empty() ? std::string("未知") : version) +
                           "）上添加启动项，只支持 Windows XP、Windows 7 和 Windows 8");
}

}  // namespace kx
