#pragma once
// The catalogue request over WinINet.
#include "download/Catalogue.h"

namespace kx {

class WinInetHttpGet final : public HttpGetPort {
public:
    // Connect, send and receive time-outs: a server that stalls ends the request after this long.
    explicit WinInetHttpGet(unsigned timeoutMs = 30000) : timeoutMs_(timeoutMs) {}
    std::string Get(const HttpGetRequest& request) override;

private:
    unsigned timeoutMs_;
};

}  // namespace kx
