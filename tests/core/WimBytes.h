#pragma once
// Windows imaging files made up in memory for the tests: a header and an uncompressed XML.
#include <cstdint>
#include <string>
#include <string_view>

namespace kx::test {

inline std::string Utf16(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// A header naming `count` images and an uncompressed XML right after it.
inline std::string MadeWim(const std::string& xmlBytes, uint32_t count, uint8_t xmlFlags = 0, uint16_t parts = 1) {
    std::string h(208, '\0');
    auto put = [&h](size_t at, uint64_t value, size_t n) {
        for (size_t i = 0; i < n; ++i) h[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    h.replace(0, 8, std::string("MSWIM\0\0\0", 8));
    put(8, 208, 4);
    put(12, 0x10D00, 4);
    put(40, 1, 2);
    put(42, parts, 2);
    put(44, count, 4);
    put(72, xmlBytes.size(), 7);
    put(79, xmlFlags, 1);
    put(80, 208, 8);
    return h + xmlBytes;
}

}  // namespace kx::test
