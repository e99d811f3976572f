#include "userdata/Zip.h"

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>

#include "text/Text.h"
#include "userdata/FilePath.h"

namespace kx {
namespace fs = std::filesystem;
namespace {

constexpr size_t kChunk = 1 << 20;
constexpr uLong kUtf8NameFlag = 1 << 11;
constexpr uLong kEncryptedFlag = 1;
// "Version made by" names the attribute format: Unix modes in the high half and DOS attributes in the low
// byte, which every reader understands. With the MS-DOS host instead, Info-ZIP's unzip takes even flagged
// UTF-8 names for OEM code page text. 63: zip 6.3, the version that named bit 11.
constexpr uLong kVersionMadeBy = (3 << 8) | 63;
constexpr uLong kFolderAttributes = (040755u << 16) | 0x10, kFileAttributes = (0100644u << 16) | 0x20;
// Deflate cannot expand data by much more than 1032 to 1. An entry that claims more is damaged or is a
// zip bomb, and is not extracted at all.
constexpr uint64_t kMaxDeflateRatio = 1032;
// Files at least this large are sampled first; when the sample does not shrink, the file is stored.
constexpr size_t kSampleFrom = 128 * 1024, kSampleSize = 256 * 1024;
const char kPartSuffix[] = ".korvanix-part";

voidpf ZCALLBACK OpenStream(voidpf, const void* name, int mode) {
    const auto& path = *static_cast<const fs::path*>(name);
    const char* how = "rb";
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        how = (mode & ZLIB_FILEFUNC_MODE_EXISTING) ? "r+b" : "wb";
    std::FILE* file = OpenFile(path, how);
    if (file) std::setvbuf(file, nullptr, _IOFBF, 256 * 1024);
    return file;
}

uLong ZCALLBACK ReadStream(voidpf, voidpf stream, void* buffer, uLong size) {
    return static_cast<uLong>(std::fread(buffer, 1, size, static_cast<std::FILE*>(stream)));
}

uLong ZCALLBACK WriteStream(voidpf, voidpf stream, const void* buffer, uLong size) {
    return static_cast<uLong>(std::fwrite(buffer, 1, size, static_cast<std::FILE*>(stream)));
}

ZPOS64_T ZCALLBACK TellStream(voidpf, voidpf stream) { return TellFile(static_cast<std::FILE*>(stream)); }

long ZCALLBACK SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    int whence = origin == ZLIB_FILEFUNC_SEEK_CUR ? SEEK_CUR : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END : SEEK_SET;
    return SeekFile(static_cast<std::FILE*>(stream), offset, whence) == 0 ? 0 : -1;
}

int ZCALLBACK CloseStream(voidpf, voidpf stream) { return std::fclose(static_cast<std::FILE*>(stream)); }

int ZCALLBACK StreamError(voidpf, voidpf stream) { return std::ferror(static_cast<std::FILE*>(stream)); }

// minizip hands the "file name" through untouched: ours is a std::filesystem::path, so names keep every
// character on Windows (UTF-16) and on the host (UTF-8).
zlib_filefunc64_def FileFunctions() {
    zlib_filefunc64_def f{};
    f.zopen64_file = OpenStream;
    f.zread_file = ReadStream;
    f.zwrite_file = WriteStream;
    f.ztell64_file = TellStream;
    f.zseek64_file = SeekStream;
    f.zclose_file = CloseStream;
    f.zerror_file = StreamError;
    return f;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reports each whole percent once; remembers a request to stop.
class Percent {
public:
    Percent(const ZipProgress& callback, uint64_t total) : callback_(callback), total_(total) { Report(0); }
    bool Advance(uint64_t amount) {
        done_ += amount;
        Report(total_ ? static_cast<int>(std::min<uint64_t>(done_, total_) * 100 / total_) : 0);
        return !stopped_;
    }
    void Finish() { Report(100); }
    bool stopped() const { return stopped_; }

private:
    void Report(int percent) {
        if (percent == last_ || stopped_) return;
        last_ = percent;
        if (callback_ && callback_(percent) != 0) stopped_ = true;
    }
    const ZipProgress& callback_;
    uint64_t total_, done_ = 0;
    int last_ = -1;
    bool stopped_ = false;
};

std::tm LocalTm(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

tm_zip ZipTime(fs::file_time_type when) {
    auto sys = std::chrono::file_clock::to_sys(when);
    std::tm tm = LocalTm(std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys)));
    tm_zip z{};
    if (tm.tm_year < 80) {  // DOS dates begin in 1980
        z.tm_year = 1980, z.tm_mon = 0, z.tm_mday = 1;
        return z;
    }
    z.tm_sec = tm.tm_sec, z.tm_min = tm.tm_min, z.tm_hour = tm.tm_hour;
    z.tm_mday = tm.tm_mday, z.tm_mon = tm.tm_mon, z.tm_year = tm.tm_year + 1900;
    return z;
}

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

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct Item {
    std::string name;  // relative, "/"-separated; folders end with "/"
    fs::path path;
    bool folder = false;
    uint64_t size = 0;
    fs::file_time_type time{};
};

// Children in byte order of their names, so that archives of the same tree come out the same.
void Walk(const fs::path& dir, const std::string& prefix, std::vector<Item>& items, std::vector<std::string>& failed) {
    std::error_code ec;
    std::vector<fs::directory_entry> children;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) children.push_back(*it);
    if (ec) failed.push_back(prefix.empty() ? "." : prefix);
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& child : children) {
        Item item;
        item.path = child.path();
        item.name = prefix + Utf8FromPath(child.path().filename());
        item.time = child.last_write_time(ec);
        if (ec) item.time = fs::file_time_type::clock::now();
        if (child.is_directory(ec)) {
            item.name += "/";
            item.folder = true;
            items.push_back(item);
            // A link to a folder is kept as a folder but not followed: it may lead back up the tree.
            if (!child.is_symlink(ec)) Walk(child.path(), item.name, items, failed);
        } else if (child.is_regular_file(ec)) {
            item.size = child.file_size(ec);
            if (ec) {
                failed.push_back(item.name);
                continue;
            }
            items.push_back(item);
        }
    }
}

