#include "download/CatalogueHttp_win.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/Handle_win.h"
#include "text/Wide_win.h"

// The request runs in WinINet's asynchronous mode, so that Abort ends it at once. A synchronous call is
// documented to return when another thread closes its handle, but Wine's WinINet keeps such a call
// blocked until its time-out; the asynchronous calls return at once and report their completion
// through the status callback, and the thread waits for that or for the abort, whichever comes first.

namespace kx {

struct WinInetHttpGet::Call {
    UniqueKernelHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    DWORD error = 0;  // of the last completed step
    // Read into by WinINet, possibly after the Get that asked has returned.
    std::vector<char> piece;
    INTERNET_BUFFERSW buffer{};
    // Released by the request handle's last notification: WinINet may still call back after an abort.
    std::shared_ptr<Call> keepAlive;
};

namespace {

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD) {
    auto* call = reinterpret_cast<WinInetHttpGet::Call*>(context);
    if (!call) return;  // the session and the connection carry no call
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        call->error = static_cast<INTERNET_ASYNC_RESULT*>(info)->dwError;
        SetEvent(call->done.get());
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        call->keepAlive.reset();  // the last word on this handle
    }
}

std::string ContentLength(HINTERNET request) {
    wchar_t text[32] = {0};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return {};
    return Narrow(text);
}

std::optional<uint64_t> LengthNumber(const std::string& text) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return {};
    return std::stoull(text);
}

}  // namespace

WinInetHttpGet::WinInetHttpGet(unsigned timeoutMs)
    : timeoutMs_(timeoutMs), abortEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WinInetHttpGet::~WinInetHttpGet() { CloseHandle(abortEvent_); }

void WinInetHttpGet::Abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    SetEvent(abortEvent_);
}

Result<HttpReply> WinInetHttpGet::Get(const HttpGetRequest& r) {
    const std::wstring url = Widen(r.url);
    wchar_t host[256] = {0}, path[2048] = {0};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2047;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) || host[0] == 0)
        return Outcome::Failed("地址 " + r.url + " 无效", {GetLastError(), "InternetCrackUrlW"});
    const Outcome aborted = Outcome::Failed("请求已取消");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (aborted_) return aborted;
    }

    // Direct: the system's proxy settings are not consulted.
    UniqueInternet session(
        InternetOpenW(Widen(r.userAgent).c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
    if (!session) return Outcome::Failed("打开网络连接", {GetLastError(), "InternetOpenW"});
    InternetSetStatusCallbackW(session.get(), OnStatus);
    DWORD timeout = timeoutMs_;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
    UniqueInternet connection(
        InternetConnectW(session.get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Outcome::Failed("连接服务器", {GetLastError(), "InternetConnectW"});

    auto call = std::make_shared<Call>();
    if (!call->done) return Outcome::Failed("准备请求", {GetLastError(), "CreateEventW"});
    call->keepAlive = call;
    const std::wstring accept = Widen(r.accept);
    const wchar_t* acceptTypes[] = {accept.c_str(), nullptr};
    // Always from the server, never into the local cache.
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    UniqueInternet request(HttpOpenRequestW(connection.get(), Widen(r.verb).c_str(), path[0] ? path : L"/",
                                            Widen(r.version).c_str(), nullptr, acceptTypes, flags,
                                            reinterpret_cast<DWORD_PTR>(call.get())));
    if (!request) {
        const DWORD error = GetLastError();
        call->keepAlive.reset();
        return Outcome::Failed("准备请求", {error, "HttpOpenRequestW"});
    }
    // Wine's WinINet ignores the session's receive time-out for the request; the request's own is honoured
    // everywhere. (Setting its connect or send time-out there makes Wine fail every send.)
    InternetSetOptionW(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);

    // Waits for a step that answered "pending"; the step's failure, in the user's words, when it did not
    // complete without error in time.
    auto finished = [&](BOOL ok, const char* step, const char* what) -> Outcome {
        if (ok) return Outcome::Done();
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) return Outcome::Failed(what, {error, step});
        HANDLE events[] = {call->done.get(), abortEvent_};
        // The step's own time-out ends it within the same time; the extra second covers WinINet's report.
        const DWORD waited = WaitForMultipleObjects(2, events, FALSE, timeoutMs_ + 1000);
        if (waited == WAIT_OBJECT_0 + 1) return aborted;
        if (waited == WAIT_TIMEOUT || (waited == WAIT_OBJECT_0 && call->error == ERROR_INTERNET_TIMEOUT))
            return Outcome::Failed("服务器在 " + std::to_string(timeoutMs_ / 1000) + " 秒内没有回答");
        if (waited != WAIT_OBJECT_0) return Outcome::Failed(what, {GetLastError(), "WaitForMultipleObjects"});
        if (call->error != ERROR_SUCCESS) return Outcome::Failed(what, {call->error, step});
        return Outcome::Done();
    };
    if (Outcome sent =
            finished(HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0), "HttpSendRequestW", "连接服务器");
        !sent)
        return sent;

    HttpReply reply;
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return Outcome::Failed("读取服务器的回答", {GetLastError(), "HttpQueryInfoW"});
    reply.status = static_cast<int>(status);
    const std::string length = ContentLength(request.get());
    reply.contentLength = LengthNumber(length);
    call->piece.resize(CataloguePieceSize(length));
    const size_t limit = r.verb == "HEAD" ? 0 : r.maxBody;  // a HEAD answer has no body to wait for
    while (reply.body.size() < limit) {
        // Each read waits for data; one that completes with nothing is the end of the body.
        call->buffer = INTERNET_BUFFERSW{};
        call->buffer.dwStructSize = sizeof call->buffer;
        call->buffer.lpvBuffer = call->piece.data();
        call->buffer.dwBufferLength = static_cast<DWORD>(std::min(call->piece.size(), limit - reply.body.size()));
        if (Outcome read = finished(
                InternetReadFileExW(request.get(), &call->buffer, IRF_ASYNC, reinterpret_cast<DWORD_PTR>(call.get())),
                "InternetReadFileExW", "读取服务器的回答");
            !read)
            return read;
        if (call->buffer.dwBufferLength == 0) break;
        reply.body.append(call->piece.data(), call->buffer.dwBufferLength);
    }
    // A connection that closed before the announced length is a page cut short, not the page.
    if (reply.contentLength && reply.body.size() < std::min<uint64_t>(*reply.contentLength, limit))
        return Outcome::Failed("服务器的回答不完整");
    return reply;
}

}  // namespace kx
