#pragma once
// The catalogue request over WinINet.
#include <memory>
#include <mutex>

#include "download/Catalogue.h"

namespace kx {

class WinInetHttpGet final : public HttpGetPort {
public:
    // Connect, send and receive time-outs: a server that stalls ends the request after this long.
    explicit WinInetHttpGet(unsigned timeoutMs = 30000);
    ~WinInetHttpGet() override;
    Result<HttpReply> Get(const HttpGetRequest& request) override;
    void Abort() override;

    struct Call;  // one request in flight, shared with WinINet's callbacks

private:
    unsigned timeoutMs_;
    std::mutex mutex_;
    bool aborted_ = false;
    void* abortEvent_;  // set by Abort; every wait of a Get also ends on it
};

}  // namespace kx
