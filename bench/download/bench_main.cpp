// Downloads one address with the download DLL as the program does (32 workers, 10 retries, polled),
// then prints one line: seconds from Start to the end, bytes, final state and the CPU seconds the
// process spent in that time.
// Usage: download_bench.exe DLL ADDRESS TARGET
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "download/DownloadApi.h"

namespace {

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

template <typename T>
T Bind(HMODULE module, uint16_t ordinal) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fwprintf(stderr, L"usage: download_bench DLL ADDRESS TARGET\n");
        return 2;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        fwprintf(stderr, L"cannot load %ls (%lu)\n", argv[1], GetLastError());
        return 1;
    }
    auto start = Bind<kx::HttpDownLoadStartFn>(module, kx::kOrdinalHttpDownLoadStart);
    auto info = Bind<kx::HttpDownLoadInfoFn>(module, kx::kOrdinalHttpDownLoadInfo);
    auto stop = Bind<kx::HttpDownLoadStopFn>(module, kx::kOrdinalHttpDownLoadStop);
    if (!start || !info || !stop) return 1;

    // The CPU the download itself costs, without the start of the Wine process.
    FILETIME created, exited, kernelBefore, userBefore, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelBefore, &userBefore);
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    kx::DownloadHandle handle = start(argv[2], nullptr, nullptr, nullptr, argv[3], 32, 10, nullptr, nullptr, nullptr);
    if (!handle) {
        fwprintf(stderr, L"Start failed\n");
        return 1;
    }
    kx::DownloadInfo record{};
    for (;;) {
        info(handle, &record);
        if (record.state != kx::kDownloadRunning && record.state != kx::kDownloadPaused) break;
        Sleep(20);
    }
    QueryPerformanceCounter(&end);
    stop(handle);

    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    printf("seconds=%.3f bytes=%llu state=%u user=%.2f kernel=%.2f\n",
           static_cast<double>(end.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart),
           static_cast<unsigned long long>(record.received), record.state, Seconds(user) - Seconds(userBefore),
           Seconds(kernel) - Seconds(kernelBefore));
    return record.state == kx::kDownloadComplete ? 0 : 1;
}
