#include <gtest/gtest.h>

#include "text/Text.h"

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

}  // namespace
}  // namespace kx
