// minizip's file functions over the C runtime, with paths that keep every character.
#include <algorithm>
#include <filesystem>

#include "userdata/FilePath.h"
#include "userdata/ZipShared.h"

namespace kx::zip {
namespace fs = std::filesystem;
namespace {

voidpf ZCALLBACK OpenStream(voidpf, const void* name, int mode) {
    const auto& path = *static_cast<const fs::path*>(name);
    const char* how = "rb";
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        how = (mode & ZLIB_FILEFUNC_MODE_EXISTING) ? "r+b" : "wb";
    std::FILE* file = OpenFile(path, how);
    if (file) std::setvbuf(file, nullptr, _IOFBF, 256 * 1024);
    return file;
}

uLong ZCALLBACK ReadStream(voidpf, voidpf stream, void* buffer, uLong size) {
    return static_cast<uLong>(std::fread(buffer, 1, size, static_cast<std::FILE*>(stream)));
}

uLong ZCALLBACK WriteStream(voidpf, voidpf stream, const void* buffer, uLong size) {
    return static_cast<uLong>(std::fwrite(buffer, 1, size, static_cast<std::FILE*>(stream)));
}

ZPOS64_T ZCALLBACK TellStream(voidpf, voidpf stream) { return TellFile(static_cast<std::FILE*>(stream)); }

long ZCALLBACK SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    int whence = origin == ZLIB_FILEFUNC_SEEK_CUR ? SEEK_CUR : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END : SEEK_SET;
    return SeekFile(static_cast<std::FILE*>(stream), offset, whence) == 0 ? 0 : -1;
}

int ZCALLBACK CloseStream(voidpf, voidpf stream) { return std::fclose(static_cast<std::FILE*>(stream)); }

int ZCALLBACK StreamError(voidpf, voidpf stream) { return std::ferror(static_cast<std::FILE*>(stream)); }

}  // namespace

zlib_filefunc64_def FileFunctions() {
    zlib_filefunc64_def f{};
    f.zopen64_file = OpenStream;
    f.zread_file = ReadStream;
    f.zwrite_file = WriteStream;
    f.ztell64_file = TellStream;
    f.zseek64_file = SeekStream;
    f.zclose_file = CloseStream;
    f.zerror_file = StreamError;
    return f;
}

uint32_t Le(std::string_view bytes, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace kx::zip
