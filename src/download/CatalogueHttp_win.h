#pragma once
// The catalogue request over WinINet.
#include <windows.h>

#include <wininet.h>

#include <mutex>

#include "download/Catalogue.h"

namespace kx {

class WinInetHttpGet final : public HttpGetPort {
public:
    // Connect, send and receive time-outs: a server that stalls ends the request after this long.
    explicit WinInetHttpGet(unsigned timeoutMs = 30000) : timeoutMs_(timeoutMs) {}
    std::string Get(const HttpGetRequest& request) override;
    void Abort() override;

private:
    unsigned timeoutMs_;
    std::mutex mutex_;
    HINTERNET request_ = nullptr;  // the request of the Get in progress, for Abort
    bool aborted_ = false;
};

}  // namespace kx
