#pragma once
// Text inside the program is UTF-8. Bytes whose encoding is fixed (console output, Ghost.bat, boot.ini,
// the catalogue page) are converted at their boundary with these.
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
// A saved text of unknown encoding (a tool's output kept by a user): UTF-8 when it is well-formed
// UTF-8 (a byte-order mark is dropped), code page 936 otherwise.
std::string DecodeSavedText(std::string_view bytes);

}  // namespace kx
