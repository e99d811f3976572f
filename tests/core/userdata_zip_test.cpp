// The zip component on real files: round trips, the Debian peers (unzip, 7z), names, hostile archives.
#include <gtest/gtest.h>
#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "text/Text.h"
#include "userdata/Zip.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "kx-userdata-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::string str(const std::string& name = "") const { return (path_ / name).string(); }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        pclose(pipe);
    }
    return out;
}

bool HaveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

// Every folder, and every file with its size and SHA-256, sorted: two trees are the same when these are.
std::string Manifest(const fs::path& root) {
    std::string q = "'" + root.string() + "'";
    return Shell("cd " + q + " && find . -mindepth 1 -type d | LC_ALL=C sort && " +
                 "find . -type f -printf '%s %p\\n' | LC_ALL=C sort -k2 && " +
                 "find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum");
}

struct ListedEntry {
    std::string rawName;
    unsigned long flag, method;
};

std::vector<ListedEntry> ListArchive(const fs::path& archive) {
    std::vector<ListedEntry> entries;
    unzFile u = unzOpen64(archive.c_str());
    if (!u) return entries;
    for (int rc = unzGoToFirstFile(u); rc == UNZ_OK; rc = unzGoToNextFile(u)) {
        unz_file_info64 info;
        char name[1024];
        unzGetCurrentFileInfo64(u, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        entries.push_back({std::string(name, info.size_filename), info.flag, info.compression_method});
    }
    unzClose(u);
    return entries;
}

// An archive written entry by entry with the names' bytes exactly as given (as other tools write them).
void WriteRawArchive(const fs::path& archive, const std::vector<std::pair<std::string, std::string>>& entries,
                     unsigned long flags = 0) {
    zipFile z = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, data] : entries) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip4_64(z, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6, 0,
                                          -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0, flags, 0),
                  ZIP_OK);
        zipWriteInFileInZip(z, data.data(), static_cast<unsigned>(data.size()));
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
}

// Text-like bytes that compress, with a little noise.
std::string TextLike(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string s;
    s.reserve(size + 64);
    while (s.size() < size) s += "第" + std::to_string(random() % 100000) + "行 backup line of user data\r\n";
    s.resize(size);
    return s;
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937_64 random(seed);
    std::string s(size, '\0');
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t v = random();
        std::memcpy(&s[i], &v, 8);
    }
    return s;
}

// A tree like a user's folders: Chinese names, empty folders, a zero-byte file, small and incompressible files.
void MakeTree(const fs::path& root) {
    WriteFile(root / "我的文档" / "工作计划.txt", TextLike(20000, 1));
    WriteFile(root / "我的文档" / "照片" / "旅行.jpg", RandomBytes(300000, 2));
    WriteFile(root / "空文件.txt", "");
    WriteFile(root / "readme.txt", "hello");
    fs::create_directories(root / "空文件夹" / "更深的空文件夹");
    fs::create_directories(root / "empty");
    for (int i = 0; i < 50; ++i)
        WriteFile(root / "小文件" / ("文件" + std::to_string(i) + ".ini"), TextLike(i * 37, i));
}

TEST(Zip, RoundTripKeepsEveryNameSizeAndByteIncludingALargeFile) {
    TempDir t;
    MakeTree(t / "src");
    {
        // Just over 100 MB, mostly compressible, so that it is deflated in many pieces.
        std::ofstream big(t / "src" / "大文件.log", std::ios::binary);
        for (int i = 0; i < 100; ++i) big << TextLike(1 << 20, i) << RandomBytes(4096, i);
        big << "end";
    }
    ASSERT_GT(fs::file_size(t / "src" / "大文件.log"), 100u << 20);
    std::vector<int> seen;
    ZipReport zipped = ZipFolder(t.str("src"), t.str("备份.zip"), [&](int p) {
        seen.push_back(p);
        return 0;
    });
    ASSERT_TRUE(zipped.ok) << zipped.error;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LT(fs::file_size(t / "备份.zip"), fs::file_size(t / "src" / "大文件.log") / 2);

    ZipReport unzipped = UnzipArchive(t.str("备份.zip"), t.str("restored"));
    ASSERT_TRUE(unzipped.ok) << unzipped.error;
    EXPECT_EQ(Manifest(t / "src"), Manifest(t / "restored"));
    EXPECT_FALSE(Manifest(t / "src").empty());
}

