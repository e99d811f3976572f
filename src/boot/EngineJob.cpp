// The engine job's text. The engine's own parser (src/boot/engine/job.sh) reads the same format; the
// boot tests check that the two agree on every case.
#include "boot/EngineJob.h"

#include "boot/BootBuild.h"

#include <array>
#include <cstdio>
#include <vector>

namespace kx {
namespace {

constexpr std::string_view kHeader = "korvanix-job 1";
constexpr std::string_view kEnd = "end";
constexpr std::array<std::string_view, 7> kKeys = {"mode",   "system",          "partition",  "image",
                                                   "folder", "ghost-partition", "ghost-image"};
constexpr uint64_t kSector = 512;

Outcome Bad(const std::string& why) { return Outcome::Failed("作业文件无效：" + why); }

constexpr uint64_t kOffsetLimit = uint64_t(1) << 41;
// A GPT partition's offset: the engine compares through awk's doubles, exact below 2^53.
constexpr uint64_t kGptOffsetLimit = uint64_t(1) << 53;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A job's folder: no empty, "." or ".." component, no control character or backslash. The engine quotes
// every value, so blanks, brackets, "*" and "$" are plain characters to it. A folder taken from a Windows
// path must also avoid what Windows forbids in names (windowsNames).
bool UsableFolder(std::string_view folder, bool windowsNames) {
    const std::string_view forbidden = windowsNames ? std::string_view("\\:*?\"<>|") : std::string_view("\\");
    if (folder.size() < 2 || folder.front() != '/' || folder.back() == '/') return false;
    size_t start = 1;
    while (start <= folder.size()) {
        size_t end = folder.find('/', start);
        if (end == std::string_view::npos) end = folder.size();
        std::string_view part = folder.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        for (char c : part) {
            auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F || forbidden.find(c) != std::string_view::npos) return false;
        }
        start = end + 1;
    }
    return true;
}

bool UsableDesignator(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

std::string_view ModeName(EngineJobMode mode) {
    switch (mode) {
        case EngineJobMode::Restore:
            return "restore";
        case EngineJobMode::Apply:
            return "apply";
        case EngineJobMode::Backup:
            break;
    }
    return "backup";
}

// "1" to "9999": digits only, no leading zero (the engine's reader takes exactly these).
std::optional<uint32_t> ParseIndex(std::string_view text) {
    if (text.empty() || text.size() > 4 || text[0] == '0') return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + uint32_t(c - '0');
    }
    return value;
}

Outcome CheckJob(const EngineJob& job) {
    for (const PartitionIdentity* id : {&job.system, &job.partition, &job.image}) {
        if (id->IsGpt()) {
            if (id->diskGuid.IsZero() || id->partitionGuid.IsZero()) return Bad("GPT 磁盘或分区的 GUID 为 0");
            if (id->startOffset >= kGptOffsetLimit) return Bad("分区起始位置超出范围");
        } else if (id->diskSignature == 0) {
            return Bad("磁盘签名为 0（该磁盘没有 MBR 签名）");
        }
        if (id->startOffset == 0 || id->startOffset % kSector != 0) return Bad("分区起始位置不是整扇区");
    }
    if (!UsableFolder(job.folder, false)) return Bad("镜像文件夹 " + job.folder + " 不可用");
    if (!UsableDesignator(job.ghostPartition) || !UsableDesignator(job.ghostImage)) return Bad("盘号为空或含控制字符");
    if (job.mode == EngineJobMode::Apply ? job.index < 1 || job.index > kEngineJobMaxIndex : job.index != 0) {
        return Bad("映像索引 " + std::to_string(job.index) + " 无效");
    }
    if (job.partition == job.image) {
        switch (job.mode) {
            case EngineJobMode::Restore:
                return Bad("镜像位于要还原的分区上");
            case EngineJobMode::Apply:
                return Bad("映像文件位于要安装到的分区上");
            case EngineJobMode::Backup:
                break;
        }
        return Bad("镜像不能保存到要备份的分区");
    }
    return Outcome::Done();
}

}  // namespace

std::string IdentityText(PartitionIdentity id) {
    if (id.IsGpt())
        return GuidText(id.diskGuid) + "/" + GuidText(id.partitionGuid) + ":" + std::to_string(id.startOffset);
    char text[40];
    std::snprintf(text, sizeof text, "%08X:%llu", static_cast<unsigned>(id.diskSignature),
                  static_cast<unsigned long long>(id.startOffset));
    return text;
}

