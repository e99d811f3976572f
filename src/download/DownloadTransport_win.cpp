#include "download/DownloadTransport_win.h"

#include <wininet.h>

#include <utility>

#include "platform/Handle_win.h"

namespace kx {

namespace {

constexpr DWORD kTimeoutMs = 90000;

const wchar_t* TextOrNull(const OptionalText& text) { return text ? text->c_str() : nullptr; }

// Written out by hand: the printf family of Windows XP's C runtime knows no "%llu".
std::wstring Decimal(uint64_t value) {
    wchar_t digits[24];
    size_t at = sizeof(digits) / sizeof(digits[0]);
    do {
        digits[--at] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value);
    return std::wstring(digits + at, digits + sizeof(digits) / sizeof(digits[0]));
}

std::string ToUtf8(const wchar_t* text, size_t length) {
    if (length == 0) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), size, nullptr, nullptr);
    return result;
}

std::optional<std::string> QueryHeader(HINTERNET request, DWORD which) {
    wchar_t buffer[512];
    DWORD size = sizeof(buffer);
    DWORD index = 0;
    if (!HttpQueryInfoW(request, which, buffer, &size, &index)) return std::nullopt;
    return ToUtf8(buffer, size / sizeof(wchar_t));
}

class WinInetResponse final : public HttpResponse {
public:
    WinInetResponse(UniqueInternet session, UniqueInternet connection, UniqueInternet request)
        : session_(std::move(session)), connection_(std::move(connection)), request_(std::move(request)) {}
    ~WinInetResponse() override {
        // Children first: a request outliving its session is undefined in WinINet.
        request_.reset();
        connection_.reset();
        session_.reset();
    }
    int64_t Read(uint8_t* buffer, size_t size) override {
        DWORD read = 0;
        if (!InternetReadFile(request_.get(), buffer, static_cast<DWORD>(size), &read)) return -1;
        return read;
    }
    HINTERNET Request() const { return request_.get(); }

private:
    UniqueInternet session_;
    UniqueInternet connection_;
    UniqueInternet request_;
};

}  // namespace

WinInetTransport::WinInetTransport(ConnectionSettings settings) : settings_(std::move(settings)) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(settings_.address.c_str(), 0, 0, &parts)) return;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0) return;
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;
    // InternetCrackUrl fills in 80 or 443 when the address names no port.
    port_ = parts.nPort;
    host_.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (parts.lpszUrlPath) object_.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) object_.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object_.empty()) object_ = L"/";
    valid_ = true;
}

std::unique_ptr<HttpResponse> WinInetTransport::Get(uint64_t first, uint64_t last) {
    if (!valid_) return nullptr;
    UniqueInternet session(InternetOpenW(nullptr,
                                         settings_.proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
                                         TextOrNull(settings_.proxy), nullptr, 0));
    if (!session) return nullptr;
    DWORD timeout = kTimeoutMs;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(session.get(), option, &timeout, sizeof(timeout));
    }
    UniqueInternet connection(InternetConnectW(session.get(), host_.c_str(), port_, TextOrNull(settings_.user),
                                               TextOrNull(settings_.password), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return nullptr;

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                  INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    if (secure_)
        flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
    const wchar_t* accept[] = {L"*/*", nullptr};
    UniqueInternet request(HttpOpenRequestW(connection.get(), L"GET", object_.c_str(), nullptr,
                                            TextOrNull(settings_.referrer), accept, flags, 0));
    if (!request) return nullptr;
    if (settings_.proxyUser) {
        InternetSetOptionW(request.get(), INTERNET_OPTION_PROXY_USERNAME,
                           const_cast<wchar_t*>(settings_.proxyUser->c_str()),
                           static_cast<DWORD>(settings_.proxyUser->size()));
    }
    if (settings_.proxyPassword) {
        InternetSetOptionW(request.get(), INTERNET_OPTION_PROXY_PASSWORD,
                           const_cast<wchar_t*>(settings_.proxyPassword->c_str()),
                           static_cast<DWORD>(settings_.proxyPassword->size()));
    }

    std::wstring range = L"Range: bytes=" + Decimal(first) + L"-" + Decimal(last) + L"\r\n";
    const wchar_t* header = range.c_str();
    if (!HttpSendRequestW(request.get(), header, static_cast<DWORD>(-1), nullptr, 0)) {
        // A certificate from an authority this machine does not know (self-signed, a private CA, an XP
        // without updated roots) is accepted on the second try, as a browser's "continue" would.
        if (!secure_ || GetLastError() != ERROR_INTERNET_INVALID_CA) return nullptr;
        DWORD security = 0;
        DWORD size = sizeof(security);
        InternetQueryOptionW(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
        security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;
        InternetSetOptionW(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
        if (!HttpSendRequestW(request.get(), header, static_cast<DWORD>(-1), nullptr, 0)) return nullptr;
    }

    auto response = std::make_unique<WinInetResponse>(std::move(session), std::move(connection), std::move(request));
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(response->Request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return nullptr;
    }
    response->status = static_cast<int>(status);
    response->lastModified = QueryHeader(response->Request(), HTTP_QUERY_LAST_MODIFIED);
    response->etag = QueryHeader(response->Request(), HTTP_QUERY_ETAG);
    response->contentRange = QueryHeader(response->Request(), HTTP_QUERY_CONTENT_RANGE);
    return response;
}

// The target is sized by its mapping and written through one view per range attempt rather than one
// view of the whole file: a 32-bit process has about 2 GB of address space, and the images are 3-5 GB.
// A range is at most 1 MB, so 32 workers hold about 34 MB of views at a time whatever the file size,
// and 64-bit view offsets reach every byte of a file over 4 GB.
MappedTarget::MappedTarget(std::wstring path) : path_(std::move(path)) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    if (info.dwAllocationGranularity) granularity_ = info.dwAllocationGranularity;
}

MappedTarget::~MappedTarget() { Close(); }

bool MappedTarget::Create(uint64_t total) {
    Close();
    file_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return false;
    if (total == 0) return true;  // an empty file cannot be mapped, and needs no mapping
    mapping_.reset(CreateFileMappingW(file_.get(), nullptr, PAGE_READWRITE, static_cast<DWORD>(total >> 32),
                                      static_cast<DWORD>(total), nullptr));
    if (!mapping_) {
        Close();
        return false;
    }
    return true;
}

namespace {

class MappedView final : public RangeView {
public:
    MappedView(UniqueMappedView view, size_t offset) : view_(std::move(view)), offset_(offset) {}
    uint8_t* Data() override { return static_cast<uint8_t*>(view_.get()) + offset_; }

private:
    UniqueMappedView view_;
    size_t offset_;
};

}  // namespace

std::unique_ptr<RangeView> MappedTarget::Map(uint64_t first, uint64_t length) {
    if (!mapping_ || length == 0) return nullptr;
    // A view must start on the allocation granularity.
    uint64_t start = first - first % granularity_;
    uint64_t span = first - start + length;
    if (span > SIZE_MAX) return nullptr;
    UniqueMappedView view(MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, static_cast<DWORD>(start >> 32),
                                        static_cast<DWORD>(start), static_cast<SIZE_T>(span)));
    if (!view) return nullptr;
    return std::make_unique<MappedView>(std::move(view), static_cast<size_t>(first - start));
}

void MappedTarget::Close() {
    // The mapping before the file it maps.
    mapping_.reset();
    file_.reset();
}

}  // namespace kx
