// File access for archives that may be larger than 2 GB and named in any language. Only the C runtime is
// used, so the zip component stays in the portable core.
#include "userdata/FilePath.h"

#include <cstdint>

namespace kx {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    // The ANSI fopen would lose every character outside the system code page.
    wchar_t wideMode[8] = {};
    for (int i = 0; i < 7 && mode[i]; ++i) wideMode[i] = static_cast<wchar_t>(mode[i]);
    return _wfopen(path.c_str(), wideMode);
#else
    return std::fopen(path.c_str(), mode);
#endif
}

int SeekFile(std::FILE* file, uint64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<int64_t>(offset), origin);
#else
    return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

uint64_t TellFile(std::FILE* file) {
#ifdef _WIN32
    return static_cast<uint64_t>(_ftelli64(file));
#else
    return static_cast<uint64_t>(ftello(file));
#endif
}

}  // namespace kx
