// A small GIF decoder for the window's outline picture: the first image, drawn on the logical screen.
#include <array>
#include <string>

#include "resources/Picture.h"

namespace kx {
namespace {

class Reader {
public:
    explicit Reader(std::string_view b) : bytes_(b) {}
    bool Has(size_t n) const { return pos_ + n <= bytes_.size(); }
    uint8_t Byte() { return Has(1) ? static_cast<uint8_t>(bytes_[pos_++]) : (failed_ = true, 0); }
    int Word() {
        int lo = Byte();
        return lo | (Byte() << 8);
    }
    bool failed() const { return failed_; }
    // The concatenated data of a run of sub-blocks, up to the terminating empty block.
    std::string SubBlocks() {
        std::string data;
        for (uint8_t n = Byte(); n != 0 && !failed_; n = Byte()) {
            if (!Has(n)) {
                failed_ = true;
                break;
            }
            data.append(bytes_.substr(pos_, n));
            pos_ += n;
        }
        return data;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
    bool failed_ = false;
};

std::vector<uint32_t> ColourTable(Reader& r, int flags) {
    std::vector<uint32_t> table;
    if (!(flags & 0x80)) return table;
    int count = 2 << (flags & 7);
    for (int i = 0; i < count; ++i) {
        uint32_t red = r.Byte(), green = r.Byte(), blue = r.Byte();
        table.push_back(red << 16 | green << 8 | blue);
    }
    return table;
}

// LZW as GIF uses it: variable code width up to 12 bits, clear and end codes. Returns the pixel indices.
std::vector<uint8_t> Decompress(const std::string& data, int minCodeSize, size_t limit) {
    std::vector<uint8_t> out;
    if (minCodeSize < 2 || minCodeSize > 8) return out;
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::array<uint16_t, 4096> prefix{};
    std::array<uint8_t, 4096> suffix{}, first{};
    std::array<uint8_t, 4097> stack{};
    for (int i = 0; i < clear; ++i) suffix[i] = first[i] = static_cast<uint8_t>(i);
    int width = minCodeSize + 1, next = end + 1, previous = -1;
    uint32_t bits = 0;
    int bitCount = 0;
    size_t pos = 0;
    while (out.size() < limit) {
        while (bitCount < width && pos < data.size()) {
            bits |= static_cast<uint32_t>(static_cast<uint8_t>(data[pos++])) << bitCount;
            bitCount += 8;
        }
        if (bitCount < width) break;
        int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;
        if (code == clear) {
            width = minCodeSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) break;
        int walk = code;
        size_t depth = 0;
        if (code >= next) {  // the code being defined right now: previous string plus its own first byte
            if (code > next || previous < 0) break;
            stack[depth++] = first[previous];
            walk = previous;
        }
        while (walk >= clear && depth < stack.size() - 1) {
            stack[depth++] = suffix[walk];
            walk = prefix[walk];
        }
        if (walk >= clear) break;
        stack[depth++] = static_cast<uint8_t>(walk);
        while (depth > 0 && out.size() < limit) out.push_back(stack[--depth]);
        if (previous >= 0 && next < 4096) {
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = static_cast<uint8_t>(walk);
            first[next] = first[previous];
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
        previous = code;
    }
    return out;
}

}  // namespace

std::optional<Indexed> DecodeGif(std::string_view bytes) {
    if (bytes.substr(0, 6) != "GIF87a" && bytes.substr(0, 6) != "GIF89a") return std::nullopt;
    Reader r(bytes.substr(6));
    Indexed out;
    out.width = r.Word();
    out.height = r.Word();
    int flags = r.Byte();
    int background = r.Byte();
    r.Byte();  // aspect ratio
    out.palette = ColourTable(r, flags);
    constexpr int kMaxSide = 16384;
    if (r.failed() || out.width <= 0 || out.height <= 0 || out.width > kMaxSide || out.height > kMaxSide)
        return std::nullopt;
    out.pixels.assign(static_cast<size_t>(out.width) * out.height, static_cast<uint8_t>(background));
    for (;;) {
        uint8_t block = r.Byte();
        if (r.failed() || block == 0x3B) return std::nullopt;  // no image at all
        if (block == 0x21) {
            r.Byte();
            r.SubBlocks();
            continue;
        }
        if (block != 0x2C) return std::nullopt;
        int left = r.Word(), top = r.Word(), w = r.Word(), h = r.Word();
        int imageFlags = r.Byte();
        std::vector<uint32_t> local = ColourTable(r, imageFlags);
        if (!local.empty()) out.palette = local;
        int minCodeSize = r.Byte();
        std::string data = r.SubBlocks();
        if (r.failed()) return std::nullopt;
        std::vector<uint8_t> indices = Decompress(data, minCodeSize, static_cast<size_t>(w) * h);
        // Interlaced images store rows in four passes.
        std::vector<int> rows;
        if (imageFlags & 0x40) {
            constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = kStart[pass]; y < h; y += kStep[pass]) rows.push_back(y);
        } else {
            for (int y = 0; y < h; ++y) rows.push_back(y);
        }
        for (size_t i = 0; i < indices.size(); ++i) {
            int x = left + static_cast<int>(i % w), y = top + rows[i / w];
            if (x < out.width && y < out.height) out.pixels[static_cast<size_t>(y) * out.width + x] = indices[i];
        }
        return out;
    }
}

std::vector<Rect> OutlineRectangles(const Indexed& picture, uint32_t outside) {
    // Runs of inside pixels per row; a run identical to the one above extends that rectangle downwards.
    std::vector<Rect> done, open;
    auto inside = [&](int x, int y) {
        uint8_t index = picture.pixels[static_cast<size_t>(y) * picture.width + x];
        return index >= picture.palette.size() || picture.palette[index] != outside;
    };
    for (int y = 0; y < picture.height; ++y) {
        std::vector<Rect> runs;
        for (int x = 0; x < picture.width;) {
            if (!inside(x, y)) {
                ++x;
                continue;
            }
            int start = x;
            while (x < picture.width && inside(x, y)) ++x;
            runs.push_back({start, y, x, y + 1});
        }
        std::vector<Rect> still;
        for (auto& run : runs) {
            bool extended = false;
            for (auto& o : open) {
                if (o.left == run.left && o.right == run.right && o.bottom == y) {
                    o.bottom = y + 1;
                    still.push_back(o);
                    o.bottom = -1;  // taken
                    extended = true;
                    break;
                }
            }
            if (!extended) still.push_back(run);
        }
        for (auto& o : open)
            if (o.bottom == y) done.push_back(o);
        open = std::move(still);
    }
    done.insert(done.end(), open.begin(), open.end());
    return done;
}

}  // namespace kx