Result<PartitionIdentity> ParseIdentity(std::string_view text) {
    if (text.size() > 74 && text[36] == '/' && text[73] == ':') {
        auto disk = ParseGuid(text.substr(0, 36));
        auto part = ParseGuid(text.substr(37, 36));
        std::string_view offset = text.substr(74);
        if (!disk || !part || offset.size() > 16) return Bad("分区标识 " + std::string(text) + " 格式不对");
        PartitionIdentity id;
        id.diskGuid = disk.value();
        id.partitionGuid = part.value();
        for (char c : offset) {
            if (!IsDigit(c)) return Bad("分区标识 " + std::string(text) + " 格式不对");
            id.startOffset = id.startOffset * 10 + uint64_t(c - '0');
        }
        if (id.diskGuid.IsZero() || id.partitionGuid.IsZero())
            return Bad("分区标识 " + std::string(text) + " 的 GUID 为 0");
        if (id.startOffset == 0 || id.startOffset % kSector != 0 || id.startOffset >= kGptOffsetLimit)
            return Bad("分区标识 " + std::string(text) + " 的起始位置不是整扇区");
        return id;
    }
    if (text.size() < 10 || text[8] != ':') return Bad("分区标识 " + std::string(text) + " 格式不对");
    PartitionIdentity id;
    for (size_t i = 0; i < 8; ++i) {
        if (!IsHex(text[i])) return Bad("分区标识 " + std::string(text) + " 格式不对");
        char c = text[i];
        unsigned digit = IsDigit(c) ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
        id.diskSignature = id.diskSignature << 4 | digit;
    }
    std::string_view offset = text.substr(9);
    // An MBR addresses 2^32 sectors of 512 bytes: a start at 2^41 bytes or beyond is no partition of one
    // (and thirteen digits cannot overflow). The engine's reader draws the same line.
    if (offset.empty() || offset.size() > 13) return Bad("分区标识 " + std::string(text) + " 格式不对");
    for (char c : offset) {
        if (!IsDigit(c)) return Bad("分区标识 " + std::string(text) + " 格式不对");
        id.startOffset = id.startOffset * 10 + uint64_t(c - '0');
    }
    if (id.startOffset >= kOffsetLimit) return Bad("分区标识 " + std::string(text) + " 超出 2 TB");
    return id;
}

Result<std::string> EngineFolderOfPath(std::string_view windowsPath) {
    if (windowsPath.size() < 4 || windowsPath[1] != ':' || windowsPath[2] != '\\') {
        return Bad("镜像路径 " + std::string(windowsPath) + " 不是完整路径");
    }
    std::string folder(windowsPath.substr(2));
    while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
    for (char& c : folder) {
        if (c == '\\')
            c = '/';
        else if (c == '/')
            return Bad("镜像路径 " + std::string(windowsPath) + " 含有 /");
    }
    if (!UsableFolder(folder, true)) return Bad("镜像路径 " + std::string(windowsPath) + " 不可用");
    return folder;
}

Result<std::string> EngineJobText(const EngineJob& job) {
    if (Outcome check = CheckJob(job); !check) return check;
    std::string text(kHeader);
    text += "\nmode=";
    text += ModeName(job.mode);
    text += "\nsystem=" + IdentityText(job.system);
    text += "\npartition=" + IdentityText(job.partition);
    text += "\nimage=" + IdentityText(job.image);
    text += "\nfolder=" + job.folder;
    text += "\nghost-partition=" + job.ghostPartition;
    text += "\nghost-image=" + job.ghostImage;
    if (job.mode == EngineJobMode::Apply) text += "\nindex=" + std::to_string(job.index);
    text += "\n";
    text += kEnd;
    text += "\n";
    return text;
}

