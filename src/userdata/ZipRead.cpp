// The reading half of the zip component: an archive back into a folder, entry names checked and decoded.
#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "text/Text.h"
#include "userdata/FilePath.h"
#include "userdata/ZipShared.h"

namespace kx {
namespace fs = std::filesystem;
using namespace zip;
namespace {

constexpr uLong kEncryptedFlag = 1;
// Deflate cannot expand data by much more than 1032 to 1. An entry that claims more is damaged or is a
// zip bomb, and is not extracted at all.
constexpr uint64_t kMaxDeflateRatio = 1032;

void SetFileTime(const fs::path& path, const tm_unz& date) {
    std::tm tm{};
    tm.tm_sec = static_cast<int>(date.tm_sec), tm.tm_min = static_cast<int>(date.tm_min);
    tm.tm_hour = static_cast<int>(date.tm_hour), tm.tm_mday = static_cast<int>(date.tm_mday);
    tm.tm_mon = static_cast<int>(date.tm_mon), tm.tm_year = static_cast<int>(date.tm_year) - 1900;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return;
    std::error_code ec;
    fs::last_write_time(path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t)), ec);
}

bool IsReservedDeviceName(std::string_view part) {
    std::string base(part.substr(0, part.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    base = AsciiUpper(base);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' && base[3] <= '9';
}

enum class Extracted { Yes, Refused, Failed, Stopped };

struct Entry {
    unz_file_info64 info{};
    std::string name;  // decoded, as the archive spells it
};

bool ReadEntry(unzFile unzip, Entry& entry) {
    if (unzGetCurrentFileInfo64(unzip, &entry.info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    std::string raw(entry.info.size_filename, '\0'), extra(entry.info.size_file_extra, '\0');
    if (unzGetCurrentFileInfo64(unzip, &entry.info, raw.data(), raw.size(), extra.data(), extra.size(), nullptr, 0) !=
        UNZ_OK)
        return false;
    entry.name = DecodeEntryName(raw, entry.info.flag & kUtf8NameFlag, extra);
    return true;
}

Extracted ExtractEntry(unzFile unzip, const fs::path& root, const Entry& entry, std::vector<char>& buffer,
                       Percent& percent, ZipReport& report) {
    const unz_file_info64& info = entry.info;
    auto relative = SafeEntryPath(entry.name);
    if (!relative) {
        report.refused.push_back(entry.name);
        return percent.Advance(info.compressed_size) ? Extracted::Refused : Extracted::Stopped;
    }
    auto fail = [&] {
        report.failed.push_back(entry.name);
        return percent.Advance(info.compressed_size) ? Extracted::Failed : Extracted::Stopped;
    };
    std::error_code ec;
    bool folder = entry.name.ends_with('/') || entry.name.ends_with('\\');
    fs::path target = relative->empty() ? root : root / PathFromUtf8(*relative);
    if (folder) {
        fs::create_directories(target, ec);
        return fs::is_directory(target, ec) ? Extracted::Yes : fail();
    }
    bool known = (info.compression_method == 0 && info.compressed_size == info.uncompressed_size) ||
                 (info.compression_method == Z_DEFLATED &&
                  info.uncompressed_size <= info.compressed_size * kMaxDeflateRatio + 1024);
    if (relative->empty() || !known || (info.flag & kEncryptedFlag)) return fail();
    fs::create_directories(target.parent_path(), ec);
    fs::path part = target;
    part += kPartSuffix;
    if (unzOpenCurrentFile(unzip) != UNZ_OK) return fail();
    FilePtr out(OpenFile(part, "wb"));
    bool good = out != nullptr;
    uint64_t written = 0, credited = 0;
    while (good) {
        int got = unzReadCurrentFile(unzip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got <= 0) {
            good = got == 0;
            break;
        }
        good = std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out.get()) == static_cast<size_t>(got);
        written += static_cast<uint64_t>(got);
        // Progress follows the compressed bytes consumed, estimated from the share already written.
        uint64_t share = info.uncompressed_size ? written * info.compressed_size / info.uncompressed_size : 0;
        share = std::min<uint64_t>(share, info.compressed_size);
        if (!percent.Advance(share - credited)) {
            out.reset();
            unzCloseCurrentFile(unzip);
            fs::remove(part, ec);
            return Extracted::Stopped;
        }
        credited = share;
    }
    if (out && std::fclose(out.release()) != 0) good = false;
    if (unzCloseCurrentFile(unzip) != UNZ_OK || written != info.uncompressed_size) good = false;
    if (good) {
        fs::rename(part, target, ec);
        if (ec && fs::is_regular_file(target)) {
            // A read-only file of the same name is replaced as well.
            std::error_code ignored;
            fs::permissions(target, fs::perms::owner_write, fs::perm_options::add, ignored);
            ec.clear();
            fs::rename(part, target, ec);
        }
        good = !ec;
    }
    if (!good) {
        fs::remove(part, ec);
        report.failed.push_back(entry.name);
    } else {
        SetFileTime(target, info.tmu_date);
    }
    if (!percent.Advance(info.compressed_size - credited)) return Extracted::Stopped;
    return good ? Extracted::Yes : Extracted::Failed;
}

// minizip takes an end record at offset 0 for "not found", so it cannot open the archive of an empty folder.
bool IsEmptyArchive(const fs::path& archive) {
    FilePtr in(OpenFile(archive, "rb"));
    char record[22];
    if (!in || std::fread(record, 1, sizeof record, in.get()) != sizeof record) return false;
    std::string_view bytes(record, sizeof record);
    return bytes.starts_with("PK\x05\x06") && Le(bytes, 10, 2) == 0;
}

struct UnzipCloser {
    void operator()(void* u) const { unzClose(u); }
};

}  // namespace

std::optional<std::string> SafeEntryPath(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    std::string path(name);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.starts_with('/')) return std::nullopt;
    std::string out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find('/', start), path.size());
        std::string_view part(path.data() + start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        // Windows drops trailing dots and blanks, so ". ." or ".. " would climb like "..".
        bool onlyDots = part.find_first_not_of(". ") == std::string_view::npos;
        if (onlyDots || part.find(':') != std::string_view::npos || IsReservedDeviceName(part)) return std::nullopt;
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

std::string DecodeEntryName(std::string_view raw, bool utf8Flag, std::string_view extra) {
    if (utf8Flag && IsUtf8(raw)) return std::string(raw);
    // Info-ZIP's Unicode path field (0x7075): version 1, the CRC-32 of the header's name, the UTF-8 name.
    for (size_t at = 0; at + 4 <= extra.size();) {
        uint32_t id = Le(extra, at, 2), size = Le(extra, at + 2, 2);
        if (at + 4 + size > extra.size()) break;
        if (id == 0x7075 && size > 5 && extra[at + 4] == 1) {
            uint32_t crc = Le(extra, at + 5, 4);
            std::string_view name = extra.substr(at + 9, size - 5);
            if (crc == crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())) &&
                IsUtf8(name))
                return std::string(name);
        }
        at += 4 + size;
    }
    if (IsAscii(raw)) return std::string(raw);
    return FromCodePage(raw, kChineseCodePage);
}

