#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "disk/Diskpart.h"

namespace kx {
namespace {

using test::ReadTestData;

std::vector<std::string> Listed(const std::vector<ListedVolume>& volumes) {
    std::vector<std::string> out;
    for (const auto& v : volumes) out.push_back(v.row.letter + ": " + v.designator);
    return out;
}

using Strings = std::vector<std::string>;

TEST(Diskpart, ChineseTwoDisksNumberByPositionOnTheirDisk) {
    // The first disk starts with a letterless system-reserved volume; D: carries the label 新加卷,
    // whose 卷 must not split its row.
    EXPECT_EQ(Listed(VolumesOfDiskDetail(ReadTestData("diskpart/zh-win7/disk0.txt"), 1)),
              (Strings{"C: 1:2", "D: 1:3"}));
    EXPECT_EQ(Listed(VolumesOfDiskDetail(ReadTestData("diskpart/zh-win7/disk1.txt"), 2)), (Strings{"E: 2:1"}));
    EXPECT_TRUE(VolumesOfDiskDetail(ReadTestData("diskpart/zh-win7/nodisk.txt"), 3).empty());
    EXPECT_TRUE(ReportsNoSelectedDisk(ReadTestData("diskpart/zh-win7/nodisk.txt")));
}

TEST(Diskpart, EnglishAndXpDetails) {
    EXPECT_EQ(Listed(VolumesOfDiskDetail(ReadTestData("diskpart/en-win7/disk0.txt"), 1)),
              (Strings{"C: 1:2", "E: 1:3"}));
    EXPECT_TRUE(VolumesOfDiskDetail(ReadTestData("diskpart/en-win7/nodisk.txt"), 2).empty());
    EXPECT_EQ(Listed(VolumesOfDiskDetail(ReadTestData("diskpart/zh-xp/disk0.txt"), 1)), (Strings{"C: 1:1", "D: 1:2"}));
    EXPECT_EQ(Listed(VolumesOfDiskDetail(ReadTestData("diskpart/en-xp/disk0.txt"), 1)), (Strings{"C: 1:1", "D: 1:2"}));
    // The disk's ID, which says whether a later read shows the same disk.
    EXPECT_EQ(DiskIdOf(ReadTestData("diskpart/zh-win7/disk1.txt")), "1A2B3C01");
    EXPECT_EQ(DiskIdOf(ReadTestData("diskpart/zh-xp/disk0.txt")), "1A2B3C00");
    EXPECT_EQ(DiskIdOf(ReadTestData("diskpart/en-win7/disk0.txt")), "1A2B3C00");
    EXPECT_EQ(DiskIdOf(ReadTestData("diskpart/zh-win7/nodisk.txt")), "");
}

TEST(Diskpart, VolumeListNumbersFromZeroAndSkipsEmptyOpticalDrives) {
    // English: the DVD drive without media is volume 0 and left out; "New Volume" stays one row; the
    // healthy 500 MB volume is listed although it is not sized in GB.
    EXPECT_EQ(Listed(VolumesOfVolumeList(ReadTestData("diskpart/en-win7/volumes.txt"))),
              (Strings{"C: 1:2", "E: 1:3", "G: 1:4"}));
    EXPECT_EQ(Listed(VolumesOfVolumeList(ReadTestData("diskpart/zh-win7/volumes.txt"))),
              (Strings{"C: 1:2", "D: 1:3", "E: 1:4"}));
    EXPECT_EQ(Listed(VolumesOfVolumeList(ReadTestData("diskpart/zh-xp/volumes.txt"))), (Strings{"C: 1:1", "D: 1:2"}));
    EXPECT_EQ(Listed(VolumesOfVolumeList(ReadTestData("diskpart/en-xp/volumes.txt"))), (Strings{"C: 1:1", "D: 1:2"}));
}

TEST(Diskpart, RowsWithoutADriveLetterKeepTheirPlaceButAreNotListed) {
    const std::string out =
        "  Volume ###  Ltr  Label        Fs     Type        Size     Status     Info\r\n"
        "  ----------  ---  -----------  -----  ----------  -------  ---------  --------\r\n"
        "  Volume 1         X            NTFS   Partition    100 MB  Healthy    System\r\n"
        "  Volume 2     C   Volume 2 a   NTFS   Partition     59 GB  Healthy    Boot\r\n"
        "  Volume 3                      RAW    Partition     10 GB  Healthy\r\n"
        "  Volume 12    F   New Volume   NTFS   Partition     10 GB  Healthy\r\n";
    auto rows = ReadVolumeTable(out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].letter, "") << "a one-letter label of a letterless volume is no drive";
    EXPECT_EQ(rows[1].letter, "C");
    EXPECT_EQ(rows[2].letter, "");
    EXPECT_EQ(rows[3].letter, "F");
    EXPECT_EQ(rows[3].position, 4);
    EXPECT_EQ(Listed(VolumesOfDiskDetail(out, 1)), (Strings{"C: 1:2", "F: 1:4"}));
    EXPECT_EQ(rows[1].Field(2), "Volume") << "fields are the row's words, as the developer's refresh shows them";
}

TEST(Diskpart, OnlyTheTableIsRead) {
    EXPECT_TRUE(ReadVolumeTable("").empty());
    EXPECT_TRUE(ReadVolumeTable("'diskpart' is not recognized as an internal or external command").empty());
    EXPECT_TRUE(ReadVolumeTable("  Volume 2     C   NTFS  Partition  59 GB  Healthy\n").empty()) << "no header";
    // A header word in the text before the table (an English disk model, say) changes nothing.
    std::string out = "Volume Manager Disk\n  Volume ###  Ltr  Label\n  ---\n  Volume 0     D   x  Healthy\n";
    ASSERT_EQ(ReadVolumeTable(out).size(), 1u);
    // Cut off in the middle of a row: what is there is read.
    auto rows = ReadVolumeTable("  Volume ###  Ltr\n  Volume 2     C");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].letter, "C");
    EXPECT_TRUE(VolumesOfDiskDetail("  Volume ###  Ltr\n  Volume 2     C", 1).empty()) << "no health word";
    // Lines that look like rows but are not.
    EXPECT_TRUE(ReadVolumeTable("  Volume ###\n  Volume2 C Healthy\n  Volume x C\n  Volumes 3  C\n").empty());
}

TEST(Diskpart, ScriptForOneDisk) {
    EXPECT_EQ(DiskScript(0), "select disk 0\r\ndetail disk\r\n");
    EXPECT_EQ(DiskScript(12), "select disk 12\r\ndetail disk\r\n");
}

}  // namespace
}  // namespace kx
