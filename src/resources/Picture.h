#pragma once
// The window's pictures, decoded in the portable core: JPEG through libjpeg, the outline GIF by our own
// small decoder, and the outline turned into the rectangles of a window region.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kx {

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // top-down rows of B, G, R bytes (the order of a Windows DIB)
};

struct Indexed {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;   // one palette index per pixel, top-down
    std::vector<uint32_t> palette;  // 0x00RRGGBB
};

struct Rect {
    int left, top, right, bottom;
    bool operator==(const Rect&) const = default;
};

std::optional<Rgb> DecodeJpeg(std::string_view bytes);
// The first image of a GIF file. Interlaced images are supported; animation is ignored.
std::optional<Indexed> DecodeGif(std::string_view bytes);
// The area of the picture whose colour is not `outside`, as horizontal runs merged into rectangles.
std::vector<Rect> OutlineRectangles(const Indexed& picture, uint32_t outside);

}  // namespace kx
