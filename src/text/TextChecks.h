#pragma once
// Checks on texts that the imaging tool of the DOS side cannot take.
#include <string>
#include <string_view>

namespace kx {

// Every character of `text` (UTF-8) that is not printable ASCII (0x20-0x7F), in order: control
// characters, Chinese and any other non-ASCII character. With `stripWhiteSpace` the white space among
// them (tab, line breaks, form feed, vertical tab) is dropped. Empty means printable ASCII only.
// Bytes that are not well-formed UTF-8 count as one non-printable character each.
std::string ExtractNonPrintable(std::string_view text, bool stripWhiteSpace);

}  // namespace kx
