// The disk inventory with its Windows ports: drive queries, WMI, and the diskpart refreshes run through
// the command runner against the diskpart test double (tests/doubles), which prints recorded outputs.
#include <gtest/gtest.h>

#include <windows.h>
#include "WinFiles.h"

#include <algorithm>

#include "../core/ProgramRig.h"
#include "app/Handlers.h"
#include "disk/DiskPorts_win.h"
#include "disk/Diskpart.h"
#include "disk/DriveRecord.h"
#include "disk/PartitionList.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

using test::ReadAll;

// Wine's cmd.exe does not pipe a parenthesised block: "(echo list volume)|diskpart" prints the echo and
// gives diskpart an empty input, where Windows pipes it. The tests hand Wine the unbracketed form, which
// Windows treats the same; the program itself keeps its command line (checked below).
class WineCommands : public WindowsCommands {
public:
    Result<std::string> RunCommandCaptured(const std::string& commandLine) override {
        return WindowsCommands::RunCommandCaptured(ForWine(commandLine));
    }
    std::string ForWine(const std::string& commandLine) {
        ran.push_back(commandLine);
        std::string line = commandLine == kVolumeListCommand ? "echo list volume|diskpart" : commandLine;
        // A prefix may hold the double in its system folder (the program scenarios put it there), so a
        // missing diskpart is played by a name that exists nowhere.
        if (missingTool) line.replace(line.find("diskpart"), 8, "kx_no_such_diskpart");
        return line;
    }
    std::vector<std::string> ran;
    bool missingTool = false;
};

// WMI of the test prefix counts its own disks; the recordings have two.
class TwoDiskDrives : public WindowsDrives {
public:
    Result<int> CountPhysicalDisks() override { return 2; }
};

