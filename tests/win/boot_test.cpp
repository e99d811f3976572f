// Boot deployment against Wine's Win32: the assets from the program's resources written to a drive,
// hidden and stamped; Ghost.bat; boot.ini; and, with the Windows version set by the runner
// (tests/boot/wine-version.sh), the boot entry through the bcdedit double.
#include <windows.h>

#include <gtest/gtest.h>

#include "WinFiles.h"

#include <cstdio>
#include <string>

#include "boot/BootAssets.h"
#include "boot/BootFiles_win.h"
#include "boot/BootMenu.h"
#include "boot/GhostBatch.h"
#include "platform/CommandRunner_win.h"
#include "platform/WindowsInfo_win.h"
#include "text/Text.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::string Environment(const char* name) {
    char value[1024] = {0};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

std::string ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string p = Narrow(std::wstring(path, n));
    return p.substr(0, p.find_last_of("\\/") + 1);
}

using test::ReadAll;

void WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

uint64_t WriteTime(const std::string& path, int which) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    const FILETIME& t = which == 0 ? data.ftCreationTime : which == 1 ? data.ftLastAccessTime : data.ftLastWriteTime;
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

uint64_t StampTime() {
    SYSTEMTIME s{};
    s.wYear = 2010, s.wMonth = 2, s.wDay = 2, s.wHour = 20, s.wMinute = 5, s.wSecond = 6;
    FILETIME t;
    SystemTimeToFileTime(&s, &t);
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

bool ProbeFinds(const std::string& path) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Widen(path + "\\nul").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return true;
}

