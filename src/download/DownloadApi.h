#pragma once
// The binary interface of HTTP_DownLoad_Dll.dll: five stdcall entry points exported by ordinal, the
// record they fill and the state codes. The program binds the entry points by ordinal after loading the
// DLL; the DLL itself defines them with exactly these types.
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define KX_DOWNLOAD_CALL __stdcall
#else
#define KX_DOWNLOAD_CALL
#endif

namespace kx {

// One download's state as the DLL reports it.
enum DownloadState : uint32_t {
    kDownloadStopped = 0,
    kDownloadRunning = 1,
    kDownloadPaused = 2,
    kDownloadFailed = 4,
    kDownloadComplete = 8,
};

// Filled by HTTP_DownLoad_Info. The four bytes after the state are never written by the DLL.
struct DownloadInfo {
    uint32_t state;
    uint32_t unused;
    uint64_t received;  // bytes
    uint64_t total;     // bytes, known once Start has returned a handle
};
static_assert(sizeof(DownloadInfo) == 24);
static_assert(offsetof(DownloadInfo, state) == 0);
static_assert(offsetof(DownloadInfo, received) == 8);
static_assert(offsetof(DownloadInfo, total) == 16);

// Opaque handle of one download, or null.
using DownloadHandle = void*;

// Texts are zero-terminated UTF-16; a null text is absent. Counts are 32-bit: 0 threads means 4,
// 0 retries per range means 3. Returns null when the address cannot be downloaded with ranges or the
// target cannot be created; otherwise the total is known when it returns.
using HttpDownLoadStartFn = DownloadHandle(KX_DOWNLOAD_CALL*)(const wchar_t* address, const wchar_t* serverUser,
                                                              const wchar_t* serverPassword, const wchar_t* referrer,
                                                              const wchar_t* targetPath, int32_t threads,
                                                              int32_t retries, const wchar_t* proxy,
                                                              const wchar_t* proxyUser, const wchar_t* proxyPassword);
using HttpDownLoadInfoFn = void(KX_DOWNLOAD_CALL*)(DownloadHandle handle, DownloadInfo* info);
using HttpDownLoadPauseFn = void(KX_DOWNLOAD_CALL*)(DownloadHandle handle);    // 1 -> 2, else nothing
using HttpDownLoadRestoreFn = void(KX_DOWNLOAD_CALL*)(DownloadHandle handle);  // 2 -> 1, else nothing
// Ends the download, waits for every worker, closes the target (which keeps its full size) and frees
// the handle.
using HttpDownLoadStopFn = void(KX_DOWNLOAD_CALL*)(DownloadHandle handle);

// Export ordinals.
inline constexpr uint16_t kOrdinalHttpDownLoadInfo = 1;
inline constexpr uint16_t kOrdinalHttpDownLoadPause = 2;
inline constexpr uint16_t kOrdinalHttpDownLoadRestore = 3;
inline constexpr uint16_t kOrdinalHttpDownLoadStart = 4;
inline constexpr uint16_t kOrdinalHttpDownLoadStop = 5;

// The five entry points once bound; any of them null means the DLL could not be loaded.
struct DownloadEntryPoints {
    HttpDownLoadStartFn start = nullptr;
    HttpDownLoadStopFn stop = nullptr;
    HttpDownLoadPauseFn pause = nullptr;
    HttpDownLoadRestoreFn restore = nullptr;
    HttpDownLoadInfoFn info = nullptr;

    bool Bound() const { return start && stop && pause && restore && info; }
};

}  // namespace kx

#if defined(_WIN32)
// The DLL's own definitions (HttpDownloadDll_win.cpp); callers bind them by ordinal instead.
extern "C" {
kx::DownloadHandle KX_DOWNLOAD_CALL HTTP_DownLoad_Start(const wchar_t* address, const wchar_t* serverUser,
                                                        const wchar_t* serverPassword, const wchar_t* referrer,
                                                        const wchar_t* targetPath, int32_t threads, int32_t retries,
                                                        const wchar_t* proxy, const wchar_t* proxyUser,
                                                        const wchar_t* proxyPassword);
void KX_DOWNLOAD_CALL HTTP_DownLoad_Info(kx::DownloadHandle handle, kx::DownloadInfo* info);
void KX_DOWNLOAD_CALL HTTP_DownLoad_Pause(kx::DownloadHandle handle);
void KX_DOWNLOAD_CALL HTTP_DownLoad_Restore(kx::DownloadHandle handle);
void KX_DOWNLOAD_CALL HTTP_DownLoad_Stop(kx::DownloadHandle handle);
}
#endif