Result<EngineJob> ParseEngineJob(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited by a Windows editor
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty() || lines[0] != kHeader) return Bad("第一行不是 " + std::string(kHeader));
    // An apply names the edition on one more line before the end.
    const bool apply = lines.size() > 1 && lines[1] == "mode=apply";
    const size_t fields = kKeys.size() + (apply ? 1 : 0);
    if (lines.size() < fields + 2 || lines[fields + 1] != kEnd) return Bad("文件不完整（缺少 end 行）");
    if (lines.size() > fields + 2) return Bad("end 行之后还有内容");

    std::array<std::string_view, kKeys.size()> values;
    for (size_t i = 0; i < kKeys.size(); ++i) {
        std::string_view line = lines[i + 1];
        size_t eq = line.find('=');
        std::string_view key = line.substr(0, eq);
        if (eq == std::string_view::npos || key != kKeys[i]) {
            return Bad("第 " + std::to_string(i + 2) + " 行应为 " + std::string(kKeys[i]) + "=，却是 " +
                       std::string(line));
        }
        values[i] = line.substr(eq + 1);
    }
    EngineJob job;
    if (values[0] == "backup")
        job.mode = EngineJobMode::Backup;
    else if (values[0] == "restore")
        job.mode = EngineJobMode::Restore;
    else if (values[0] == "apply")
        job.mode = EngineJobMode::Apply;
    else
        return Bad("未知的 mode " + std::string(values[0]));
    PartitionIdentity* ids[] = {&job.system, &job.partition, &job.image};
    for (size_t i = 0; i < 3; ++i) {
        auto id = ParseIdentity(values[i + 1]);
        if (!id) return id.outcome();
        *ids[i] = id.value();
    }
    job.folder = values[4];
    job.ghostPartition = values[5];
    job.ghostImage = values[6];
    if (apply) {
        const std::string_view line = lines[kKeys.size() + 1];
        if (line.substr(0, 6) != "index=") {
            return Bad("第 " + std::to_string(kKeys.size() + 2) + " 行应为 index=，却是 " + std::string(line));
        }
        const auto index = ParseIndex(line.substr(6));
        if (!index) return Bad("映像索引 " + std::string(line.substr(6)) + " 无效");
        job.index = *index;
    }
    if (Outcome check = CheckJob(job); !check) return check;
    return job;
}

ImagingRoute SelectedImagingRoute() {
#if KORVANIX_IMAGING_ROUTE_ENGINE
    return ImagingRoute::Engine;
#elif KORVANIX_IMAGING_ROUTE_DOS
    return ImagingRoute::Dos;
#else
    return KORVANIX_CARRIES_DOS ? ImagingRoute::Dos : ImagingRoute::Engine;
#endif
}

namespace {

// The line of `text` that ends at `end` (exclusive); `start` gets where it begins.
std::string_view LineBefore(std::string_view text, size_t end, size_t& start) {
    const size_t newline = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
    start = newline == std::string_view::npos ? 0 : newline + 1;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// "N" of "key=N": at most nineteen digits, so the value fits.
std::optional<uint64_t> Number(std::string_view field, std::string_view key) {
    if (field.substr(0, key.size()) != key) return std::nullopt;
    field.remove_prefix(key.size());
    if (field.empty() || field.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : field) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    return value;
}

// "SUMMARY mode=backup seconds=123 image-bytes=456789", exactly; anything else is no summary.
std::optional<EngineSummary> ParseSummary(std::string_view line) {
    constexpr std::string_view kPrefix = "SUMMARY mode=";
    if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    line.remove_prefix(kPrefix.size());
    EngineSummary summary;
    bool known = false;
    for (EngineJobMode mode : {EngineJobMode::Backup, EngineJobMode::Restore, EngineJobMode::Apply}) {
        const std::string_view name = ModeName(mode);
        if (line.size() > name.size() && line.substr(0, name.size()) == name && line[name.size()] == ' ') {
            summary.mode = mode;
            line.remove_prefix(name.size() + 1);
            known = true;
            break;
        }
    }
    if (!known) return std::nullopt;
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const auto seconds = Number(line.substr(0, blank), "seconds=");
    const auto bytes = Number(line.substr(blank + 1), "image-bytes=");
    if (!seconds || !bytes) return std::nullopt;
    summary.seconds = *seconds;
    summary.imageBytes = *bytes;
    return summary;
}

}  // namespace

EngineResult EngineLogResult(std::string_view logText) {
    size_t end = logText.size();
    while (end > 0 && (logText[end - 1] == '\n' || logText[end - 1] == '\r' || logText[end - 1] == ' ')) --end;
    size_t start = 0;
    const std::string_view last = LineBefore(logText, end, start);
    constexpr std::string_view kOk = "RESULT OK", kFailed = "RESULT FAILED: ";
    if (last == kOk) {
        EngineResult result{true, "", std::nullopt};
        size_t before = 0;
        if (start > 0) result.summary = ParseSummary(LineBefore(logText, start - 1, before));
        return result;
    }
    if (last.substr(0, kFailed.size()) == kFailed && last.size() > kFailed.size()) {
        return {false, std::string(last.substr(kFailed.size())), std::nullopt};
    }
    return {false, "映像引擎未完成作业（日志不完整）", std::nullopt};
}

}  // namespace kx
