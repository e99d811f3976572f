#pragma once
// Small file helpers of the Windows tests.
#include <windows.h>

#include <string>

#include "platform/Handle_win.h"
#include "text/Wide_win.h"

namespace kx::test {

inline std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(f.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

inline std::string ReadAll(const std::string& path) { return ReadAll(Widen(path)); }

}  // namespace kx::test
