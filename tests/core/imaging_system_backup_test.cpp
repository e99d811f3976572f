#include <gtest/gtest.h>

#include "ImagingRig.h"

namespace kx::test {
namespace {

constexpr const char* kBackupOfC =
    "Ghost.exe -noide -nousb -clone,mode=pdump,src=1:1,dst=1:3\\C201571020656.gho -sure -fro -rb -z1\r\nrestart";

struct BackupRig : ImagingRig {
    BackupRig() {
        clock.now = {2015, 7, 10, 20, 6, 56};
        bootAssets.bytes[BootAsset::WindowsGhost] = "MZ ghost32";
        window.SetSelection(kBackupList, 0);
    }
};

TEST(DateTimeDigits, LeavesOutTheTrailingZeroPartsOfTheTime) {
    EXPECT_EQ(DateTimeDigits({2015, 7, 10, 20, 6, 56}), "201571020656");
    EXPECT_EQ(DateTimeDigits({2015, 7, 10, 20, 6, 0}), "2015710206");
    EXPECT_EQ(DateTimeDigits({2015, 7, 10, 20, 0, 0}), "201571020");
    EXPECT_EQ(DateTimeDigits({2015, 7, 10, 0, 0, 0}), "2015710");
    EXPECT_EQ(DateTimeDigits({2015, 12, 31, 0, 0, 5}), "20151231005");
}

TEST(BackupPage, ProposesAnImageOnTheDataPartitionWithMostRoomNotOnTheSavedOne) {
    BackupRig r;
    r.program.facts().targetDrive.Set("C");
    r.program.Dispatch(kBackupList, Event::SelectionChanged);
    EXPECT_EQ(r.window.Text("备份路径"), "E:\\C201571020656.gho");
    EXPECT_EQ(r.window.Text("提示标签1"), "把C盘的所有文件,备份到镜像文件 \"E:\\C201571020656.gho\"");
    r.window.SetSelection(kBackupList, 2);
    r.program.Dispatch(kBackupList, Event::SelectionChanged);
    EXPECT_EQ(r.window.Text("备份路径"), "D:\\E201571020656.gho");
}

TEST(BackupPage, WithoutAnotherDriveTheTargetOrTheSystemDriveIsProposed) {
    BackupRig r;
    ClearPartitions(r.program);
    r.program.Dispatch(kBackupList, Event::SelectionChanged);
    EXPECT_EQ(r.window.Text("备份路径"), "C:\\C201571020656.gho");
    r.program.facts().targetDrive.Set("D");
    r.program.Dispatch(kBackupList, Event::SelectionChanged);
    EXPECT_EQ(r.window.Text("备份路径"), "D:\\C201571020656.gho");
}

// The install's quick refresh replaces the listed partitions without drawing the backup list again: the
// backup list's selection still names the partition that list shows.
TEST(BackupPage, TheSelectionNamesTheRowTheBackupListShows) {
    BackupRig r;
    r.window.SetSelection(kBackupList, 2);  // E:
    ClearPartitions(r.program);
    r.program.Dispatch(kBackupList, Event::SelectionChanged);
    EXPECT_NE(r.window.Text("备份路径").find(":\\E201571020656.gho"), std::string::npos) << r.window.Text("备份路径");
}

TEST(BackupPage, TheSaveDialogSetsPathAndLabelAndACancelKeepsThem) {
    BackupRig r;
    r.window.SetText("备份路径", "E:\\before.gho");
    r.window.SetText("提示标签1", "before");
    r.program.Dispatch("操作映像_按钮1", Event::Click);
    ASSERT_EQ(r.fileDialog.requests.size(), 1u);
    EXPECT_TRUE(r.fileDialog.requests[0].save);
    EXPECT_EQ(r.fileDialog.requests[0].fileName, "C201571020656.gho");
    EXPECT_EQ(r.window.Text("备份路径"), "E:\\before.gho");
    EXPECT_EQ(r.window.Text("提示标签1"), "before");
    r.fileDialog.answer = "D:\\saved\\sys.gho";
    r.program.Dispatch("操作映像_按钮1", Event::Click);
    EXPECT_EQ(r.window.Text("备份路径"), "D:\\saved\\sys.gho");
    EXPECT_EQ(r.window.Text("提示标签1"), "把C盘的所有文件,备份到镜像文件 \"D:\\saved\\sys.gho\"");
}

TEST(BackupPage, BackupAtRestartTwiceLeavesOneVisibleJobAndOneEntry) {
    BackupRig r;
    ProposeBackupFileName(r.Context());
    BackupAtRestart(r.Context());
    BackupAtRestart(r.Context());
    EXPECT_EQ(r.Batch(), kBackupOfC);
    EXPECT_FALSE(r.bootFiles.files["C:\\Ghost.bat"].stamped) << "the job stays visible with its real dates";
    EXPECT_TRUE(r.bootFiles.files.count("C:\\otldr"));
    ASSERT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.bcd.entries[0].second, "备份系统");
    EXPECT_EQ(r.restart.Count(), 0u);
}

TEST(BackupPage, BackupNowStartsWindowsGhostThenCancelsThePreparedJob) {
    BackupRig r;
    ProposeBackupFileName(r.Context());
    BackupAtRestart(r.Context());
    BackupNow(r.Context());
    EXPECT_EQ(
        r.imageFiles.started,
        std::vector<std::string>{
            "C:\\ghost32.exe  -noide -nousb -clone,mode=pdump,src=1:1,dst=1:3\\C201571020656.gho -sure -fro -z1"});
    EXPECT_TRUE(r.bootFiles.files.count("C:\\ghost32.exe"));
    EXPECT_FALSE(r.bootFiles.files.count("C:\\Ghost.bat"));
    EXPECT_TRUE(r.bootFiles.files.count("C:\\Dorv.ima")) << "the boot files and the entry stay";
    EXPECT_EQ(r.bcd.entries.size(), 1u);
}

TEST(BackupPage, BackupNowKeepsThePreparedJobWhenWindowsGhostCannotRun) {
    for (bool carried : {true, false}) {
        BackupRig r;
        if (!carried) r.bootAssets.bytes.erase(BootAsset::WindowsGhost);
        r.imageFiles.failStart = carried;
        ProposeBackupFileName(r.Context());
        BackupAtRestart(r.Context());
        r.messages.shown.clear();
        BackupNow(r.Context());
        EXPECT_EQ(r.Batch(), kBackupOfC) << carried;
        ASSERT_EQ(r.messages.shown.size(), 1u) << carried;
        EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Error);
    }
}