TEST(Zip, NamesAreRelativeUtf8FlaggedAndEveryFolderHasAnEntry) {
    TempDir t;
    MakeTree(t / "src");
    ASSERT_TRUE(ZipFolder(t.str("src"), t.str("a.zip")).ok);
    std::vector<ListedEntry> entries = ListArchive(t / "a.zip");
    auto find = [&](const std::string& name) -> const ListedEntry* {
        for (const auto& e : entries)
            if (e.rawName == name) return &e;
        return nullptr;
    };
    for (const char* folder :
         {"我的文档/", "我的文档/照片/", "空文件夹/", "空文件夹/更深的空文件夹/", "empty/", "小文件/"})
        EXPECT_NE(find(folder), nullptr) << folder;
    const ListedEntry* chinese = find("我的文档/工作计划.txt");
    ASSERT_NE(chinese, nullptr);
    EXPECT_TRUE(chinese->flag & 0x800);
    EXPECT_EQ(chinese->method, unsigned(Z_DEFLATED));
    ASSERT_NE(find("readme.txt"), nullptr);
    EXPECT_FALSE(find("readme.txt")->flag & 0x800);         // plain ASCII needs no flag
    EXPECT_EQ(find("我的文档/照片/旅行.jpg")->method, 0u);  // random bytes are stored, not inflated
    for (const auto& e : entries) {
        EXPECT_FALSE(e.rawName.starts_with('/')) << e.rawName;
        EXPECT_EQ(e.rawName.find('\\'), std::string::npos) << e.rawName;
        EXPECT_EQ(e.rawName.find("src"), std::string::npos) << e.rawName;
    }
}

TEST(Zip, DebianUnzipAnd7zReadOurArchivesWithTheSameTree) {
    if (!HaveTool("unzip") || !HaveTool("7z")) GTEST_SKIP() << "unzip or 7z is not installed";
    TempDir t;
    MakeTree(t / "src");
    ASSERT_TRUE(ZipFolder(t.str("src"), t.str("a.zip")).ok);
    Shell("cd '" + t.str() + "' && LC_ALL=C.UTF-8 unzip -q a.zip -d by-unzip 2>&1");
    Shell("cd '" + t.str() + "' && LC_ALL=C.UTF-8 7z x -oby-7z a.zip >/dev/null 2>&1");
    EXPECT_EQ(Manifest(t / "src"), Manifest(t / "by-unzip"));
    EXPECT_EQ(Manifest(t / "src"), Manifest(t / "by-7z"));
    EXPECT_NE(Shell("cd '" + t.str() + "' && LC_ALL=C.UTF-8 unzip -tq a.zip").find("No errors"), std::string::npos);
}

TEST(Zip, ArchivesFrom7zAndFromChineseWindowsToolsExtractWithTheirNames) {
    TempDir t;
    if (HaveTool("7z")) {
        MakeTree(t / "src");
        Shell("cd '" + t.str("src") + "' && LC_ALL=C.UTF-8 7z a -tzip ../by7z.zip . >/dev/null 2>&1");
        ZipReport r = UnzipArchive(t.str("by7z.zip"), t.str("from7z"));
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(Manifest(t / "src"), Manifest(t / "from7z"));
    }
    // Without the UTF-8 flag, names are code page 936 bytes, as Chinese Windows writes them.
    WriteRawArchive(t / "cp936.zip", {{ToCodePage("资料/我的照片.txt", kChineseCodePage), "x"},
                                      {ToCodePage("收藏夹/", kChineseCodePage), ""}});
    ZipReport r = UnzipArchive(t.str("cp936.zip"), t.str("cp936"));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadFile(t / "cp936" / "资料" / "我的照片.txt"), "x");
    EXPECT_TRUE(fs::is_directory(t / "cp936" / "收藏夹"));
}

