// HTTP_DownLoad_Dll.dll: the five entry points over one DownloadJob per handle. No exception leaves
// an entry point; a null handle is answered with an empty record and otherwise ignored, so a caller
// whose Start failed cannot crash the program by polling or stopping it.
#include <new>

#include "download/DownloadApi.h"
#include "download/DownloadTransport_win.h"

namespace {

struct Download {
    Download(kx::ConnectionSettings settings, std::wstring target)
        : transport(std::move(settings)), store(std::move(target)) {}
    kx::WinInetTransport transport;
    kx::MappedTarget store;
    std::unique_ptr<kx::DownloadJob> job;  // declared last: it ends before the ports it uses
};

kx::OptionalText Copy(const wchar_t* text) {
    if (!text) return std::nullopt;
    return std::wstring(text);
}

}  // namespace

extern "C" {

kx::DownloadHandle KX_DOWNLOAD_CALL HTTP_DownLoad_Start(const wchar_t* address, const wchar_t* serverUser,
                                                        const wchar_t* serverPassword, const wchar_t* referrer,
                                                        const wchar_t* targetPath, int32_t threads, int32_t retries,
                                                        const wchar_t* proxy, const wchar_t* proxyUser,
                                                        const wchar_t* proxyPassword) {
    if (!address || !*address || !targetPath || !*targetPath) return nullptr;
    try {
        kx::ConnectionSettings settings;
        settings.address = address;
        settings.user = Copy(serverUser);
        settings.password = Copy(serverPassword);
        settings.referrer = Copy(referrer);
        settings.proxy = Copy(proxy);
        settings.proxyUser = Copy(proxyUser);
        settings.proxyPassword = Copy(proxyPassword);
        auto download = std::make_unique<Download>(std::move(settings), std::wstring(targetPath));
        kx::DownloadSettings jobSettings;
        jobSettings.threads = threads;
        jobSettings.retries = retries;
        download->job = kx::DownloadJob::Start(download->transport, download->store, std::move(jobSettings));
        if (!download->job) return nullptr;
        return download.release();
    } catch (...) {
        return nullptr;
    }
}

void KX_DOWNLOAD_CALL HTTP_DownLoad_Info(kx::DownloadHandle handle, kx::DownloadInfo* info) {
    if (!info) return;
    kx::DownloadInfo current{};
    if (handle) current = static_cast<Download*>(handle)->job->Info();
    // The four bytes after the state belong to the caller.
    info->state = current.state;
    info->received = current.received;
    info->total = current.total;
}

void KX_DOWNLOAD_CALL HTTP_DownLoad_Pause(kx::DownloadHandle handle) {
    if (handle) static_cast<Download*>(handle)->job->Pause();
}

void KX_DOWNLOAD_CALL HTTP_DownLoad_Restore(kx::DownloadHandle handle) {
    if (handle) static_cast<Download*>(handle)->job->Restore();
}

void KX_DOWNLOAD_CALL HTTP_DownLoad_Stop(kx::DownloadHandle handle) {
    if (!handle) return;
    auto* download = static_cast<Download*>(handle);
    try {
        download->job->Stop();
    } catch (...) {
        // Joining cannot fail for threads this job started; the handle is freed regardless.
    }
    delete download;
}

}  // extern "C"
