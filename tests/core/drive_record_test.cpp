#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "disk/DriveRecord.h"

namespace kx {
namespace {

using test::FakeDrives;
using test::kGiB;

TEST(DriveRecord, RoundingAndNumberText) {
    EXPECT_DOUBLE_EQ(RoundToDecimals(59.994999, 2), 59.99);
    EXPECT_DOUBLE_EQ(RoundToDecimals(59.995, 2), 60);
    EXPECT_DOUBLE_EQ(RoundToDecimals(-59.995, 2), -60) << "half away from zero";
    EXPECT_DOUBLE_EQ(RoundToDecimals(2.5, 0), 3);
    EXPECT_EQ(NumberText(60.0), "60");
    EXPECT_EQ(NumberText(59.99 - 13), "46.99");
    EXPECT_EQ(NumberText(0.0), "0");
    EXPECT_EQ(NumberText(1863.02), "1863.02");
}

TEST(DriveRecord, FreeSpaceIsRoundedThenCut) {
    FakeDrives drives;
    drives.drives['D'].space = {true, static_cast<uint64_t>(13.996 * kGiB), 100 * kGiB, 0};
    drives.drives['E'].space = {true, static_cast<uint64_t>(13.994 * kGiB), 100 * kGiB, 0};
    drives.drives['F'].space = {true, static_cast<uint64_t>(13.9999 * kGiB), 100 * kGiB, 0};
    EXPECT_EQ(FreeSizeGb(drives, 'D'), 14);
    EXPECT_EQ(FreeSizeGb(drives, 'E'), 13);
    EXPECT_EQ(FreeSizeGb(drives, 'F'), 14);
}

TEST(DriveRecord, RecordOfSystemAndOtherDrives) {
    FakeDrives drives;
    drives.AddFixed('C', 59.99, 13.7);
    drives.AddFixed('D', 60, 10, "Data");
    DriveRecord c = MakeDriveRecord(drives, "C", "1:2", "C");
    EXPECT_EQ(c.cells, (std::array<std::string, 8>{"C:", "1:2", "硬盘驱动器", "本地磁盘", "NTFS", "46.99 GB",
                                                   "59.99 GB", "是"}));
    EXPECT_EQ(c.icon, 0);
    DriveRecord d = MakeDriveRecord(drives, "D", "1:3", "C");
    EXPECT_EQ(d.cells[3], "Data");
    EXPECT_EQ(d.cells[5], "50 GB");
    EXPECT_EQ(d.cells[6], "60 GB");
    EXPECT_EQ(d.cells[7], "否");
    EXPECT_EQ(d.icon, 1);
    EXPECT_EQ(MakeDriveRecord(drives, "C", "1:1", "c").cells[7], "否") << "the comparison is case-sensitive";
}

TEST(DriveRecord, DrivesThatCannotBeRead) {
    FakeDrives drives;
    drives.drives['E'].type = 5;
    drives.drives['E'].volume.ok = false;
    drives.drives['E'].space.ok = false;
    DriveRecord e = MakeDriveRecord(drives, "E", "1:4", "C");
    EXPECT_EQ(e.cells[2], "光盘驱动器");
    EXPECT_EQ(e.cells[3], std::string(255, ' '));
    EXPECT_EQ(e.cells[4], std::string(255, ' '));
    EXPECT_EQ(e.cells[5], "0 GB");
    EXPECT_EQ(e.cells[6], "0 GB");
}

TEST(DriveRecord, TypeNamesAndLetterScan) {
    EXPECT_EQ(DriveTypeName(0), "未知驱动器");
    EXPECT_EQ(DriveTypeName(2), "可移动驱动器");
    EXPECT_EQ(DriveTypeName(4), "网络驱动器");
    EXPECT_EQ(DriveTypeName(6), "RAM存储器");
    EXPECT_EQ(DriveTypeName(7), "");
    EXPECT_EQ(DriveTypeName(-1), "");
    FakeDrives drives;
    drives.AddFixed('C', 60, 10);
    drives.AddFixed('F', 60, 10);  // a USB hard disk reported as fixed
    drives.drives['E'].type = 2;   // a card reader
    drives.drives['G'].type = 5;
    EXPECT_EQ(DriveLettersOfType(drives, 3), (std::vector<std::string>{"C:", "F:"}));
    EXPECT_EQ(DriveLettersOfType(drives, 2), (std::vector<std::string>{"E:"}));
    drives.windowsDirectory = "c:\\windows";
    EXPECT_EQ(GetSystemDriveLetter(drives), "c");
    drives.windowsDirectory = "";
    EXPECT_EQ(GetSystemDriveLetter(drives), "");
}

}  // namespace
}  // namespace kx