TEST(BackupPage, EveryRefusalComesBeforeAnythingIsWritten) {
    const std::pair<const char*, std::function<void(BackupRig&)>> cases[] = {
        {"no source row", [](BackupRig& r) { r.window.SetSelection(kBackupList, -1); }},
        {"image on the saved partition", [](BackupRig& r) { r.window.SetText("备份路径", "C:\\C.gho"); }},
        {"drive not in the list", [](BackupRig& r) { r.window.SetText("备份路径", "G:\\C.gho"); }},
        {"removable drive", [](BackupRig& r) { r.AddStick('D'); }},
        {"Chinese path", [](BackupRig& r) { r.window.SetText("备份路径", "E:\\备份\\C.gho"); }},
        {"blank in path", [](BackupRig& r) { r.window.SetText("备份路径", "E:\\my backups\\C.gho"); }},
        {"no path", [](BackupRig& r) { r.window.SetText("备份路径", ""); }},
        {"a folder only", [](BackupRig& r) { r.window.SetText("备份路径", "E:\\"); }},
        {"overwrite declined", [](BackupRig& r) { r.imageFiles.Add("E:\\C.gho", kGiB); }},
    };
    for (const auto& [name, arrange] : cases) {
        for (bool now : {true, false}) {
            BackupRig r;
            r.window.SetText("备份路径", "E:\\C.gho");
            if (std::string(name) == "removable drive") r.window.SetText("备份路径", "D:\\C.gho");
            arrange(r);
            r.messages.answer = MessageAnswer::No;
            if (now)
                BackupNow(r.Context());
            else
                BackupAtRestart(r.Context());
            EXPECT_EQ(r.messages.shown.size(), 1u) << name;
            EXPECT_TRUE(r.NothingWritten()) << name;
            EXPECT_TRUE(r.imageFiles.started.empty()) << name;
        }
    }
}

TEST(BackupPage, BackupAtRestartRefusesWhatTheBootEnvironmentCannotRun) {
    BackupRig r;
    r.dosImage = DosImageKind::Diagnostic;
    r.window.SetText("备份路径", "E:\\C.gho");
    BackupAtRestart(r.Context());
    EXPECT_NE(r.LastMessage().find("没有带 DOS 版 Ghost"), std::string::npos);
    EXPECT_TRUE(r.NothingWritten());
}

}  // namespace
}  // namespace kx::test
