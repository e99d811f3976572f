#include "download/CatalogueHttp_win.h"

// Winsock 2 must come before anything that includes <windows.h>.
#include "LoopbackServer.h"

#include <gtest/gtest.h>

#include "app/Program.h"

namespace kx {
namespace {

std::string Response(const std::string& body, bool withLength = true, const std::string& headers = "",
                     const std::string& status = "200 OK") {
    std::string r = "HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\n" + headers;
    if (withLength) r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return r + "\r\n" + body;
}

std::string Header(const std::string& head, const std::string& name) {
    size_t at = head.find("\r\n" + name + ":");
    if (at == std::string::npos) return {};
    at += name.size() + 3;
    while (at < head.size() && head[at] == ' ') ++at;
    return head.substr(at, head.find("\r\n", at) - at);
}

TEST(CatalogueRequest, GoesDirectlyToTheServerAsTheSiteExpects) {
    RecordingServer server([](int, const std::string&) {
        return Response("<html>System ***dz1ks:http://127.0.0.1/xp.gho:dz1js*** ***fdz3ks:http://m/64:fdz3js***");
    });
    // A proxy in the environment, as a user's settings might have it, must not be used.
    SetEnvironmentVariableA("http_proxy", "http://127.0.0.1:1");
    WinInetHttpGet http;
    ImageCatalogue catalogue;
    const Outcome fetched = CatalogueFetch(server.Host(), http, catalogue);
    SetEnvironmentVariableA("http_proxy", nullptr);
    EXPECT_TRUE(fetched) << fetched.Describe();

    EXPECT_EQ(catalogue.dz1.Get(), "http://127.0.0.1/xp.gho");
    EXPECT_EQ(catalogue.fdz3.Get(), "http://m/64");
    EXPECT_EQ(catalogue.dz2.Get(), "");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& head = requests[0];
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /vxsystem.htm HTTP/1.0") << head;
    EXPECT_EQ(Header(head, "Accept"), "*/*") << head;
    EXPECT_EQ(Header(head, "User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)") << head;
    EXPECT_EQ(Header(head, "Host"), server.Host());
    EXPECT_EQ(head.find("Proxy-"), std::string::npos) << head;
    EXPECT_EQ(head.find("Via:"), std::string::npos) << head;
}

TEST(CatalogueRequest, IsNeverAnsweredFromACache) {
    RecordingServer server([](int n, const std::string&) {
        return Response("system ***dz1ks:version " + std::to_string(n) + ":dz1js***", true,
                        "Cache-Control: max-age=86400\r\nExpires: Thu, 01 Jan 2037 00:00:00 GMT\r\n"
                        "Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\nETag: \"v1\"\r\n");
    });
    WinInetHttpGet http;
    ImageCatalogue catalogue;
    EXPECT_TRUE(CatalogueFetch(server.Host(), http, catalogue));
    EXPECT_EQ(catalogue.dz1.Get(), "version 0");
    EXPECT_TRUE(CatalogueFetch(server.Host(), http, catalogue));
    EXPECT_EQ(catalogue.dz1.Get(), "version 1") << "the second start reads the page from the server again";
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& head : requests)
        EXPECT_EQ(Header(head, "Pragma"), "no-cache") << "caches on the way must not answer either\n" << head;
    EXPECT_EQ(requests[1].find("If-Modified-Since"), std::string::npos) << requests[1];
    EXPECT_EQ(requests[1].find("If-None-Match"), std::string::npos) << requests[1];
}

TEST(CatalogueRequest, ReadsTheWholeBodyWithOrWithoutLengthUpToTheLimit) {
    std::string big(300000, 'x');
    for (size_t i = 0; i < big.size(); i += 1000) big[i] = static_cast<char>('a' + i / 1000 % 26);
    HttpGetRequest request;
    request.userAgent = "t";
    WinInetHttpGet http;
    {
        RecordingServer server([&](int n, const std::string&) { return Response(big, n == 0); });
        request.url = "http://" + server.Host() + "/vxsystem.htm";
        const Result<HttpReply> with = http.Get(request), without = http.Get(request);
        ASSERT_TRUE(with && without);
        EXPECT_EQ(with->body, big) << "with Content-Length";
        EXPECT_EQ(with->contentLength, big.size());
        EXPECT_EQ(without->body, big) << "without Content-Length";
        EXPECT_FALSE(without->contentLength);
    }
    {
        const std::string huge(3 * kCatalogueMaxBody, 'y');
        RecordingServer server([&](int, const std::string&) { return Response(huge, false); });
        request.url = "http://" + server.Host() + "/vxsystem.htm";
        const Result<HttpReply> reply = http.Get(request);
        ASSERT_TRUE(reply) << reply.outcome().Describe();
        EXPECT_EQ(reply->body.size(), kCatalogueMaxBody) << "a body without end is cut off";
    }
}

TEST(CatalogueRequest, TheStatusAndTheLengthAreReadAndAHeadRequestReadsNoBody) {
    RecordingServer server([](int n, const std::string&) {
        return n == 0 ? Response("<h1>system not found</h1>", true, "", "404 Not Found") : Response("0123456789");
    });
    WinInetHttpGet http;
    ImageCatalogue catalogue;
    EXPECT_EQ(CatalogueFetch(server.Host(), http, catalogue).Describe(), "服务器回答 HTTP 404");
    HttpGetRequest head;
    head.userAgent = "t";
    head.verb = "HEAD";
    head.url = "http://" + server.Host() + "/images/a.gho";
    const Result<HttpReply> reply = http.Get(head);
    ASSERT_TRUE(reply) << reply.outcome().Describe();
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->contentLength, 10u);
    EXPECT_EQ(reply->body, "");
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[1].substr(0, 5), "HEAD ");
}

