#pragma once
// Paths are UTF-8 inside the program; std::filesystem turns them into the system's own form
// (UTF-16 on Windows, bytes on the host).
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace kx {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    std::u8string s = path.u8string();
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

// fopen with a path that keeps every character (_wfopen on Windows). mode: "rb", "wb", "r+b".
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);
// 64-bit positions on both targets.
int SeekFile(std::FILE* file, uint64_t offset, int origin);
uint64_t TellFile(std::FILE* file);

}  // namespace kx
