#include "imaging/WimInfo.h"

#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "WimBytes.h"

namespace kx {
namespace {

using test::MadeWim;
using test::Utf16;

// The bytes of a file, read as the program reads them: up to `size` at `offset`.
WimReadAt ReaderOf(const std::string& bytes) {
    return [bytes](uint64_t offset, uint32_t size) -> Result<std::string> {
        if (offset >= bytes.size()) return std::string();
        return bytes.substr(static_cast<size_t>(offset), size);
    };
}

// A WIM made by wimlib-imagex (capture, then append): two editions whose names need escaping and a
// character outside the BMP.
TEST(WimInfo, ReadsTheEditionsOfAWimMadeByWimlib) {
    Result<WimInfo> info = ReadWimInfo(ReaderOf(test::ReadTestData("wim/two-editions.wim")));
    ASSERT_TRUE(info) << info.outcome().Describe();
    EXPECT_FALSE(info->solid);
    ASSERT_EQ(info->editions.size(), 2u);
    EXPECT_EQ(info->editions[0].index, 1);
    EXPECT_EQ(info->editions[0].name, "专业版 & 家庭版");
    EXPECT_EQ(info->editions[0].description, "Windows 7 <专业版>");
    EXPECT_EQ(info->editions[0].totalBytes, 6u) << "the image's own, not the file's TOTALBYTES after it";
    EXPECT_EQ(info->editions[1].name, "旗舰版 😀");
    EXPECT_EQ(EditionLabel(info->editions[1]), "2: 旗舰版 😀");
}

TEST(WimInfo, NestedFieldsAndDisplayNames) {
    const std::string xml =
        "<WIM><IMAGE INDEX=\"1\"><WINDOWS><NAME>not this</NAME><TOTALBYTES>1</TOTALBYTES>"
        "<VERSION><MAJOR>6</MAJOR><MINOR>2</MINOR></VERSION><SERVICINGDATA><MAJOR>9</MAJOR></SERVICINGDATA>"
        "</WINDOWS><MAJOR>7</MAJOR>"
        "<NAME>Windows 8 Pro</NAME><DISPLAYNAME>Windows 8 专业版</DISPLAYNAME><FLAGS/>"
        "<TOTALBYTES>8589934592</TOTALBYTES></IMAGE><IMAGEX/></WIM>";
    const std::vector<WimEdition> editions = EditionsOfWimXml(xml);
    ASSERT_EQ(editions.size(), 1u);
    EXPECT_EQ(editions[0].name, "Windows 8 Pro");
    EXPECT_EQ(editions[0].totalBytes, 8589934592u);
    EXPECT_EQ(editions[0].windowsMajor, 6) << "WINDOWS/VERSION/MAJOR only";
    EXPECT_EQ(EditionLabel(editions[0]), "1: Windows 8 专业版");
}

TEST(WimInfo, TextAsItIsWritten) {
    EXPECT_EQ(Utf8OfUtf16Le(std::string("\xFF\xFE", 2) + Utf16(u"专A")), "专A") << "the mark skipped";
    EXPECT_EQ(Utf8OfUtf16Le(Utf16(u"\xD83D")), "\xEF\xBF\xBD") << "a lone surrogate";
    EXPECT_EQ(Utf8OfUtf16Le(Utf16(u"a") + "b"), "a") << "an odd last byte";
    const std::string xml = "<IMAGE INDEX='1'><NAME>&#x4E13;&#20013; &bogus; &#xFFFFFFFF; &amp;</NAME></IMAGE>";
    EXPECT_EQ(EditionsOfWimXml(xml).at(0).name, "专中 &bogus; &#xFFFFFFFF; &");
}

// Every file that cannot be offered says why, and nothing past its end is read as XML.
TEST(WimInfo, RefusalsSayWhy) {
    const std::string one = Utf16(u"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE></WIM>");
    ASSERT_TRUE(ReadWimInfo(ReaderOf(MadeWim(one, 1))));
    struct Case {
        std::string bytes, why;
    };
    const Case cases[] = {
        {"MSWIM", "不是 WIM 映像文件"},
        {std::string(208, 'x'), "不是 WIM 映像文件"},
        {MadeWim(one, 2), "文件头却说有 2 个"},
        {MadeWim(one, 1, 0x04), "是压缩的"},
        {MadeWim(one, 1, 0, 3), "分卷"},
        {MadeWim(one, 1).substr(0, 230), "不完整"},
        {MadeWim(one + "x", 1), "大小不对"},
        {MadeWim(Utf16(u"<WIM><IMAGE INDEX=\"2\"><NAME>a</NAME></IMAGE></WIM>"), 1), "编号不连续"},
    };
    for (const Case& c : cases) {
        Result<WimInfo> info = ReadWimInfo(ReaderOf(c.bytes));
        EXPECT_FALSE(info) << c.why;
        EXPECT_NE(info.outcome().Describe().find(c.why), std::string::npos) << info.outcome().Describe();
    }
    const WimReadAt failing = [](uint64_t, uint32_t) -> Result<std::string> {
        return Outcome::Failed("无法读取", Win32Error{5, "ReadFile"});
    };
    EXPECT_NE(ReadWimInfo(failing).outcome().Describe().find("ReadFile"), std::string::npos);
}

}  // namespace
}  // namespace kx