// Raw deflate of a whole buffer into `out`; returns the packed size, 0 on failure.
size_t DeflateRaw(const char* data, size_t size, int level, std::vector<unsigned char>& out) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    out.resize(deflateBound(&z, static_cast<uLong>(size)));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    size_t packed = z.total_out;
    deflateEnd(&z);
    return done ? packed : 0;
}

bool LooksIncompressible(const char* data, size_t size, std::vector<unsigned char>& scratch) {
    size_t packed = DeflateRaw(data, size, 1, scratch);
    return packed == 0 || packed * 100 >= size * 98;
}

enum class Added { Yes, Skipped, ArchiveBroken, Stopped };

struct Scratch {
    std::vector<char> buffer = std::vector<char>(kChunk);
    std::vector<unsigned char> packed;
};

int OpenEntry(zipFile zip, const Item& item, int method, int level, int raw) {
    zip_fileinfo info{};
    info.tmz_date = ZipTime(item.time);
    info.external_fa = item.folder ? kFolderAttributes : kFileAttributes;
    uLong flags = IsAscii(item.name) ? 0 : kUtf8NameFlag;
    int zip64 = item.size >= 0xFFFFFFFFu ? 1 : 0;
    return zipOpenNewFileInZip4_64(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, level, raw,
                                   -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, flags, zip64);
}

// A file read whole in one go is packed in memory first and stored instead when packing does not shrink it,
// as Info-ZIP's zip does; that keeps small incompressible files at their own size.
Added AddWhole(zipFile zip, const Item& item, size_t size, Scratch& scratch) {
    const char* data = scratch.buffer.data();
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    size_t packed = size ? DeflateRaw(data, size, 6, scratch.packed) : 0;
    bool deflated = packed > 0 && packed < size;
    if (OpenEntry(zip, item, deflated ? Z_DEFLATED : 0, deflated ? 6 : 0, 1) != ZIP_OK) return Added::ArchiveBroken;
    const void* out = deflated ? static_cast<const void*>(scratch.packed.data()) : data;
    size_t length = deflated ? packed : size;
    if (length && zipWriteInFileInZip(zip, out, static_cast<unsigned>(length)) != ZIP_OK) return Added::ArchiveBroken;
    return zipCloseFileInZipRaw64(zip, size, crc) == ZIP_OK ? Added::Yes : Added::ArchiveBroken;
}

