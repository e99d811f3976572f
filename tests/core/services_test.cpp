#include <gtest/gtest.h>

#include "text/TextChecks.h"
#include "platform/WindowsInfo.h"

namespace kx {
namespace {

TEST(TextChecks, NonPrintableCharactersOfPaths) {
    EXPECT_EQ(ExtractNonPrintable("D:\\VX_win7_sp1_64.gho", false), "");
    EXPECT_EQ(ExtractNonPrintable("D:\\系统备份\\win7.gho", false), "系统备份");
    EXPECT_EQ(ExtractNonPrintable("D:\\a\x7F~ b.gho", false), "") << "DEL and blanks count as printable";
    EXPECT_EQ(ExtractNonPrintable("D:\\a\tb.gho", false), "\t");
    EXPECT_EQ(ExtractNonPrintable("D:\\a\tb.gho", true), "");
    EXPECT_EQ(ExtractNonPrintable("D:\\备\r\n份\x01", true), "备份\x01");
    EXPECT_EQ(ExtractNonPrintable("é", false), "é");
    EXPECT_EQ(ExtractNonPrintable("a\xFF" "b", false), "\xFF") << "a stray byte is not printable either";
    EXPECT_EQ(ExtractNonPrintable("", true), "");
}

TEST(WindowsInfo, VersionNames) {
    EXPECT_EQ(VersionNameFor(4, 0), "WinNT");
    EXPECT_EQ(VersionNameFor(5, 0), "Win2000");
    EXPECT_EQ(VersionNameFor(5, 1), "WinXP");
    EXPECT_EQ(VersionNameFor(5, 2), "Win2003");
    EXPECT_EQ(VersionNameFor(5, 3), "未知");
    EXPECT_EQ(VersionNameFor(6, 0), "Vista");
    EXPECT_EQ(VersionNameFor(6, 1), "Win7");
    EXPECT_EQ(VersionNameFor(6, 2), "Win8");
    EXPECT_EQ(VersionNameFor(6, 3), "Win8");
    EXPECT_EQ(VersionNameFor(6, 4), "未知");
    EXPECT_EQ(VersionNameFor(10, 0), "未知");
    EXPECT_EQ(PlatformFamilyFor(2), 3);
    EXPECT_EQ(PlatformFamilyFor(1), 2);
    EXPECT_EQ(PlatformFamilyFor(0), 1);
    EXPECT_EQ(PlatformFamilyFor(3), 0);
}

}  // namespace
}  // namespace kx
