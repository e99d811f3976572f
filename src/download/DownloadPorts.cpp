#include "download/DownloadPorts.h"

namespace kx {

std::wstring Utf16Of(const std::string& utf8) {
    std::wstring out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned char lead = s[i];
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xe ? 2 : (lead >> 3) == 0x1e ? 3 : -1;
        uint32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1f) : extra == 2 ? (lead & 0x0f) : (lead & 0x07);
        bool ok = extra >= 0 && i + extra < n;
        for (int k = 1; ok && k <= extra; ++k) {
            ok = (s[i + k] & 0xc0) == 0x80;
            cp = (cp << 6) | (s[i + k] & 0x3f);
        }
        // Overlong forms and surrogates are as malformed as a broken sequence.
        static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMinimum[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))) ok = false;
        if (!ok) {
            out += static_cast<wchar_t>(0xfffd);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xd800 + (cp >> 10));
            out += static_cast<wchar_t>(0xdc00 + (cp & 0x3ff));
        } else {
            out += static_cast<wchar_t>(cp);
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

DownloadHandle BoundComponent::Start(const std::string& address, const std::string& targetPath, int threads,
                                     int retries) {
    if (!Bound()) return nullptr;
    const std::wstring a = Utf16Of(address), t = Utf16Of(targetPath);
    return entryPoints_.start(a.c_str(), nullptr, nullptr, nullptr, t.c_str(), threads, retries, nullptr, nullptr,
                              nullptr);
}

DownloadInfo BoundComponent::Info(DownloadHandle handle) {
    DownloadInfo info{};
    if (Bound() && handle) entryPoints_.info(handle, &info);
    return info;
}

void BoundComponent::Pause(DownloadHandle handle) {
    if (Bound() && handle) entryPoints_.pause(handle);
}

void BoundComponent::Restore(DownloadHandle handle) {
    if (Bound() && handle) entryPoints_.restore(handle);
}

void BoundComponent::Stop(DownloadHandle handle) {
    if (Bound() && handle) entryPoints_.stop(handle);
}

}  // namespace kx
