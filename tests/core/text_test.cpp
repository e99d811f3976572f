#include <gtest/gtest.h>

#include "text/Text.h"
#include "text/TextChecks.h"

namespace kx {
namespace {

TEST(Text, CodePage936RoundTrip) {
    const std::string gbk = "\xD6\xD8\xD7\xB0\xCF\xB5\xCD\xB3";  // 重装系统 in code page 936
    EXPECT_EQ(FromCodePage(gbk, 936), "重装系统");
    EXPECT_EQ(ToCodePage("重装系统", 936), gbk);
    EXPECT_EQ(ToCodePage("a\xF0\x9F\x98\x80z", 936), "a?z") << "a character 936 lacks becomes one '?'";
    EXPECT_EQ(FromCodePage("a\xD6", 936), "a\xEF\xBF\xBD") << "a cut-off lead byte";
}

TEST(Text, SavedTextIsUtf8OnlyWhenWellFormed) {
    EXPECT_TRUE(IsUtf8("盘 ###"));
    EXPECT_FALSE(IsUtf8("\xC0\x80"));  // overlong
    EXPECT_FALSE(IsUtf8("\xE4\xB8"));  // cut short
    EXPECT_EQ(DecodeSavedText("\xEF\xBB\xBF卷"), "卷");
    EXPECT_EQ(DecodeSavedText("\xBE\xED 1"), "卷 1");
}

TEST(Text, AsciiCaseLeavesOtherBytesAlone) {
    // 0xE4 is a lower-case letter to a Latin-1 locale's toupper; here it is a byte of a longer character.
    EXPECT_EQ(AsciiUpper("d:\\系统\\a\xE4.gho"), "D:\\系统\\A\xE4.GHO");
    EXPECT_EQ(AsciiLower("ABOUT:Blank É"), "about:blank É");
}

TEST(TextChecks, NonPrintableCharactersOfPaths) {
    EXPECT_EQ(ExtractNonPrintable("D:\\VX_win7_sp1_64.gho", false), "");
    EXPECT_EQ(ExtractNonPrintable("D:\\系统备份\\win7.gho", false), "系统备份");
    EXPECT_EQ(ExtractNonPrintable("D:\\a\x7F~ b.gho", false), "") << "DEL and blanks count as printable";
    EXPECT_EQ(ExtractNonPrintable("D:\\a\tb.gho", false), "\t");
    EXPECT_EQ(ExtractNonPrintable("D:\\a\tb.gho", true), "");
    EXPECT_EQ(ExtractNonPrintable("D:\\备\r\n份\x01", true), "备份\x01");
    EXPECT_EQ(ExtractNonPrintable("é", false), "é");
    EXPECT_EQ(ExtractNonPrintable("a\xFF"
                                  "b",
                                  false),
              "\xFF")
        << "a stray byte is not printable either";
    EXPECT_EQ(ExtractNonPrintable("", true), "");
}

}  // namespace
}  // namespace kx