TEST(CatalogueRequest, FailuresSayWhy) {
    HttpGetRequest request;
    request.userAgent = "t";
    WinInetHttpGet quick(500);
    {
        RecordingServer stalled([](int, const std::string&) { return Response("system"); }, 3000);
        request.url = "http://" + stalled.Host() + "/vxsystem.htm";
        const Result<HttpReply> reply = quick.Get(request);
        EXPECT_FALSE(reply) << "a server that does not answer";
        // Windows reports its time-out; Wine's WinINet ends the wait with the connection's error instead.
        const Outcome why = reply.outcome();
        EXPECT_TRUE(why.Describe().find("没有回答") != std::string::npos || why.error().code != 0) << why.Describe();
    }
    uint16_t closedPort = 0;
    {
        RecordingServer gone([](int, const std::string&) { return std::string(); });
        closedPort = static_cast<uint16_t>(std::stoi(gone.Host().substr(10)));
    }
    request.url = "http://127.0.0.1:" + std::to_string(closedPort) + "/vxsystem.htm";
    const Result<HttpReply> refused = quick.Get(request);
    EXPECT_FALSE(refused) << "nothing listening";
    EXPECT_NE(refused.outcome().error().code, 0u) << refused.outcome().Describe();
    request.url = "not an address";
    EXPECT_FALSE(quick.Get(request));
}

TEST(CatalogueRequest, AnAbortEndsARequestThatWaitsForAnAnswer) {
    // The server answers only after 10 s, and the request would wait up to a minute: the abort from another
    // thread (the window going away) ends it long before either.
    RecordingServer stalled([](int, const std::string&) { return Response("system"); }, 10000);
    WinInetHttpGet http(60000);
    HttpGetRequest request;
    request.userAgent = "t";
    request.url = "http://" + stalled.Host() + "/vxsystem.htm";
    Result<HttpReply> answer = HttpReply{0, "not returned", {}};
    const DWORD start = GetTickCount();
    std::thread fetch([&] { answer = http.Get(request); });
    while (stalled.Requests().empty()) Sleep(10);
    http.Abort();
    fetch.join();
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(answer.outcome().Describe(), "请求已取消");
    EXPECT_LT(took, 8000u) << "the request ran on after the abort";
    EXPECT_FALSE(http.Get(request)) << "an aborted port stays aborted";
    EXPECT_EQ(stalled.Requests().size(), 1u);
}

}  // namespace
}  // namespace kx