// The drive that tests/boot/wine-version.sh maps to a fresh temporary folder (KORVANIX_BOOT_DRIVE):
// a system drive other than C:. Emptied before and after each test.
class TempDrive {
public:
    TempDrive() : letter_(Environment("KORVANIX_BOOT_DRIVE").substr(0, 1)) {
        mapped_ = !letter_.empty() && GetFileAttributesW(Widen(letter_ + ":\\").c_str()) != INVALID_FILE_ATTRIBUTES;
        if (mapped_) Clear(letter_ + ":");
    }
    ~TempDrive() {
        if (mapped_) Clear(letter_ + ":");
    }
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;
    bool mapped() const { return mapped_; }
    const std::string& letter() const { return letter_; }
    std::string Path(const std::string& name) const { return letter_ + ":\\" + name; }

private:
    static void Clear(const std::string& folder) {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW(Widen(folder + "\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return;
        do {
            const std::string name = Narrow(found.cFileName);
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                Clear(path);
                RemoveDirectoryW(Widen(path).c_str());
            } else {
                DeleteFileW(Widen(path).c_str());
            }
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }

    std::string letter_;
    bool mapped_ = false;
};

#define REQUIRE_DRIVE(drive) \
    if (!(drive).mapped()) GTEST_SKIP() << "no test drive: run through tests/boot/wine-version.sh"

struct GhostToo : BootAssetSource {
    ResourceBootAssets resources;
    std::string_view Bytes(BootAsset asset) override {
        return asset == BootAsset::WindowsGhost ? std::string_view("MZ windows ghost") : resources.Bytes(asset);
    }
};

struct WinRig {
    WindowsCommands commands;
    WindowsSystem system;
    BootFilesWin files;
    ResourceBootAssets assets;
    std::string systemDrive = "C";
};

#define EXPECT_DONE(outcome)                         \
    do {                                             \
        const Outcome done_ = (outcome);             \
        EXPECT_TRUE(done_.ok()) << done_.Describe(); \
    } while (0)

TEST(BootResources, TheProgramCarriesTheThreeAssets) {
    ResourceBootAssets assets;
    const std::string_view helper = assets.Bytes(BootAsset::Helper);
    ASSERT_EQ(helper.size(), 8192u);
    EXPECT_EQ(static_cast<unsigned char>(helper[510]), 0x55);
    EXPECT_EQ(static_cast<unsigned char>(helper[511]), 0xAA);
    EXPECT_GT(assets.Bytes(BootAsset::Loader).size(), 100000u);
    const std::string_view image = assets.Bytes(BootAsset::DosImage);
    ASSERT_GE(image.size(), 512u);
    EXPECT_EQ(image.substr(54, 8), "FAT12   ");
    EXPECT_EQ(assets.Bytes(BootAsset::WindowsGhost).empty(), !CarriesWindowsGhost());
}

TEST(BootDeploy, TwiceLeavesTheSameHiddenStampedFiles) {
    TempDrive drive;
    REQUIRE_DRIVE(drive);
    WinRig rig;
    EXPECT_DONE(DeployBootAssets(rig.files, rig.assets, drive.letter()));
    for (int run = 0; run < 2; ++run) {
        for (const auto& [asset, name] :
             {std::pair{BootAsset::Helper, kHelperFile}, std::pair{BootAsset::Loader, kLoaderFile},
              std::pair{BootAsset::DosImage, kDosImageFile}}) {
            const std::string path = drive.Path(name);
            EXPECT_EQ(ReadAll(path), rig.assets.Bytes(asset)) << path << " run " << run;
            const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
            EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << path;
            if (ProbeFinds(path)) {
                for (int which = 0; which < 3; ++which) EXPECT_EQ(WriteTime(path, which), StampTime()) << path;
            } else {
                EXPECT_NE(WriteTime(path, 2), StampTime()) << path;
            }
        }
        // The second run meets its own hidden files, which Windows refuses to create over: their
        // attributes are cleared first, and the repeat succeeds with the same bytes, hidden and stamped.
        if (run == 0) EXPECT_DONE(DeployBootAssets(rig.files, rig.assets, drive.letter()));
    }
}

TEST(BootDeploy, StampSetsTheTimesWhereTheProbeFindsTheFile) {
    TempDrive drive;
    REQUIRE_DRIVE(drive);
    BootFilesWin files;
    const std::string path = drive.Path("stamp.txt");
    WriteAll(path, "x");
    SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    const bool probe = ProbeFinds(path);
    std::printf("the \\nul probe %s a file here\n", probe ? "finds" : "does not find");
    EXPECT_EQ(files.StampBootFile(path).ok(), probe);
    EXPECT_EQ(GetFileAttributesW(Widen(path).c_str()),
              DWORD(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(WriteTime(path, 2) == StampTime(), probe);
    const Outcome missing = files.StampBootFile(drive.Path("missing.txt"));
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().call, "FindFirstFileW");

    // The probe finds a folder's "nul" on every Windows, so a folder shows the time stamps being set.
    const std::string folder = drive.Path("folder");
    ASSERT_TRUE(CreateDirectoryW(Widen(folder).c_str(), nullptr));
    ASSERT_TRUE(ProbeFinds(folder));
    EXPECT_DONE(files.StampBootFile(folder));
    EXPECT_TRUE(GetFileAttributesW(Widen(folder).c_str()) & FILE_ATTRIBUTE_HIDDEN);
    for (int which = 0; which < 3; ++which) EXPECT_EQ(WriteTime(folder, which), StampTime()) << which;
}

TEST(BootDeploy, SystemDriveOtherThanCGetsTheAssetsAndCTheWindowsGhost) {
    TempDrive drive;
    REQUIRE_DRIVE(drive);
    WinRig rig;
    GhostToo assets;
    EXPECT_DONE(DeployBootAssets(rig.files, assets, drive.letter()));
    EXPECT_EQ(ReadAll(drive.Path(kDosImageFile)).size(), assets.Bytes(BootAsset::DosImage).size());

    const std::string ghost = kWindowsGhostPath;
    const std::string before = ReadAll(ghost);
    EXPECT_DONE(WriteWindowsGhost(rig.files, assets));
    EXPECT_EQ(ReadAll(ghost), "MZ windows ghost");
    EXPECT_TRUE(ReadAll(drive.Path("ghost32.exe")).empty());
    if (before.empty()) DeleteFileW(Widen(ghost).c_str());
}

TEST(BootDeploy, TheSavedBootIniGoesBackInOneStepAndJobsAreDatedAgainstTheStart) {
    TempDrive drive;
    REQUIRE_DRIVE(drive);
    BootFilesWin files;
    // boot.in_ as CopyFileW made it from an XP boot.ini (hidden, system, read-only) over the changed boot.ini.
    WriteAll(drive.Path("boot.in_"), "original");
    SetFileAttributesW(Widen(drive.Path("boot.in_")).c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    WriteAll(drive.Path("boot.ini"), "changed");
    EXPECT_DONE(files.MoveReplacing(drive.Path("boot.in_"), drive.Path("boot.ini")));
    EXPECT_EQ(ReadAll(drive.Path("boot.ini")), "original");
    EXPECT_EQ(GetFileAttributesW(Widen(drive.Path("boot.ini")).c_str()) & 0x07, DWORD(0x07));
    EXPECT_EQ(GetFileAttributesW(Widen(drive.Path("boot.in_")).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(files.MoveReplacing(drive.Path("boot.in_"), drive.Path("boot.ini")).ok());
    EXPECT_EQ(ReadAll(drive.Path("boot.ini")), "original");

    // A job written now waits for the restart; one dated before Windows started is left over.
    const std::string job = drive.Path("KORVANIX.JOB");
    WriteAll(job, "korvanix-job 1\n");
    auto fresh = files.WrittenSinceWindowsStarted(job);
    ASSERT_TRUE(fresh.ok()) << fresh.outcome().Describe();
    EXPECT_TRUE(fresh.value());
    HANDLE h = CreateFileW(Widen(job).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SYSTEMTIME old{};
    old.wYear = 2020, old.wMonth = 1, old.wDay = 2;
    FILETIME t;
    SystemTimeToFileTime(&old, &t);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
    CloseHandle(h);
    fresh = files.WrittenSinceWindowsStarted(job);
    ASSERT_TRUE(fresh.ok()) << fresh.outcome().Describe();
    EXPECT_FALSE(fresh.value());
    EXPECT_FALSE(files.WrittenSinceWindowsStarted(drive.Path("missing.job")).ok());
}

TEST(BootGhostBatch, HoldsTheLastJobInCodePage936) {
    TempDrive drive;
    REQUIRE_DRIVE(drive);
    WinRig rig;
    EXPECT_DONE(WriteGhostBatch(rig.files, drive.letter(), GhostRestoreJob("1:3\\系统\\vx_a.gho", "1", "1:1"), true));
    EXPECT_TRUE(GetFileAttributesW(Widen(drive.Path("Ghost.bat")).c_str()) & FILE_ATTRIBUTE_HIDDEN);
    const std::string job = GhostBackupJob("1:1", "1:3\\备份\\b.gho");
    EXPECT_DONE(WriteGhostBatch(rig.files, drive.letter(), job, false));
    EXPECT_EQ(ReadAll(drive.Path("Ghost.bat")), ToCodePage(job, kChineseCodePage));
    EXPECT_NE(ReadAll(drive.Path("Ghost.bat")).find("\xB1\xB8\xB7\xDD"), std::string::npos);  // 备份 in 936
}

// boot.ini as Windows XP keeps it: hidden, system, read-only, ANSI.
void MakeBootIni(const TempDrive& drive) {
    WriteAll(drive.Path("boot.ini"),
             "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
             "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP\" "
             "/fastdetect\r\n");
    SetFileAttributesW(Widen(drive.Path("boot.ini")).c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
}

TEST(BootIni, KeepsTheOriginalAndMakesTheHelperTheDefault) {
    TempDrive drive;
    REQUIRE_DRIVE(drive);
    MakeBootIni(drive);
    const std::string original = ReadAll(drive.Path("boot.ini"));
    WinRig rig;
    EXPECT_DONE(RegisterBootIniEntry(rig.files, drive.letter(), "安装系统"));
    EXPECT_DONE(RegisterBootIniEntry(rig.files, drive.letter(), "备份系统"));

    EXPECT_EQ(GetFileAttributesW(Widen(drive.Path("boot.ini")).c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(ReadAll(drive.Path("boot.in_")), original);
    const std::string ini = FromCodePage(ReadAll(drive.Path("boot.ini")), kChineseCodePage);
    EXPECT_NE(ini.find("default=Q:\\qzrpldr.mbr"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("default=multi"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Q:\\qzrpldr.mbr=备份系统"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("安装系统"), std::string::npos) << ini;  // one entry line, retitled
    EXPECT_NE(ini.find("\"Microsoft Windows XP\" /fastdetect"), std::string::npos) << ini;

    // Taken back: the original, as XP keeps it, and no copy left.
    EXPECT_DONE(RemoveBootEntry(rig.commands, rig.files, drive.letter()));
    EXPECT_EQ(ReadAll(drive.Path("boot.ini")), original);
    EXPECT_EQ(GetFileAttributesW(Widen(drive.Path("boot.ini")).c_str()) & 0x07, DWORD(0x07));
    EXPECT_EQ(GetFileAttributesW(Widen(drive.Path("boot.in_")).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Run by tests/boot/wine-version.sh with the prefix set to the version in KORVANIX_BOOT_VERSION.
class BootVersion : public ::testing::Test {
protected:
    void SetUp() override {
        version_ = Environment("KORVANIX_BOOT_VERSION");
        if (version_.empty()) GTEST_SKIP() << "run by wine-version.sh with a Windows version";
        ASSERT_EQ(GetWindowsVersionName(), version_);
        // The bcdedit double comes first on the path of the commands this process starts.
        const std::string doubles = ProgramFolder() + "doubles";
        SetEnvironmentVariableA("PATH", (doubles + ";" + Environment("PATH")).c_str());
        SetEnvironmentVariableA("KORVANIX_BCDEDIT_STORE", (store_ = drive_.Path("store.txt")).c_str());
        SetEnvironmentVariableA("KORVANIX_BCDEDIT_LOG", (log_ = drive_.Path("bcdedit.log")).c_str());
        rig_.systemDrive = drive_.letter();
    }
    std::string Log() { return ReadAll(log_); }

    TempDrive drive_;
    WinRig rig_;
    std::string version_, store_, log_;
};

TEST_F(BootVersion, EntryThroughTheBranchOfThisWindows) {
    REQUIRE_DRIVE(drive_);
    MakeBootIni(drive_);
    const Outcome outcome = RegisterBootEntry(rig_.system, rig_.commands, rig_.files, rig_.systemDrive, "安装系统");
    EXPECT_EQ(outcome.ok(), version_ == "WinXP" || version_ == "Win7" || version_ == "Win8") << outcome.Describe();
    if (version_ == "WinXP") {
        EXPECT_TRUE(Log().empty());
        EXPECT_NE(FromCodePage(ReadAll(drive_.Path("boot.ini")), kChineseCodePage).find("Q:\\qzrpldr.mbr=安装系统"),
                  std::string::npos);
        EXPECT_TRUE(ReadAll(drive_.Path("boot.in_")).size() > 0);
        return;
    }
    if (version_ != "Win7" && version_ != "Win8") {
        EXPECT_TRUE(Log().empty());
        EXPECT_TRUE(ReadAll(drive_.Path("boot.in_")).empty());
        EXPECT_EQ(GetFileAttributesW(Widen(drive_.Path("boot.ini")).c_str()) & FILE_ATTRIBUTE_HIDDEN,
                  DWORD(FILE_ATTRIBUTE_HIDDEN));
        return;
    }
    const std::string id = "{4b52564e-0000-4000-8000-000000000001}";
    EXPECT_EQ(Log(),
              "bcdedit\n"
              "bcdedit /create /d 安装系统 /application bootsector\n"
              "bcdedit /set " +
                  id +
                  " device partition=Q:\n"
                  "bcdedit /set " +
                  id +
                  " path \\qzrpldr.mbr\n"
                  "bcdedit /displayorder " +
                  id +
                  " /addlast\n"
                  "bcdedit /bootsequence " +
                  id +
                  "\n"
                  "bcdedit /timeout 25\n");
    EXPECT_TRUE(ReadAll(drive_.Path("boot.in_")).empty());  // boot.ini is not touched here

    // Again: no second entry, and the entry starts once more.
    DeleteFileW(Widen(log_).c_str());
    EXPECT_DONE(RegisterBcdEntry(rig_.commands, rig_.files, rig_.systemDrive, "安装系统"));
    EXPECT_EQ(Log(), "bcdedit\nbcdedit /bootsequence " + id + "\n");

    // Another title: a second entry, started next.
    DeleteFileW(Widen(log_).c_str());
    EXPECT_DONE(RegisterBcdEntry(rig_.commands, rig_.files, rig_.systemDrive, "备份系统"));
    const std::string second = "{4b52564e-0000-4000-8000-000000000002}";
    EXPECT_NE(Log().find("bcdedit /bootsequence " + second + "\n"), std::string::npos) << Log();
    const std::string listing = RunCommandCaptured("bcdedit");
    EXPECT_NE(listing.find("bootsequence            " + second), std::string::npos) << listing;
    EXPECT_NE(listing.find("备份系统"), std::string::npos) << listing;
}

// The job's entry taken back (after the job, or when it is cancelled): the boot store, listed and as the double
// keeps it, and boot.ini are as they were before, whether the store had a time-out or none.
TEST_F(BootVersion, TakenBackTheBootConfigurationIsAsBefore) {
    REQUIRE_DRIVE(drive_);
    const bool bcd = version_ == "Win7" || version_ == "Win8";
    for (const bool withTimeout : {true, false}) {
        SCOPED_TRACE(withTimeout ? "a time-out of 30, Chinese bcdedit" : "no time-out, English bcdedit");
        SetEnvironmentVariableA("KORVANIX_BCDEDIT_LANG", withTimeout ? nullptr : "en");
        DeleteFileW(Widen(log_).c_str());
        if (withTimeout)
            DeleteFileW(Widen(store_).c_str());  // made anew by the double's first listing
        else
            WriteAll(store_, "timeout \ndefault {current}\ndisplay {current}\n");
        MakeBootIni(drive_);
        const std::string ini = ReadAll(drive_.Path("boot.ini"));
        const DWORD iniAttributes = GetFileAttributesW(Widen(drive_.Path("boot.ini")).c_str());
        const std::string listing = RunCommandCaptured("bcdedit");
        const std::string store = ReadAll(store_);
        ASSERT_FALSE(store.empty());
        ASSERT_EQ(listing.find("timeout") != std::string::npos, withTimeout) << listing;

        const Outcome staged = RegisterBootEntry(rig_.system, rig_.commands, rig_.files, rig_.systemDrive, "安装系统");
        EXPECT_EQ(staged.ok(), bcd || version_ == "WinXP") << staged.Describe();
        if (bcd) {
            EXPECT_DONE(RegisterBcdEntry(rig_.commands, rig_.files, rig_.systemDrive, "备份系统"));
            EXPECT_NE(RunCommandCaptured("bcdedit").find("timeout                 25"), std::string::npos);
            EXPECT_NE(ReadAll(drive_.Path("KORVANIX.BCD")).find(withTimeout ? "timeout=30\n" : "timeout=\n"),
                      std::string::npos);
        }
        EXPECT_DONE(RemoveBootEntry(rig_.commands, rig_.files, rig_.systemDrive));

        EXPECT_EQ(ReadAll(store_), store);
        EXPECT_EQ(RunCommandCaptured("bcdedit"), listing);
        EXPECT_EQ(ReadAll(drive_.Path("boot.ini")), ini);
        EXPECT_EQ(GetFileAttributesW(Widen(drive_.Path("boot.ini")).c_str()), iniAttributes);
        EXPECT_EQ(GetFileAttributesW(Widen(drive_.Path("boot.in_")).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetFileAttributesW(Widen(drive_.Path("KORVANIX.BCD")).c_str()), INVALID_FILE_ATTRIBUTES);
        if (bcd) {
            const std::string first = "{4b52564e-0000-4000-8000-000000000001}";
            const std::string second = "{4b52564e-0000-4000-8000-000000000002}";
            const std::string restored =
                withTimeout ? "bcdedit /timeout 30\n" : "bcdedit /deletevalue {bootmgr} timeout\n";
            EXPECT_NE(Log().find("bcdedit /delete " + first + "\nbcdedit /delete " + second + "\n" + restored),
                      std::string::npos)
                << Log();
        }
        SetFileAttributesW(Widen(drive_.Path("boot.ini")).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SetEnvironmentVariableA("KORVANIX_BCDEDIT_LANG", nullptr);
}

}  // namespace
}  // namespace kx
