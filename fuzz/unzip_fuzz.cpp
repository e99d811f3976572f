// The zip component's extraction on arbitrary bytes: no crash, and nothing written outside the destination.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "userdata/Zip.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path root = [] {
        std::string pattern = (fs::temp_directory_path() / "kx-unzip-fuzz-XXXXXX").string();
        return fs::path(mkdtemp(pattern.data()));
    }();
    const fs::path archive = root / "input.zip", dest = root / "dest";
    std::ofstream(archive, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    kx::UnzipArchive(archive.string(), dest.string());
    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.path() != archive && entry.path() != dest) std::abort();  // something escaped the destination
    }
    fs::remove_all(dest);
    return 0;
}
