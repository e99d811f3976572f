// The writing half of the zip component: a folder into a standard deflate archive.
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "userdata/FilePath.h"
#include "userdata/ZipShared.h"

namespace kx {
namespace fs = std::filesystem;
using namespace zip;
namespace {

// "Version made by" names the attribute format: Unix modes in the high half and DOS attributes in the low
// byte, which every reader understands. With the MS-DOS host instead, Info-ZIP's unzip takes even flagged
// UTF-8 names for OEM code page text. 63: zip 6.3, the version that named bit 11.
constexpr uLong kVersionMadeBy = (3 << 8) | 63;
constexpr uLong kFolderAttributes = (040755u << 16) | 0x10, kFileAttributes = (0100644u << 16) | 0x20;
// Files at least this large are sampled first; when the sample does not shrink, the file is stored.
constexpr size_t kSampleFrom = 128 * 1024, kSampleSize = 256 * 1024;

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
    std::tm tm = LocalTm(
        std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys)));
    tm_zip z{};
    if (tm.tm_year < 80) {  // DOS dates begin in 1980
        z.tm_year = 1980, z.tm_mon = 0, z.tm_mday = 1;
        return z;
    }
    z.tm_sec = tm.tm_sec, z.tm_min = tm.tm_min, z.tm_hour = tm.tm_hour;
    z.tm_mday = tm.tm_mday, z.tm_mon = tm.tm_mon, z.tm_year = tm.tm_year + 1900;
    return z;
}

struct Item {
    std::string name;  // relative, "/"-separated; folders end with "/"
    fs::path path;
    bool folder = false;
    uint64_t size = 0;
    fs::file_time_type time{};
};

// Children in byte order of their names, so that archives of the same tree come out the same. A large tree
// takes a while to list: each folder is a report, where a stop request ends the walk (false).
bool Walk(const fs::path& dir, const std::string& prefix, std::vector<Item>& items, std::vector<std::string>& failed,
          Percent& percent) {
    if (!percent.Advance(0)) return false;
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
            if (!child.is_symlink(ec) && !Walk(child.path(), item.name, items, failed, percent)) return false;
        } else if (child.is_regular_file(ec)) {
            item.size = child.file_size(ec);
            if (ec) {
                failed.push_back(item.name);
                continue;
            }
            items.push_back(item);
        }
    }
    return true;
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

}  // namespace

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
        Percent percent(progress, 0);
        if (!Walk(root, "", items, report.failed, percent)) {
            report.cancelled = true;
            report.error = "压缩已取消";
            return report;
        }
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
        percent.SetTotal(total);
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

}  // namespace kx
