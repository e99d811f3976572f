#pragma once
// What the writing and the reading halves of the zip component share: minizip's file functions over
// std::filesystem paths, and the progress reports.
#include <ioapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "userdata/Zip.h"

namespace kx::zip {

inline constexpr size_t kChunk = 1 << 20;
inline constexpr unsigned long kUtf8NameFlag = 1 << 11;
inline constexpr char kPartSuffix[] = ".korvanix-part";

// minizip hands the "file name" through untouched: ours is a std::filesystem::path, so names keep every
// character on Windows (UTF-16) and on the host (UTF-8).
zlib_filefunc64_def FileFunctions();

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reports the whole percent done after every step of the work (a file, a folder, a buffer of up to
// kChunk bytes), so that a request to stop is heard within one buffer; remembers that request.
class Percent {
public:
    Percent(const ZipProgress& callback, uint64_t total) : callback_(callback), total_(total) { Report(0); }
    void SetTotal(uint64_t total) { total_ = total; }
    bool Advance(uint64_t amount) {
        done_ += amount;
        Report(total_ ? static_cast<int>(std::min<uint64_t>(done_, total_) * 100 / total_) : 0);
        return !stopped_;
    }
    void Finish() { Report(100); }
    bool stopped() const { return stopped_; }

private:
    void Report(int percent) {
        if (stopped_) return;
        if (callback_ && callback_(percent) != 0) stopped_ = true;
    }
    const ZipProgress& callback_;
    uint64_t total_, done_ = 0;
    bool stopped_ = false;
};

// A little-endian number of `size` bytes at `at`.
uint32_t Le(std::string_view bytes, size_t at, int size);
bool IsAscii(std::string_view s);

}  // namespace kx::zip