TEST(Zip, DecodesNamesByFlagUnicodeFieldOrCodePage936) {
    std::string gbk = ToCodePage("桌面", kChineseCodePage);
    EXPECT_EQ(DecodeEntryName("桌面", true), "桌面");
    EXPECT_EQ(DecodeEntryName(gbk, false), "桌面");
    EXPECT_EQ(DecodeEntryName(gbk, true), "桌面");  // a false flag over bytes that are not UTF-8
    EXPECT_EQ(DecodeEntryName("plain/name.txt", false), "plain/name.txt");
    // Info-ZIP's Unicode path field wins over the header's bytes when its CRC matches them.
    std::string header = "??.txt", utf8 = "中文.txt";
    uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size()));
    auto field = [&](uint32_t c) {
        std::string f = "\x75\x70";
        uint16_t size = static_cast<uint16_t>(5 + utf8.size());
        f += static_cast<char>(size & 0xFF);
        f += static_cast<char>(size >> 8);
        f += '\x01';
        for (int i = 0; i < 4; ++i) f += static_cast<char>((c >> (8 * i)) & 0xFF);
        return f + utf8;
    };
    EXPECT_EQ(DecodeEntryName(header, false, field(crc)), "中文.txt");
    EXPECT_EQ(DecodeEntryName(header, false, field(crc ^ 1)), "??.txt");           // the header was renamed since
    EXPECT_EQ(DecodeEntryName(header, false, field(crc).substr(0, 7)), "??.txt");  // a cut-off field
}

TEST(Zip, SafeEntryPathRefusesEveryWayOutOfTheDestination) {
    EXPECT_EQ(SafeEntryPath("a/b.txt"), "a/b.txt");
    EXPECT_EQ(SafeEntryPath("a\\b\\c.txt"), "a/b/c.txt");
    EXPECT_EQ(SafeEntryPath("./a//b/"), "a/b");
    EXPECT_EQ(SafeEntryPath("a/..b/c..d"), "a/..b/c..d");
    for (const char* hostile :
         {"../x", "a/../../x", "a/..", "..\\x", "/etc/x", "\\x", "//server/share/x", "C:/x", "c:x", "a/C:/x",
          "file.txt:stream", "a/. ./x", "a/.. /x", "a/.../x", "CON", "a/nul.txt", "com1", "LPT9.log"}) {
        EXPECT_FALSE(SafeEntryPath(hostile)) << hostile;
    }
    EXPECT_FALSE(SafeEntryPath(std::string("a\0b", 3)));
    EXPECT_EQ(SafeEntryPath("console.txt"), "console.txt");
    EXPECT_EQ(SafeEntryPath("COM10"), "COM10");
}

TEST(Zip, ZipSlipEntriesAreRefusedAndReportedWhileTheRestExtracts) {
    TempDir t;
    std::string outside = (t / "outside.txt").string();
    WriteRawArchive(t / "slip.zip", {{"../outside.txt", "bad"},
                                     {"sub/../../outside2.txt", "bad"},
                                     {outside, "bad"},
                                     {"C:/outside3.txt", "bad"},
                                     {"..\\outside4.txt", "bad"},
                                     {"good/fine.txt", "fine"}});
    ZipReport r = UnzipArchive(t.str("slip.zip"), t.str("dest"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.refused.size(), 5u);
    EXPECT_EQ(ReadFile(t / "dest" / "good" / "fine.txt"), "fine");
    std::vector<std::string> top;
    for (const auto& e : fs::directory_iterator(t / "")) top.push_back(e.path().filename().string());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"dest", "slip.zip"}));
    std::vector<std::string> inside;
    for (const auto& e : fs::recursive_directory_iterator(t / "dest")) inside.push_back(e.path().filename().string());
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(inside, (std::vector<std::string>{"fine.txt", "good"}));
}

