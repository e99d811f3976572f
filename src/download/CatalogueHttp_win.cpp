#include "download/CatalogueHttp_win.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "platform/Handle_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::string ContentLength(HINTERNET request) {
    wchar_t text[32] = {0};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return {};
    return Narrow(text);
}

}  // namespace

std::string WinInetHttpGet::Get(const HttpGetRequest& r) {
    const std::wstring url = Widen(r.url);
    wchar_t host[256] = {0}, path[2048] = {0};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2047;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) || host[0] == 0) return {};

    // Direct: the system's proxy settings are not consulted.
    UniqueInternet session(InternetOpenW(Widen(r.userAgent).c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) return {};
    DWORD timeout = timeoutMs_;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
    UniqueInternet connection(
        InternetConnectW(session.get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return {};

    const std::wstring accept = Widen(r.accept);
    const wchar_t* acceptTypes[] = {accept.c_str(), nullptr};
    // Always from the server, never into the local cache.
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    UniqueInternet request(HttpOpenRequestW(connection.get(), L"GET", path[0] ? path : L"/", Widen(r.version).c_str(),
                                            nullptr, acceptTypes, flags, 0));
    if (!request) return {};
    // Wine's WinINet ignores the session's receive time-out for the request; the request's own is honoured
    // everywhere. (Setting its connect or send time-out there makes Wine fail every send.)
    InternetSetOptionW(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return {};

    std::vector<char> piece(CataloguePieceSize(ContentLength(request.get())));
    std::string body;
    while (body.size() < r.maxBody) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min(piece.size(), r.maxBody - body.size()));
        if (!InternetReadFile(request.get(), piece.data(), want, &read) || read == 0) break;
        body.append(piece.data(), read);
    }
    return body;
}

}  // namespace kx