// A program whose diskpart is the double, answering from one recorded case, in a folder of its own.
class DiskpartDouble : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"kx-inventory-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, previousDirectory_);
        SetCurrentDirectoryW(folder_.c_str());
        wchar_t path[8192];
        GetEnvironmentVariableW(L"PATH", path, 8192);
        previousPath_ = path;
        SetEnvironmentVariableW(L"PATH", (ProgramFolder() + L"doubles;" + previousPath_).c_str());
        log_ = folder_ + L"\\diskpart.log";
        SetEnvironmentVariableW(L"KORVANIX_DISKPART_LOG", log_.c_str());
        rig_.program.ports().drives = &drives_;
        rig_.program.ports().commands = &commands_;
        rig_.program.facts().systemDriveLetter = "C";
    }
    void TearDown() override {
        rig_.program.state().disk.imageSearch.Stop();
        SetEnvironmentVariableW(L"PATH", previousPath_.c_str());
        SetEnvironmentVariableW(L"KORVANIX_DISKPART_CASE", nullptr);
        SetEnvironmentVariableW(L"KORVANIX_DISKPART_LOG", nullptr);
        SetCurrentDirectoryW(previousDirectory_);
        DeleteFileW(log_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    void UseCase(const char* name) {
        SetEnvironmentVariableW(L"KORVANIX_DISKPART_CASE",
                                Widen(std::string(KX_TEST_DATA "/diskpart/") + name).c_str());
    }
    std::vector<std::string> Rows(Control list) {
        std::vector<std::string> rows;
        for (int r = 0; r < rig_.window.RowCount(list); ++r)
            rows.push_back(rig_.window.Cell(list, r, 0) + " " + rig_.window.Cell(list, r, 1));
        return rows;
    }

    test::Rig rig_;
    TwoDiskDrives drives_;
    WineCommands commands_;
    std::wstring folder_, log_, previousPath_;
    wchar_t previousDirectory_[MAX_PATH] = {};
};

using Strings = std::vector<std::string>;

TEST_F(DiskpartDouble, FullRefreshOfAChineseTwoDiskMachine) {
    UseCase("zh-win7");
    rig_.program.Dispatch("刷新硬盘映像_按钮", Event::Click);
    rig_.program.state().disk.imageSearch.Wait();
    EXPECT_EQ(Rows(kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 2:1"}));
    EXPECT_EQ(Rows(kBackupList), Rows(kRestoreList));
    EXPECT_EQ(rig_.window.Selection(kBackupList), 0);
    EXPECT_EQ(rig_.window.Cell(kRestoreList, 0, 7), "是");
    EXPECT_EQ(rig_.window.Cell(kRestoreList, 0, 2), "硬盘驱动器");
    std::string log = ReadAll(log_);
    EXPECT_NE(log.find("script: select disk 0\r\ndetail disk\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("script: select disk 1\r\ndetail disk\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("asked: 0@kxdisk1.txt"), std::string::npos) << log;
    EXPECT_NE(log.find("asked: 1@kxdisk1.txt"), std::string::npos) << log;
    EXPECT_EQ(GetFileAttributesW((folder_ + L"\\kxdisk1.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DiskpartDouble, VolumeListsInBothLanguages) {
    UseCase("en-win7");
    rig_.program.Dispatch("按钮2", Event::Click);
    rig_.program.state().disk.imageSearch.Wait();
    EXPECT_EQ(Rows(kRestoreList), (Strings{"C: 1:2", "E: 1:3", "G: 1:4"}));
    EXPECT_NE(ReadAll(log_).find("stdin: list volume"), std::string::npos);
    EXPECT_EQ(commands_.ran, (Strings{"(echo list volume)|diskpart"}));

    UseCase("zh-xp");
    ASSERT_TRUE(RefreshByDiskDetail(rig_.program.Disk(), false).ok());
    EXPECT_EQ(Rows(kRestoreList), (Strings{"C: 1:1", "D: 1:2"})) << "the second disk is unknown to diskpart";
    EXPECT_NE(ReadAll(log_).find("asked: 1@kxdisk1.txt"), std::string::npos) << "a script of its own";
    EXPECT_EQ(GetFileAttributesW((folder_ + L"\\kxdisk1.txt").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the quick refresh deletes its script too";
}

TEST_F(DiskpartDouble, MissingDiskpartListsNothing) {
    commands_.missingTool = true;
    rig_.program.Dispatch("按钮2", Event::Click);
    rig_.program.state().disk.imageSearch.Wait();
    (void)DrawImageSearch(rig_.program.Imaging());  // as the start-up timer draws it
    EXPECT_EQ(rig_.window.RowCount(kRestoreList), 0);
    EXPECT_TRUE(rig_.window.Enabled("刷新硬盘映像_按钮"));
}

TEST(Drives, QueriesOfThePrefixDrives) {
    WindowsDrives drives;
    EXPECT_EQ(drives.WindowsDirectory().substr(1), ":\\windows");
    EXPECT_EQ(drives.DriveType('C'), 3);
    VolumeFacts c = drives.Volume('C');
    EXPECT_TRUE(c.ok);
    EXPECT_FALSE(c.fileSystem.empty());
    SpaceFacts s = drives.Space('C');
    EXPECT_TRUE(s.ok);
    EXPECT_GT(s.total, 0u);
    EXPECT_LE(s.availableToCaller, s.total);
    const Result<int> disks = drives.CountPhysicalDisks();
    ASSERT_TRUE(disks.ok()) << disks.outcome().Describe();
    EXPECT_GE(disks.value(), 1) << "WMI's Win32_DiskDrive";
    // A letter with nothing behind it.
    char none = 0;
    for (char l = 'Z'; l > 'C' && !none; --l)
        if (drives.DriveType(l) == 1) none = l;
    ASSERT_NE(none, 0);
    EXPECT_FALSE(drives.Volume(none).ok);
    EXPECT_FALSE(drives.Space(none).ok);
}

TEST(Drives, RecordsOfMappedLettersOfEachType) {
    // tests/win/drives.sh maps P: fixed (labelled 数据盘), Q: removable, R: CD-ROM, S: network.
    if (GetEnvironmentVariableW(L"KX_MAPPED_DRIVES", nullptr, 0) == 0) GTEST_SKIP() << "run by tests/win/drives.sh";
    WindowsDrives drives;
    std::string system = GetSystemDriveLetter(drives);
    DriveRecord p = MakeDriveRecord(drives, "P", "1:3", system);
    EXPECT_EQ(p.cells[2], "硬盘驱动器");
    EXPECT_EQ(p.cells[3], "数据盘");
    EXPECT_EQ(p.cells[7], "否");
    EXPECT_EQ(p.icon, 1);
    ASSERT_GT(p.cells[6].size(), 3u);
    EXPECT_EQ(p.cells[6].substr(p.cells[6].size() - 3), " GB");
    EXPECT_GT(std::stod(p.cells[6]), 0);
    EXPECT_GE(std::stod(p.cells[6]), std::stod(p.cells[5])) << "used is total minus whole free gigabytes";
    EXPECT_EQ(MakeDriveRecord(drives, "Q", "1:4", system).cells[2], "可移动驱动器");
    EXPECT_EQ(MakeDriveRecord(drives, "R", "1:5", system).cells[2], "光盘驱动器");
    EXPECT_EQ(MakeDriveRecord(drives, "S", "1:6", system).cells[2], "网络驱动器");
    DriveRecord c = MakeDriveRecord(drives, system, "1:1", system);
    EXPECT_EQ(c.cells[7], "是");
    EXPECT_EQ(c.icon, 0);

    std::vector<std::string> fixed = DriveLettersOfType(drives, 3);
    EXPECT_NE(std::find(fixed.begin(), fixed.end(), "P:"), fixed.end());
    EXPECT_EQ(std::find(fixed.begin(), fixed.end(), "Q:"), fixed.end()) << "removable drives are never fixed";
}

}  // namespace
}  // namespace kx
