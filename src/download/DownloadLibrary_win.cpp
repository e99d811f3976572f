#include "download/DownloadLibrary_win.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "pe/MemoryLibrary_win.h"
#include "platform/Resources_win.h"

namespace kx {
namespace {

template <typename F>
F Bind(void* module, uint16_t ordinal) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetMemoryProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

}  // namespace

DownloadEntryPoints LoadDownloadComponent(const void* data, size_t size) {
    DownloadEntryPoints entry;
    if (!data || size == 0 || size > UINT32_MAX) return entry;
    // The loader reads a fresh copy rather than the resource section itself.
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(bytes, bytes + size);
    void* module = LoadLibraryFromMemory(copy.data(), static_cast<uint32_t>(copy.size()));
    if (!module) return entry;
    // In the order the program has always bound them; the module stays loaded for the life of the process.
    entry.start = Bind<HttpDownLoadStartFn>(module, kOrdinalHttpDownLoadStart);
    entry.stop = Bind<HttpDownLoadStopFn>(module, kOrdinalHttpDownLoadStop);
    entry.pause = Bind<HttpDownLoadPauseFn>(module, kOrdinalHttpDownLoadPause);
    entry.restore = Bind<HttpDownLoadRestoreFn>(module, kOrdinalHttpDownLoadRestore);
    entry.info = Bind<HttpDownLoadInfoFn>(module, kOrdinalHttpDownLoadInfo);
    if (!entry.Bound()) entry = DownloadEntryPoints{};
    return entry;
}

DownloadEntryPoints LoadDownloadComponent() {
    const std::string_view bytes = ProgramResource(L"HTTP_DOWNLOAD_DLL");
    return LoadDownloadComponent(bytes.data(), bytes.size());
}

}  // namespace kx
