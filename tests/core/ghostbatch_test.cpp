#include <gtest/gtest.h>

#include "BootFakes.h"
#include "boot/GhostBatch.h"
#include "text/Text.h"

namespace kx::test {
namespace {

TEST(GhostJobs, RestoreAndBackupLinesAsGhostReadsThem) {
    EXPECT_EQ(GhostRestoreJob("1:2\\sys\\a.gho", "1", "1:1"),
              "Ghost.exe -noide -nousb -clone,mode=pload,src=1:2\\sys\\a.gho:1,dst=1:1 -sure -rb\r\nrestart");
    EXPECT_EQ(GhostBackupJob("1:1", "1:2\\qzrpgho\\a.gho"),
              "Ghost.exe -noide -nousb -clone,mode=pdump,src=1:1,dst=1:2\\qzrpgho\\a.gho -sure -fro -rb -z1"
              "\r\nrestart");
    // A value that itself holds "%s" is not formatted again.
    EXPECT_EQ(FormatLine("a%sb%sc", {"%s", "x"}), "a%sbxc");
    EXPECT_EQ(FormatLine("a%sb%s", {"1"}), "a1b%s");
}

TEST(GhostJobs, WindowsCommandLineIsOneLineWithoutDosParts) {
    const std::string line = WindowsGhostCommandLine("1:1", "1:2\\qzrpgho\\a.gho");
    EXPECT_EQ(line, "C:\\ghost32.exe  -noide -nousb -clone,mode=pdump,src=1:1,dst=1:2\\qzrpgho\\a.gho -sure -fro -z1");
    EXPECT_EQ(line.find("Ghost.exe"), std::string::npos);
    EXPECT_EQ(line.find(" -rb"), std::string::npos);
    EXPECT_EQ(line.find("restart"), std::string::npos);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
}

TEST(Designators, LookupsWalkTheRestoreListFromTheTop) {
    BootRig rig;
    rig.AddPartition("C:", "1:1");
    rig.AddPartition("E:", "1:3");
    rig.AddPartition("E:", "2:1");  // a duplicate letter: the first row wins
    const PartitionRows& p = rig.rows;
    EXPECT_EQ(DesignatorOfDrive(p, "e"), "1:3");
    EXPECT_EQ(DesignatorOfDrive(p, "C"), "1:1");
    EXPECT_EQ(DesignatorOfDrive(p, "Z"), "0:0");
    EXPECT_EQ(DriveOfDesignator(p, "1:3"), "E");
    EXPECT_EQ(DriveOfDesignator(p, "2:1"), "E");
    EXPECT_EQ(DriveOfDesignator(p, "9:9"), "C");
}

TEST(Designators, GhostPaths) {
    BootRig rig;
    EXPECT_EQ(ToGhostPath(rig.rows, "D:\\sys\\a.gho"), "0:0\\sys\\a.gho");  // empty list
    rig.AddPartition("E:", "1:3");
    rig.AddPartition("D:", "1:2");
    EXPECT_EQ(ToGhostPath(rig.rows, "e:\\img\\x.gho"), "1:3\\img\\x.gho");
    EXPECT_EQ(ToGhostPath(rig.rows, "D:\\sys\\a.gho"), "1:2\\sys\\a.gho");
    EXPECT_EQ(ToGhostPath(rig.rows, ""), "0:0");
    EXPECT_EQ(ToGhostPath(rig.rows, "D"), "1:2");
}

TEST(Designators, FolderOfPath) {
    EXPECT_EQ(FolderOfPath("E:\\qzrpgho\\a.gho"), "E:\\qzrpgho\\");
    EXPECT_EQ(FolderOfPath("E:\\a.gho"), "E:\\");
    EXPECT_EQ(FolderOfPath("a.gho"), "");
    EXPECT_EQ(FolderOfPath(""), "");
}

TEST(Designators, BackupFolderComesBackToWindowsTerms) {
    BootRig rig;
    rig.AddPartition("E:", "1:3");
    rig.AddPartition("F:", "1:12");
    const PartitionRows& p = rig.rows;
    EXPECT_EQ(ImageFolderOfGhostPath(p, "1:3\\qzrpgho\\a.gho"), "E:\\qzrpgho\\");
    EXPECT_EQ(ImageFolderOfGhostPath(p, "1:3\\a.gho"), "E:\\");
    // Partition 12: the designator is longer than three characters and still maps to its drive.
    EXPECT_EQ(ImageFolderOfGhostPath(p, "1:12\\bak\\a.gho"), "F:\\bak\\");
    EXPECT_EQ(ImageFolderOfGhostPath(p, "0:0\\bak\\a.gho"), "C:\\bak\\");  // unknown: drive C
    EXPECT_TRUE(CreateImageFolder(p, rig.files, "1:3\\qzrpgho\\a.gho").ok());
    EXPECT_TRUE(CreateImageFolder(p, rig.files, "1:3").ok());  // no folder in the path: nothing to create
    EXPECT_EQ(rig.files.folders, std::vector<std::string>{"E:\\qzrpgho\\"});
}

TEST(GhostBatchFile, HoldsOnlyTheLastJobInCodePage936) {
    BootRig rig;
    const std::string first = GhostRestoreJob("1:3\\备份\\a.gho", "1", "1:1");
    EXPECT_TRUE(WriteGhostBatch(rig.files, "D", first, true).ok());
    ASSERT_TRUE(rig.files.FileExists("D:\\Ghost.bat"));
    EXPECT_EQ(rig.files.files["D:\\Ghost.bat"].bytes, ToCodePage(first, kChineseCodePage));
    EXPECT_TRUE(rig.files.files["D:\\Ghost.bat"].stamped);
    EXPECT_EQ(rig.files.files["D:\\Ghost.bat"].attributes & 0x02, 0x02u);

    // The second job replaces the hidden first one, and without the stamp stays visible.
    const std::string second = GhostBackupJob("1:1", "1:3\\qzrpgho\\b.gho");
    EXPECT_TRUE(WriteGhostBatch(rig.files, "D", second, false).ok());
    const FakeFile& bat = rig.files.files["D:\\Ghost.bat"];
    EXPECT_EQ(bat.bytes, second);
    EXPECT_FALSE(bat.stamped);
    EXPECT_EQ(bat.bytes.substr(bat.bytes.size() - 9), "\r\nrestart");  // nothing after "restart"
}

TEST(GhostBatchFile, AReadOnlyLeftoverIsReplacedAndAFailedWriteIsNamed) {
    BootRig rig;
    rig.files.files["C:\\Ghost.bat"] = FakeFile{"old job", 0x27, true};  // as the DOS side marks ghost*.*
    EXPECT_TRUE(WriteGhostBatch(rig.files, "C", "new job", false).ok());
    EXPECT_EQ(rig.files.files["C:\\Ghost.bat"].bytes, "new job");

    rig.files.failWrites = true;
    const Outcome outcome = WriteGhostBatch(rig.files, "C", "third job", true);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.Describe(), "写入 C:\\Ghost.bat 失败（WriteFile 错误 5）");
    EXPECT_FALSE(WriteGhostBatch(rig.files, "", "job", false).ok());
}

}  // namespace
}  // namespace kx::test