Added AddItem(zipFile zip, const Item& item, Scratch& scratch, Percent& percent, ZipReport& report) {
    if (item.folder) {
        if (OpenEntry(zip, item, 0, 0, 0) != ZIP_OK || zipCloseFileInZip(zip) != ZIP_OK) return Added::ArchiveBroken;
        return Added::Yes;
    }
    FilePtr in(OpenFile(item.path, "rb"));
    if (!in) {  // locked or unreadable: the rest of the folder still goes into the archive
        report.failed.push_back(item.name);
        return percent.Advance(item.size) ? Added::Skipped : Added::Stopped;
    }
    std::vector<char>& buffer = scratch.buffer;
    size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got < buffer.size() && !std::ferror(in.get())) {
        Added added = AddWhole(zip, item, got, scratch);
        if (added == Added::Yes && !percent.Advance(got)) return Added::Stopped;
        return added;
    }
    bool store = got >= kSampleFrom && LooksIncompressible(buffer.data(), std::min(got, kSampleSize), scratch.packed);
    if (OpenEntry(zip, item, store ? 0 : Z_DEFLATED, store ? 0 : 6, 0) != ZIP_OK) return Added::ArchiveBroken;
    while (got > 0) {
        if (zipWriteInFileInZip(zip, buffer.data(), static_cast<unsigned>(got)) != ZIP_OK) return Added::ArchiveBroken;
        if (!percent.Advance(got)) return Added::Stopped;
        got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    }
    if (std::ferror(in.get())) report.failed.push_back(item.name);  // the entry holds what could be read
    return zipCloseFileInZip(zip) == ZIP_OK ? Added::Yes : Added::ArchiveBroken;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return a.filename() == b.filename() && fs::equivalent(a, b, ec);
}

uint32_t Le(std::string_view bytes, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

bool IsReservedDeviceName(std::string_view part) {
    std::string base(part.substr(0, part.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
           base[3] <= '9';
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

ZipReport ZipFolder(const std::string& folder, const std::string& archive, const ZipProgress& progress) {
    ZipReport report;
    try {
        fs::path root = PathFromUtf8(folder), target = PathFromUtf8(archive);
        std::error_code ec;
        if (!fs::is_directory(root, ec)) {
            report.error = "找不到要压缩的文件夹：" + folder;
            return report;
        }
        std::vector<Item> items;
        Walk(root, "", items, report.failed);
        fs::path part = target;
        part += kPartSuffix;
        std::erase_if(items, [&](const Item& i) { return SameFile(i.path, target) || SameFile(i.path, part); });
        uint64_t total = 0;
        for (const auto& item : items) total += item.size;

        zlib_filefunc64_def functions = FileFunctions();
        zipFile zip = zipOpen2_64(&part, APPEND_STATUS_CREATE, nullptr, &functions);
        if (!zip) {
            report.error = "无法创建压缩文件：" + archive;
            return report;
        }
        Percent percent(progress, total);
        Scratch scratch;
        Added last = Added::Yes;
        for (const auto& item : items) {
            last = AddItem(zip, item, scratch, percent, report);
            if (last == Added::ArchiveBroken || last == Added::Stopped) break;
        }
        bool closed = zipClose(zip, nullptr) == ZIP_OK;
        if (last == Added::Stopped) {
            report.cancelled = true;
            report.error = "压缩已取消";
        } else if (last == Added::ArchiveBroken || !closed) {
            report.error = "写入压缩文件失败（磁盘已满或无法写入）：" + archive;
        } else {
            fs::rename(part, target, ec);
            if (ec) report.error = "无法替换压缩文件：" + archive;
        }
        if (!report.error.empty()) {
            fs::remove(part, ec);
            return report;
        }
        percent.Finish();
        report.ok = report.failed.empty();
    } catch (const std::exception& e) {
        report.ok = false;
        report.error = std::string("压缩失败：") + e.what();
    }
    return report;
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
