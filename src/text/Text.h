#pragma once
// Text inside the program is UTF-8. Bytes whose encoding is fixed (console output, Ghost.bat, boot.ini,
// the catalogue page) are converted at their boundary with these.
#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

inline constexpr unsigned kChineseCodePage = 936;

// Bytes in the given code page to UTF-8. Bytes that do not decode become U+FFFD.
std::string FromCodePage(std::string_view bytes, unsigned codePage);
// UTF-8 to bytes in the given code page. Characters the code page lacks become '?'.
std::string ToCodePage(std::string_view utf8, unsigned codePage);
// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view bytes);
// Appends code point `c` (up to U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, uint32_t c);
// Case of ASCII letters only, in UTF-8 text: the bytes of other characters stay as they are, whatever the
// C library's locale says. Not for code page 936 bytes, whose trail bytes may be ASCII letters.
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// Inline: a program that links the portable core without the Windows half of the code page conversions
// (the download component's tests, through the import check) needs nothing more for them.
inline std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}
inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}
// A saved text of unknown encoding (a tool's output kept by a user): UTF-8 when it is well-formed
// UTF-8 (a byte-order mark is dropped), code page 936 otherwise.
std::string DecodeSavedText(std::string_view bytes);

}  // namespace kx
