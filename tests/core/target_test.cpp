#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "app/Handlers.h"
#include "disk/PartitionList.h"
#include "disk/Target.h"

namespace kx {
namespace {

using test::ClearPartitions;
using test::DiskRig;
using test::kGiB;
using test::ListPartition;
using test::SetPartitionCell;

// C: system with 40 GB free, D: with 100 GB, E: a removable stick with 200 GB, all in the list.
struct ThreeDrives : DiskRig {
    ThreeDrives() {
        drives.AddFixed('C', 100, 40);
        drives.AddFixed('D', 500, 100);
        drives.AddFixed('E', 256, 200);
        drives.drives['E'].type = 2;
        program.facts().systemDriveLetter = "C";
        for (char l : {'C', 'D', 'E'}) List(l);
    }
    void List(char l) { ListPartition(program, MakeDriveRecord(drives, std::string(1, l), "1:1", "C")); }
    std::string Target() { return program.facts().targetDrive.Get(); }
};

TEST(TargetRule, SizedRuleSkipsSystemAndRemovableDrives) {
    ThreeDrives m;
    std::string letter = "?";
    EXPECT_TRUE(ChooseTargetForSize(m.drives, m.program.facts(), 8, letter));
    EXPECT_EQ(letter, "D");
    EXPECT_EQ(m.Target(), "D");
    EXPECT_FALSE(ChooseTargetForSize(m.drives, m.program.facts(), 120, letter));
    EXPECT_EQ(letter, "");
    EXPECT_EQ(m.Target(), "");
}

TEST(TargetRule, SizedRuleBoundaryAndTies) {
    ThreeDrives m;
    m.drives.AddFixed('D', 500, 8.004);  // exactly 8 whole gigabytes free
    ClearPartitions(m.program);
    m.List('C');
    m.List('D');
    std::string letter;
    EXPECT_TRUE(ChooseTargetForSize(m.drives, m.program.facts(), 8, letter));
    EXPECT_EQ(letter, "D");
    EXPECT_FALSE(ChooseTargetForSize(m.drives, m.program.facts(), 9, letter));

    m.drives.AddFixed('F', 50, 30.6);
    m.drives.AddFixed('G', 80, 30.2);  // the same whole gigabytes free as F:
    m.List('G');
    m.List('F');
    EXPECT_TRUE(ChooseTargetForSize(m.drives, m.program.facts(), 8, letter));
    EXPECT_EQ(letter, "F") << "the earlier row wins a tie (the list is in drive order)";
}

TEST(TargetRule, SizedRuleReadsRoomFromTheRows) {
    ThreeDrives m;
    SetPartitionCell(m.program, 1, 6, "garbage");
    std::string letter;
    EXPECT_FALSE(ChooseTargetForSize(m.drives, m.program.facts(), 8, letter))
        << "a cell that is no number counts as 0: no room";
    SetPartitionCell(m.program, 1, 6, "");
    SetPartitionCell(m.program, 1, 5, "");
    EXPECT_FALSE(ChooseTargetForSize(m.drives, m.program.facts(), 8, letter));
}

TEST(TargetRule, StartUpRuleTakesMostFreeSpaceSystemDriveIncluded) {
    DiskRig rig;
    rig.drives.AddFixed('C', 100, 20);
    ChooseTargetDrive(rig.program.Disk());
    EXPECT_EQ(rig.program.facts().targetDrive.Get(), "C") << "a single-partition machine";

    rig.drives.AddFixed('D', 100, 20);
    ChooseTargetDrive(rig.program.Disk());
    EXPECT_EQ(rig.program.facts().targetDrive.Get(), "C") << "ties keep the earlier letter";

    rig.drives.AddFixed('E', 4000, 3000);  // more than 2 TiB free
    rig.drives.AddFixed('F', 4000, 5000);
    rig.drives.drives['F'].type = 2;
    ChooseTargetDrive(rig.program.Disk());
    EXPECT_EQ(rig.program.facts().targetDrive.Get(), "E");
}

TEST(TargetRule, StartUpRuleKeepsTheOldTargetWhenNothingHasRoom) {
    DiskRig rig;
    rig.program.facts().targetDrive.Set("G");
    rig.drives.AddFixed('C', 100, 0);
    rig.drives.AddFixed('D', 100, 10);
    rig.drives.drives['D'].space.ok = false;
    ChooseTargetDrive(rig.program.Disk());
    EXPECT_EQ(rig.program.facts().targetDrive.Get(), "G");
}

}  // namespace
}  // namespace kx
