#include "download/Catalogue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "ProgramRig.h"
#include "app/Handlers.h"
#include "text/Text.h"

namespace kx::test {
namespace {

constexpr const char* kUrl = "http://127.0.0.1:8080/vxsystem.htm";

std::vector<std::string> All(ImageCatalogue& c) {
    return {c.dz1.Get(), c.dz2.Get(), c.dz3.Get(), c.fdz1.Get(), c.fdz2.Get(), c.fdz3.Get()};
}

TEST(ExtractBetween, FirstStartMarkerThenFirstEndMarkerAfterIt) {
    EXPECT_EQ(ExtractBetween("a[x]b[y]", "[", "]", false), "x");
    EXPECT_EQ(ExtractBetween("a[x]b[y]", "[", "]", true), "[x");
    EXPECT_EQ(ExtractBetween("]a[x]", "[", "]", false), "x") << "an end marker before the start does not count";
    EXPECT_EQ(ExtractBetween("[[x]]", "[", "]", false), "[x");
    EXPECT_EQ(ExtractBetween("a[x", "[", "]", false), "");
    EXPECT_EQ(ExtractBetween("ax]", "[", "]", false), "");
    EXPECT_EQ(ExtractBetween("", "[", "]", false), "");
    EXPECT_EQ(ExtractBetween("[]", "[", "]", false), "");
    // An end marker found inside the start marker leaves nothing between the two, not a wrapped length.
    EXPECT_EQ(ExtractBetween("xabx", "ab", "b", false), "");
    EXPECT_EQ(ExtractBetween("xabx", "ab", "b", true), "a");
}

TEST(CataloguePage, TakesEachFieldVerbatim) {
    ImageCatalogue c;
    const std::string page =
        "<html>System images ***fdz3ks:http://b/3:fdz3js*** ***dz1ks:http://a/xp.gho:dz1js***"
        "***dz2ks: http://a/7 32\r\n<b>x</b>&amp;:dz2js***  ***dz3ks:https://a:8443/7_64:dz3js***"
        "***fdz1ks:ftp://odd:fdz1js******fdz2ks::fdz2js***</html>";
    ASSERT_TRUE(ApplyCataloguePage(page, c));
    EXPECT_EQ(All(c), (std::vector<std::string>{"http://a/xp.gho", " http://a/7 32\r\n<b>x</b>&amp;",
                                                "https://a:8443/7_64", "ftp://odd", "", "http://b/3"}));
}

TEST(CataloguePage, ValidityNeedsSystemInAnyCase) {
    ImageCatalogue c;
    c.dz1.Set("old");
    EXPECT_FALSE(ApplyCataloguePage("***dz1ks:new:dz1js*** sys tem", c));
    EXPECT_EQ(c.dz1.Get(), "old") << "an invalid page changes nothing";
    EXPECT_TRUE(ApplyCataloguePage("SYSTEM but no markers", c));
    EXPECT_EQ(All(c), std::vector<std::string>(6)) << "a valid page replaces every field, empty when missing";
    EXPECT_TRUE(ApplyCataloguePage("sYsTeM ***dz1ks:only:dz1js***", c));
    EXPECT_EQ(All(c), (std::vector<std::string>{"only", "", "", "", "", ""}));
}

TEST(CataloguePage, MarkersAreCaseSensitiveFirstOccurrenceWinsUnclosedIsEmpty) {
    ImageCatalogue c;
    ASSERT_TRUE(
        ApplyCataloguePage("system ***DZ1KS:upper:dz1js*** ***dz2ks:first:dz2js*** ***dz2ks:second:dz2js***"
                           " ***dz3ks:never closed ***fdz1ks:a ***fdz1ks:b:fdz1js***",
                           c));
    EXPECT_EQ(c.dz1.Get(), "");
    EXPECT_EQ(c.dz2.Get(), "first");
    EXPECT_EQ(c.dz3.Get(), "");
    EXPECT_EQ(c.fdz1.Get(), "a ***fdz1ks:b") << "nested start markers: the first one counts";
}

TEST(CataloguePage, EndsAtTheFirstZeroByteAndDecodesCodePage936) {
    ImageCatalogue c;
    std::string page = "system ***dz1ks:before:dz1js***";
    page += '\0';
    page += "***dz2ks:after:dz2js*** SYSTEM";
    ASSERT_TRUE(ApplyCataloguePage(page, c));
    EXPECT_EQ(c.dz1.Get(), "before");
    EXPECT_EQ(c.dz2.Get(), "");

    std::string hidden = "x";
    hidden += '\0';
    hidden += "system";
    EXPECT_FALSE(ApplyCataloguePage(hidden, c)) << "\"system\" after the zero byte is not part of the page";

    const std::string chinese = ToCodePage("系统 system ***dz1ks:http://a/系统.gho:dz1js***", kChineseCodePage);
    ASSERT_TRUE(ApplyCataloguePage(chinese, c));
    EXPECT_EQ(c.dz1.Get(), "http://a/系统.gho") << "stored as UTF-8 inside the program";
}

TEST(CataloguePage, SystemMustBeCharactersNotTheTrailByteOfAChineseCharacter) {
    // 0xB0 0x73 is one double-byte character whose second byte is 's'; "ystem" follows it.
    ImageCatalogue c;
    EXPECT_FALSE(ApplyCataloguePage("\xB0system", c));
}

TEST(CataloguePage, ArbitraryBytesNeverFail) {
    ImageCatalogue c;
    std::string noise;
    for (int i = 0; i < 200000; ++i) noise += static_cast<char>((i * 7919 + 13) % 255 + 1);
    ApplyCataloguePage(noise + "system***dz1ks:" + noise, c);
    EXPECT_EQ(c.dz1.Get(), "");
}

TEST(CataloguePieceSize, FromContentLength) {
    EXPECT_EQ(CataloguePieceSize(""), 10240u);
    EXPECT_EQ(CataloguePieceSize("0"), 10240u);
    EXPECT_EQ(CataloguePieceSize("-5"), 10240u);
    EXPECT_EQ(CataloguePieceSize("12x"), 10240u);
    EXPECT_EQ(CataloguePieceSize("4096"), 4096u);
    EXPECT_EQ(CataloguePieceSize("102401"), 102400u);
    EXPECT_EQ(CataloguePieceSize("99999999999999999999999999"), 102400u);
}

TEST(CatalogueFetch, RequestsThePageAsTheSiteExpectsAndPublishesTheFields) {
    FakeHttp http;
    http.Serve(kUrl, 200, "<title>system</title>***dz3ks:http://h/64:dz3js***");
    ImageCatalogue c;
    EXPECT_TRUE(CatalogueFetch("127.0.0.1:8080", http, c));
    ASSERT_EQ(http.requests.size(), 1u);
    const HttpGetRequest& r = http.requests[0];
    EXPECT_EQ(r.url, kUrl);
    EXPECT_EQ(r.userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    EXPECT_EQ(r.accept, "*/*");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.verb, "GET");
    EXPECT_EQ(c.dz3.Get(), "http://h/64");

    c.dz3.Set("kept");
    http.answers.clear();
    const Outcome failed = CatalogueFetch("127.0.0.1:8080", http, c);
    EXPECT_EQ(c.dz3.Get(), "kept") << "a failed request leaves the catalogue as it was";
    EXPECT_EQ(failed.Describe(), "连接服务器（HttpSendRequestW 错误 12029）") << "the port's reason is kept";
}

TEST(CatalogueFetch, AnErrorPageIsNoCatalogueHoweverItReadsAndTheStatusIsTheReason) {
    for (int status : {404, 500, 302}) {
        FakeHttp http;
        // An error page of a site may well say "system" and even carry old markers.
        http.Serve(kUrl, status, "<h1>Not Found</h1> the system could not find ***dz3ks:http://old/64:dz3js***");
        ImageCatalogue c;
        c.dz3.Set("kept");
        const Outcome fetched = CatalogueFetch("127.0.0.1:8080", http, c);
        EXPECT_FALSE(fetched) << status;
        EXPECT_EQ(fetched.Describe(), "服务器回答 HTTP " + std::to_string(status));
        EXPECT_EQ(c.dz3.Get(), "kept");
    }
    FakeHttp http;
    http.Serve(kUrl, 200, "<html>maintenance</html>");
    ImageCatalogue c;
    EXPECT_EQ(CatalogueFetch("127.0.0.1:8080", http, c).Describe(), "服务器返回的页面不是系统列表");
}

TEST(CatalogueFetch, RunsOnAnOwnedWorkerWithTheHostOfTheCommandLineAndTellsHowItEnded) {
    CatalogueState state;
    EXPECT_EQ(state.status.Get(), CatalogueStatus::NotFetched);
    FakeHttp http;
    http.Serve("http://127.0.0.1:9/vxsystem.htm", 200, "system ***dz1ks:x:dz1js***");
    StartCatalogueFetch("127.0.0.1:9", http, state);
    state.fetch.Wait();
    EXPECT_EQ(state.status.Get(), CatalogueStatus::Arrived);
    EXPECT_EQ(state.failure.Get(), "");
    EXPECT_EQ(state.catalogue.dz1.Get(), "x");
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0].url, "http://127.0.0.1:9/vxsystem.htm");

