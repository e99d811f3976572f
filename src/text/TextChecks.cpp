#include "text/TextChecks.h"

namespace kx {
namespace {

// Length of the UTF-8 sequence that starts at `i`, or 1 for a byte that starts no valid sequence.
size_t SequenceLength(std::string_view s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
    if (n == 1 || i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// The white space of the regular-expression class \s among the characters below 0x20.
bool IsControlSpace(char c) { return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::string ExtractNonPrintable(std::string_view text, bool stripWhiteSpace) {
    std::string found;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c <= 0x7F) {
            ++i;
            continue;
        }
        size_t n = SequenceLength(text, i);
        if (!(stripWhiteSpace && n == 1 && IsControlSpace(text[i]))) found.append(text.substr(i, n));
        i += n;
    }
    return found;
}

}  // namespace kx
