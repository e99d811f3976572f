#include "base/Outcome.h"

#include <cstdio>

namespace kx {

std::string Outcome::Describe() const {
    if (ok()) return {};
    std::string text = what_;
    if (error_.call.empty()) return text;
    // An HRESULT reads as the hexadecimal number its documentation gives; a Win32 error as its decimal one.
    std::string code = std::to_string(error_.code);
    if (error_.code >= 0x80000000u) {
        char hex[11];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(error_.code));
        code = hex;
    }
    text += "（" + error_.call + " 错误 " + code + "）";
    return text;
}

}  // namespace kx