// Overwrites the 4-byte "uncompressed size" of the first local header and central directory entry.
void ClaimSize(const fs::path& archive, uint32_t size) {
    std::string bytes = ReadFile(archive);
    size_t local = bytes.find("PK\x03\x04"), central = bytes.find("PK\x01\x02");
    ASSERT_NE(local, std::string::npos);
    ASSERT_NE(central, std::string::npos);
    for (int i = 0; i < 4; ++i) {
        bytes[local + 22 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        bytes[central + 24 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    }
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(Zip, EntriesThatLieAboutTheirSizeWriteNothing) {
    TempDir t;
    WriteRawArchive(t / "bomb.zip", {{"bomb.bin", std::string(1 << 20, '\0')}});
    ClaimSize(t / "bomb.zip", 0xFFFFFFF0u);  // 4 GB from about a kilobyte: more than deflate can expand
    ZipReport bomb = UnzipArchive(t.str("bomb.zip"), t.str("dest"));
    EXPECT_FALSE(bomb.ok);
    EXPECT_EQ(bomb.failed, std::vector<std::string>{"bomb.bin"});

    WriteRawArchive(t / "short.zip", {{"short.bin", TextLike(100000, 3)}});
    ClaimSize(t / "short.zip", 10);  // claims less than it holds: cut at 10 bytes, the CRC fails
    ZipReport cut = UnzipArchive(t.str("short.zip"), t.str("dest"));
    EXPECT_EQ(cut.failed, std::vector<std::string>{"short.bin"});

    // Claims more than its data gives: the data ends early, and minizip checks the CRC only once the
    // claimed size was read, so only the count of bytes written shows that the file came out short.
    WriteRawArchive(t / "long.zip", {{"long.bin", TextLike(100000, 3)}});
    ClaimSize(t / "long.zip", 150000);
    ZipReport missing = UnzipArchive(t.str("long.zip"), t.str("dest"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.failed, std::vector<std::string>{"long.bin"});
    EXPECT_TRUE(fs::is_empty(t / "dest"));
}

TEST(Zip, DamagedArchivesFailCleanlyAndKeepTheFilesTheyWouldReplace) {
    TempDir t;
    WriteFile(t / "src" / "a.txt", TextLike(200000, 4));
    WriteFile(t / "src" / "b.txt", "second");
    ASSERT_TRUE(ZipFolder(t.str("src"), t.str("a.zip")).ok);
    std::string good = ReadFile(t / "a.zip");

    std::ofstream(t / "cut.zip", std::ios::binary) << good.substr(0, good.size() * 6 / 10);
    ZipReport truncated = UnzipArchive(t.str("cut.zip"), t.str("dest1"));
    EXPECT_FALSE(truncated.ok);
    EXPECT_FALSE(truncated.error.empty());

    std::string damaged = good;
    for (size_t i = 2000; i < 2400; ++i) damaged[i] = static_cast<char>(i * 7);
    std::ofstream(t / "bad.zip", std::ios::binary) << damaged;
    WriteFile(t / "dest2" / "a.txt", "the user's own copy");
    ZipReport broken = UnzipArchive(t.str("bad.zip"), t.str("dest2"));
    EXPECT_EQ(broken.failed, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(ReadFile(t / "dest2" / "a.txt"), "the user's own copy");
    EXPECT_EQ(ReadFile(t / "dest2" / "b.txt"), "second");
    for (const auto& e : fs::directory_iterator(t / "dest2"))
        EXPECT_EQ(e.path().string().find("part"), std::string::npos) << e.path();

    std::ofstream(t / "notzip.zip", std::ios::binary) << "not an archive at all";
    EXPECT_FALSE(UnzipArchive(t.str("notzip.zip"), t.str("dest3")).error.empty());
    EXPECT_FALSE(UnzipArchive(t.str("missing.zip"), t.str("dest3")).error.empty());
}

TEST(Zip, ExtractionReplacesFilesOfTheSameNameEvenReadOnlyOnes) {
    TempDir t;
    WriteFile(t / "src" / "keep.txt", "new");
    WriteFile(t / "src" / "sub" / "ro.txt", "new too");
    ASSERT_TRUE(ZipFolder(t.str("src"), t.str("a.zip")).ok);
    WriteFile(t / "dest" / "keep.txt", "old and longer");
    WriteFile(t / "dest" / "sub" / "ro.txt", "old");
    WriteFile(t / "dest" / "other.txt", "untouched");
    fs::permissions(t / "dest" / "sub" / "ro.txt", fs::perms::owner_write, fs::perm_options::remove);
    ZipReport r = UnzipArchive(t.str("a.zip"), t.str("dest"));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadFile(t / "dest" / "keep.txt"), "new");
    EXPECT_EQ(ReadFile(t / "dest" / "sub" / "ro.txt"), "new too");
    EXPECT_EQ(ReadFile(t / "dest" / "other.txt"), "untouched");
}

TEST(Zip, EmptyFoldersMissingFoldersAndUnwritableArchives) {
    TempDir t;
    fs::create_directories(t / "empty");
    ZipReport empty = ZipFolder(t.str("empty"), t.str("empty.zip"));
    ASSERT_TRUE(empty.ok) << empty.error;
    ZipReport back = UnzipArchive(t.str("empty.zip"), t.str("empty-out"));
    EXPECT_TRUE(back.ok) << back.error;
    EXPECT_TRUE(fs::is_empty(t / "empty-out"));

    EXPECT_FALSE(ZipFolder(t.str("no-such-folder"), t.str("x.zip")).error.empty());
    EXPECT_FALSE(fs::exists(t / "x.zip"));
    EXPECT_FALSE(ZipFolder(t.str("empty"), t.str("no-such-folder/x.zip")).error.empty());
}

TEST(Zip, CancellingLeavesTheEarlierArchiveAndNoPartialFile) {
    TempDir t;
    WriteFile(t / "src" / "a.txt", TextLike(3 << 20, 5));
    WriteFile(t / "earlier.zip", "yesterday's archive");
    ZipReport r = ZipFolder(t.str("src"), t.str("earlier.zip"), [](int percent) { return percent >= 30 ? 1 : 0; });
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(ReadFile(t / "earlier.zip"), "yesterday's archive");
    EXPECT_EQ(std::distance(fs::directory_iterator(t / ""), fs::directory_iterator()), 2);

    ASSERT_TRUE(ZipFolder(t.str("src"), t.str("a.zip")).ok);
    ZipReport stopped = UnzipArchive(t.str("a.zip"), t.str("dest"), [](int percent) { return percent >= 30; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(fs::exists(t / "dest" / "a.txt"));
}

TEST(Zip, AStopIsHeardAfterEveryFileAndBuffer) {
    // All the bytes are in the first file: after it the percent stays at 100 through 300 empty files, and
    // a stop asked for meanwhile must still end the run there, not after the last file.
    TempDir t;
    WriteFile(t / "src" / "a.bin", TextLike(200000, 6));
    for (int i = 0; i < 300; ++i) WriteFile(t / "src" / ("f" + std::to_string(1000 + i)), "");
    int reports = 0;
    ZipReport r = ZipFolder(t.str("src"), t.str("a.zip"), [&reports](int) { return ++reports > 5 ? 1 : 0; });
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(fs::exists(t / "a.zip"));

    // Extraction reports per buffer: a stop during one large entry ends it before its end.
    WriteFile(t / "big" / "big.bin", RandomBytes(5 << 20, 7));
    ASSERT_TRUE(ZipFolder(t.str("big"), t.str("big.zip")).ok);
    reports = 0;
    ZipReport back = UnzipArchive(t.str("big.zip"), t.str("dest"), [&reports](int) { return ++reports > 2 ? 1 : 0; });
    EXPECT_TRUE(back.cancelled);
    EXPECT_FALSE(fs::exists(t / "dest" / "big.bin"));
}

TEST(Zip, AnUnreadableFileIsReportedAndTheRestIsArchived) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempDir t;
    WriteFile(t / "src" / "locked.dat", "secret");
    WriteFile(t / "src" / "open.txt", "fine");
    fs::permissions(t / "src" / "locked.dat", fs::perms::none);
    ZipReport r = ZipFolder(t.str("src"), t.str("a.zip"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failed, std::vector<std::string>{"locked.dat"});
    ASSERT_TRUE(UnzipArchive(t.str("a.zip"), t.str("dest")).ok);
    EXPECT_EQ(ReadFile(t / "dest" / "open.txt"), "fine");
}

}  // namespace
}  // namespace kx
