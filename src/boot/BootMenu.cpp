#include "boot/BootMenu.h"

#include <sstream>
#include <vector>

#include "boot/BootAssets.h"
#include "boot/BootPorts.h"
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

}  // namespace

bool BcdSucceeded(bool successSoFar, const std::string& output) {
    if (output.find("成功") != std::string::npos) return true;
    return successSoFar && output.find("successfully") != std::string::npos;
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

bool RegisterBcdEntry(Program& p, const std::string& title) {
    CommandPort& commands = *p.ports().commands;
    const std::string listing = commands.RunCommandCaptured("bcdedit");
    if (listing.find(title) != std::string::npos) {
        // A previous run added the entry: start it once more rather than adding a second one.
        const std::string id = IdentifierOfTitle(listing, title);
        if (id.empty()) return true;
        return BcdSucceeded(true, commands.RunCommandCaptured(FormatLine(kBootSequenceCommand, {id})));
    }

    bool success = true;
    const std::string created = commands.RunCommandCaptured(FormatLine(kCreateCommand, {"\"", title, "\""}));
    success = BcdSucceeded(success, created);
    const std::string id = FirstIdentifier(created);
    const std::string drive = p.facts().systemDriveLetter.empty() ? "C" : p.facts().systemDriveLetter.substr(0, 1);
    success = BcdSucceeded(success, commands.RunCommandCaptured(FormatLine(kDeviceCommand, {id, drive})));
    for (const char* command : {kPathCommand, kOrderCommand, kBootSequenceCommand})
        success = BcdSucceeded(success, commands.RunCommandCaptured(FormatLine(command, {id})));
    success = BcdSucceeded(success, commands.RunCommandCaptured(kTimeoutCommand));
    return success;
}

void RegisterBootIniEntry(Program& p, const std::string& title) {
    const std::string root = DriveRoot(p.facts().systemDriveLetter);
    if (root.empty()) return;
    BootFilePort& files = *p.ports().bootFiles;
    const std::string bootIni = root + "boot.ini";
    const std::string saved = root + "boot.in_";
    // The DOS side puts boot.in_ back after the job, which removes our default again. Only the first run
    // saves: a later run must not save a boot.ini that already holds our entry.
    if (!files.FileExists(saved) && files.FileExists(bootIni)) files.CopyNewFile(bootIni, saved);
    files.SetAttributes(bootIni, kArchiveOnly);
    const std::string helper = root + kHelperFile;
    files.WriteIniValue(bootIni, "boot loader", "default", helper);
    files.WriteIniValue(bootIni, "operating systems", helper, title);
}

void RegisterBootEntry(Program& p, const std::string& title) {
    const std::string version = p.ports().system->WindowsVersionName();
    if (version == "Win7" || version == "Win8")
        RegisterBcdEntry(p, title);
    else if (version == "WinXP")
        RegisterBootIniEntry(p, title);
}

}  // namespace kx
