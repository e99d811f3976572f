#pragma once
// The download component's Windows ports: WinINet requests and the target file mapped in views.
#include <windows.h>

#include <optional>
#include <string>

#include "download/DownloadComponent.h"
#include "platform/Handle_win.h"

namespace kx {

// A null text from the caller is absent; an empty one is kept as given.
using OptionalText = std::optional<std::wstring>;

struct ConnectionSettings {
    std::wstring address;
    OptionalText user;
    OptionalText password;
    OptionalText referrer;
    OptionalText proxy;
    OptionalText proxyUser;
    OptionalText proxyPassword;
};

class WinInetTransport final : public HttpTransport {
public:
    explicit WinInetTransport(ConnectionSettings settings);
    std::unique_ptr<HttpResponse> Get(uint64_t first, uint64_t last) override;

private:
    ConnectionSettings settings_;
    bool valid_ = false;
    bool secure_ = false;
    uint16_t port_ = 0;
    std::wstring host_;
    std::wstring object_;  // path and query
};

class MappedTarget final : public TargetStore {
public:
    explicit MappedTarget(std::wstring path);
    ~MappedTarget() override;
    bool Create(uint64_t total) override;
    std::unique_ptr<RangeView> Map(uint64_t first, uint64_t length) override;
    void Close() override;

private:
    std::wstring path_;
    UniqueFile file_;
    UniqueKernelHandle mapping_;
    DWORD granularity_ = 65536;
};

}  // namespace kx
