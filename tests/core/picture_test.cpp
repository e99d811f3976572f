#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "resources/Picture.h"

namespace kx {
namespace {

std::string Read(const std::string& name) {
    std::ifstream in(std::string(KX_PICTURES) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Contains(const std::vector<Rect>& rects, int x, int y) {
    for (const auto& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

TEST(Picture, BackgroundDecodesAtTheWindowSize) {
    auto rgb = DecodeJpeg(Read("background.jpg"));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->width, 788);
    EXPECT_EQ(rgb->height, 588);
    EXPECT_EQ(rgb->pixels.size(), 788u * 588u * 3u);
    // The header band is blue: B well above R.
    EXPECT_GT(rgb->pixels[(10 * 788 + 400) * 3 + 0], rgb->pixels[(10 * 788 + 400) * 3 + 2] + 60);
}

TEST(Picture, BrokenJpegIsRefusedNotFatal) {
    std::string jpeg = Read("background.jpg");
    EXPECT_FALSE(DecodeJpeg("not a jpeg"));
    EXPECT_FALSE(DecodeJpeg(""));
    auto cut = DecodeJpeg(jpeg.substr(0, 600));  // libjpeg pads a cut-off image; it must not crash
    if (cut) {
        EXPECT_EQ(cut->width, 788);
    }
}

TEST(Picture, OutlineCutsTheCornersOnly) {
    auto gif = DecodeGif(Read("outline.gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->width, 788);
    EXPECT_EQ(gif->height, 588);
    auto rects = OutlineRectangles(*gif, 0x000000);
    EXPECT_FALSE(Contains(rects, 0, 0));
    EXPECT_FALSE(Contains(rects, 787, 587));
    EXPECT_TRUE(Contains(rects, 394, 0));
    EXPECT_TRUE(Contains(rects, 0, 294));
    EXPECT_TRUE(Contains(rects, 394, 294));
    EXPECT_LT(rects.size(), 60u) << "rows with the same run merge into one rectangle";
}

TEST(Picture, HandMadeGifAndBadData) {
    // 3x2, two colours (black, white), LZW min code size 2: rows "W B W" / "B W B".
    auto make = [](std::string lzw) {
        std::string g = "GIF89a";
        g += std::string("\x03\x00\x02\x00\x80\x00\x00", 7);
        g += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
        g += std::string("\x2C\x00\x00\x00\x00\x03\x00\x02\x00", 9) + char(0);
        g += '\x02';
        g += char(lzw.size()) + lzw + '\0' + ';';
        return g;
    };
    // Codes (3 bits): clear=4, 1,0,1,0,1,0, end=5 -> packed LSB first.
    auto pack = [](std::vector<int> codes) {
        std::string out;
        uint32_t bits = 0;
        int n = 0, width = 3, next = 6;
        bool first = true;
        for (int c : codes) {
            bits |= static_cast<uint32_t>(c) << n;
            n += width;
            while (n >= 8) {
                out += char(bits & 0xFF);
                bits >>= 8;
                n -= 8;
            }
            if (c == 4) {
                width = 3;
                next = 6;
                first = true;
                continue;
            }
            if (c == 5) continue;
            if (!first && next < 4096) {
                ++next;
                if (next == (1 << width) && width < 12) ++width;
            }
            first = false;
        }
        if (n) out += char(bits & 0xFF);
        return out;
    };
    std::string lzw = pack({4, 1, 0, 1, 0, 1, 0, 5});
    auto plain = DecodeGif(make(lzw));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->pixels, (std::vector<uint8_t>{1, 0, 1, 0, 1, 0}));
    auto rects = OutlineRectangles(*plain, 0x000000);
    EXPECT_TRUE(Contains(rects, 0, 0));
    EXPECT_FALSE(Contains(rects, 1, 0));
    EXPECT_TRUE(Contains(rects, 1, 1));
    // Garbage and truncation: refused or partial, never a crash.
    EXPECT_FALSE(DecodeGif("GIF89a"));
    EXPECT_FALSE(DecodeGif("PNG"));
    std::string whole = make(lzw);
    for (size_t n = 0; n < whole.size(); ++n) DecodeGif(whole.substr(0, n));
    auto junk = DecodeGif(make(std::string("\xFF\xFF\xFF\xFF\xFF", 5)));
    if (junk) {
        EXPECT_EQ(junk->pixels.size(), 6u);
    }
}

}  // namespace
}  // namespace kx
