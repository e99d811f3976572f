#include <windows.h>

#include "text/Text.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::wstring ToWide(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string FromWide(std::wstring_view wide, unsigned codePage) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(utf8, CP_UTF8); }
std::string Narrow(std::wstring_view wide) { return FromWide(wide, CP_UTF8); }
std::string FromCodePage(std::string_view bytes, unsigned codePage) { return Narrow(ToWide(bytes, codePage)); }
std::string ToCodePage(std::string_view utf8, unsigned codePage) { return FromWide(Widen(utf8), codePage); }

}  // namespace kx
