#include "boot/Guid.h"

#include <cstdio>

namespace kx {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool Guid::IsZero() const {
    for (auto b : bytes)
        if (b) return false;
    return true;
}

Result<Guid> ParseGuid(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    auto bad = Outcome::Failed("GUID 格式错误：" + std::string(text));
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return bad;
    std::array<uint8_t, 16> plain{};  // the digits in the order they are written
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-') continue;
        int hi = HexDigit(text[i]), lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (hi < 0 || lo < 0) return bad;
        plain[n++] = static_cast<uint8_t>(hi * 16 + lo);
        ++i;
    }
    Guid g;
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g.bytes[i] = plain[order[i]];
    return g;
}

std::string GuidText(const Guid& guid) {
    const auto& b = guid.bytes;
    char s[40];
    std::snprintf(s, sizeof s, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2], b[1],
                  b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return s;
}

}  // namespace kx