    FakeHttp notFound;
    notFound.Serve("http://127.0.0.1:9/vxsystem.htm", 404, "system ***dz1ks:y:dz1js***");
    StartCatalogueFetch("127.0.0.1:9", notFound, state);
    state.fetch.Wait();
    EXPECT_EQ(state.status.Get(), CatalogueStatus::Failed) << "an error page is no catalogue";
    EXPECT_EQ(state.failure.Get(), "服务器回答 HTTP 404") << "kept for the message at the next click";
    EXPECT_EQ(state.catalogue.dz1.Get(), "x");
}

TEST(CatalogueFetch, AStallingServerIsAbortedWhenTheWindowGoesAway) {
    Rig rig;
    FakeHttp http;
    http.stall = true;
    http.Serve(CatalogueUrl(rig.program.facts().catalogueHost), 200, "system");
    rig.program.ports().catalogueHttp = &http;
    StartCatalogueFetch(rig.program.facts().catalogueHost, http, rig.program.state().catalogue);
    http.WaitForRequest();
    EXPECT_TRUE(rig.program.state().catalogue.fetch.Running());
    // Without the abort the join below would wait for ever on the stalled request.
    rig.program.OnDestroying();
    EXPECT_FALSE(rig.program.state().catalogue.fetch.Running());
    EXPECT_EQ(rig.program.state().catalogue.status.Get(), CatalogueStatus::Failed);
}

}  // namespace
}  // namespace kx::test

namespace kx::test {
namespace {

TEST(Catalogue, EditionNumbersArePlainNumbersFromOneTo9999) {
    EXPECT_EQ(EditionNumber("2"), 2u);
    EXPECT_EQ(EditionNumber("9999"), 9999u);
    for (const char* bad : {"", "0", "10000", "-1", "2 ", "x"}) EXPECT_FALSE(EditionNumber(bad)) << bad;
}

}  // namespace
}  // namespace kx::test
