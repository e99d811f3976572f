#pragma once
// The catalogue page on the web site: where the three images are downloaded from. Fetched once per start
// on a thread of its own; its six addresses are published whole, each under its lock.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Outcome.h"
#include "base/Shared.h"
#include "base/Worker.h"

namespace kx {

// The download addresses of the three images (XP, Windows 7 32-bit, Windows 7 64-bit) from the catalogue page:
// primary dz1-dz3, fallback fdz1-fdz3. Empty until the catalogue arrives; each is replaced whole.
// sha1-sha3 are the images' optional SHA-256 digests, a field older programs never look for: empty when the
// page gives none, 64 lower-case hex digits for a digest, and otherwise the text the page gives (blanks
// around it dropped), which IsSha256Digest tells apart: an image with such a field is not downloaded.
//
// Entries 4 to 6 name the same three systems as Windows imaging files (WIM or ESD), which the build that
// installs with its own imaging engine downloads instead (Windows 7 32-bit, Windows 7 64-bit, XP): dz4-dz6,
// fdz4-fdz6, sha4-sha6 as above, and idx4-idx6, the edition in the file the catalogue offers (its number,
// as the page gives it; empty when the page gives none, and the user then chooses among the file's editions).
struct ImageCatalogue {
    Shared<std::string> dz1, dz2, dz3, fdz1, fdz2, fdz3;
    Shared<std::string> sha1, sha2, sha3;
    Shared<std::string> dz4, dz5, dz6, fdz4, fdz5, fdz6;
    Shared<std::string> sha4, sha5, sha6;
    Shared<std::string> idx4, idx5, idx6;
};

// Where the fetch stands, so that a click before the catalogue arrived can say so.
enum class CatalogueStatus { NotFetched, Fetching, Arrived, Failed };

struct CatalogueState {
    ImageCatalogue catalogue;  // written by the fetch only
    Shared<CatalogueStatus> status{CatalogueStatus::NotFetched};
    Shared<std::string> failure;  // why the last fetch failed, in the user's words; empty otherwise
    Worker fetch;
};

inline constexpr std::string_view kCataloguePath = "/vxsystem.htm";
inline constexpr std::string_view kCatalogueUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// A catalogue is a page of a few kilobytes; a server that keeps sending is cut off here.
inline constexpr size_t kCatalogueMaxBody = 1 << 20;

// One GET as the catalogue asks for it.
struct HttpGetRequest {
    std::string url;
    std::string userAgent;
    std::string accept = "*/*";
    std::string version = "HTTP/1.0";
    std::string verb = "GET";  // "HEAD" asks for the headers alone
    size_t maxBody = kCatalogueMaxBody;
};

// What the server answered: its status, the body (whatever the status, up to the request's limit) and the
// Content-Length header when it gave a number.
struct HttpReply {
    int status = 0;
    std::string body;
    std::optional<uint64_t> contentLength;
};

// Plain HTTP: always from the server (no cache read or written), always direct (no proxy, whatever the
// system's settings). A request that got no complete answer (no connection, a time-out, a body cut short,
// an abort) fails with the reason; any status the server gave is an answer.
class HttpGetPort {
public:
    virtual ~HttpGetPort() = default;
    virtual Result<HttpReply> Get(const HttpGetRequest& request) = 0;
    // Called from another thread: a Get under way ends at once (failed), and every later one fails.
    virtual void Abort() = 0;
};

// The text between the first `start` and the first `end` after it (from `start` itself when keepStart);
// empty when either is missing. Byte positions.
std::string ExtractBetween(std::string_view text, std::string_view start, std::string_view end, bool keepStart);

// The size of each read of the body, from the Content-Length header's text: the length up to 102400,
// or 10240 when the header is missing or not a positive number.
size_t CataloguePieceSize(std::string_view contentLength);

// "http://" + host + "/vxsystem.htm"; host may carry ":port".
std::string CatalogueUrl(std::string_view host);

// A SHA-256 digest as the catalogue writes it, in lower case; empty unless it is 64 hex digits (blanks
// around it are dropped).
std::string NormaliseSha256(std::string_view text);
// True for 64 lower-case hex digits, as NormaliseSha256 gives them.
bool IsSha256Digest(std::string_view text);

// The edition number of an idx field: 1 to 9999 as plain digits; nothing otherwise (an empty field included).
std::optional<uint32_t> EditionNumber(std::string_view text);

// Takes the addresses, the digests and the edition numbers from a page body (code page 936). A page without "system"
// (any letter case) changes nothing and returns false; otherwise every field is replaced, by an empty text
// when missing.
bool ApplyCataloguePage(std::string_view body, ImageCatalogue& catalogue);

// Requests the page and applies it. Never reports to the user; done when a catalogue page was applied, else
// the reason in the user's words (the server's status for an error page, however it reads).
Outcome CatalogueFetch(const std::string& host, HttpGetPort& http, ImageCatalogue& catalogue);

// Fetches the catalogue on the state's worker, once per start (CatalogueWorker.cpp).
void StartCatalogueFetch(const std::string& host, HttpGetPort& http, CatalogueState& state);

}  // namespace kx