ZipReport UnzipArchive(const std::string& archive, const std::string& folder, const ZipProgress& progress) {
    ZipReport report;
    try {
        fs::path source = PathFromUtf8(archive), root = PathFromUtf8(folder);
        zlib_filefunc64_def functions = FileFunctions();
        std::unique_ptr<void, UnzipCloser> unzip(unzOpen2_64(&source, &functions));
        bool empty = !unzip && IsEmptyArchive(source);
        if (!unzip && !empty) {
            report.error = "无法打开压缩文件（不存在或已损坏）：" + archive;
            return report;
        }
        std::error_code ec;
        fs::create_directories(root, ec);
        if (!fs::is_directory(root, ec)) {
            report.error = "无法创建文件夹：" + folder;
            return report;
        }
        if (empty) {
            report.ok = true;
            Percent(progress, 0).Finish();
            return report;
        }
        unz_global_info64 global{};
        if (unzGetGlobalInfo64(unzip.get(), &global) != UNZ_OK) {
            report.error = "压缩文件已损坏：" + archive;
            return report;
        }
        // Visits every entry of the central directory; false when the directory itself is damaged.
        Entry entry;
        auto forEach = [&](auto&& visit) {
            for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
                int rc = i == 0 ? unzGoToFirstFile(unzip.get()) : unzGoToNextFile(unzip.get());
                if (rc != UNZ_OK || !ReadEntry(unzip.get(), entry)) return false;
                if (!visit()) return true;
            }
            return true;
        };
        uint64_t total = 0;
        forEach([&] {
            total += entry.info.compressed_size;
            return true;
        });
        // A damaged directory still gives up the entries before the damage.
        Percent percent(progress, total);
        std::vector<char> buffer(kChunk);
        bool intact = forEach([&] {
            report.cancelled = ExtractEntry(unzip.get(), root, entry, buffer, percent, report) == Extracted::Stopped;
            return !report.cancelled;
        });
        if (report.cancelled) {
            report.error = "解压已取消";
            return report;
        }
        if (!intact) {
            report.error = "压缩文件已损坏：" + archive;
            return report;
        }
        percent.Finish();
        report.ok = report.failed.empty() && report.refused.empty();
    } catch (const std::exception& e) {
        report.ok = false;
        report.error = std::string("解压失败：") + e.what();
    }
    return report;
}

}  // namespace kx
