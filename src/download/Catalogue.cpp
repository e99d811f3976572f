#include "download/Catalogue.h"

#include <algorithm>

#include "text/Text.h"

namespace kx {
namespace {

struct Field {
    Shared<std::string> ImageCatalogue::*address;
    std::string_view start, end;
};

// In the order the page is read.
const Field kFields[] = {
    {&ImageCatalogue::dz1, "***dz1ks:", ":dz1js***"},    {&ImageCatalogue::dz2, "***dz2ks:", ":dz2js***"},
    {&ImageCatalogue::dz3, "***dz3ks:", ":dz3js***"},    {&ImageCatalogue::fdz1, "***fdz1ks:", ":fdz1js***"},
    {&ImageCatalogue::fdz2, "***fdz2ks:", ":fdz2js***"}, {&ImageCatalogue::fdz3, "***fdz3ks:", ":fdz3js***"},
    {&ImageCatalogue::dz4, "***dz4ks:", ":dz4js***"},    {&ImageCatalogue::dz5, "***dz5ks:", ":dz5js***"},
    {&ImageCatalogue::dz6, "***dz6ks:", ":dz6js***"},    {&ImageCatalogue::fdz4, "***fdz4ks:", ":fdz4js***"},
    {&ImageCatalogue::fdz5, "***fdz5ks:", ":fdz5js***"}, {&ImageCatalogue::fdz6, "***fdz6ks:", ":fdz6js***"},
    {&ImageCatalogue::idx4, "***idx4ks:", ":idx4js***"}, {&ImageCatalogue::idx5, "***idx5ks:", ":idx5js***"},
    {&ImageCatalogue::idx6, "***idx6ks:", ":idx6js***"},
};

// The digests follow the addresses' marker pattern, so a page can carry them beside each address.
const Field kDigests[] = {
    {&ImageCatalogue::sha1, "***sha1ks:", ":sha1js***"}, {&ImageCatalogue::sha2, "***sha2ks:", ":sha2js***"},
    {&ImageCatalogue::sha3, "***sha3ks:", ":sha3js***"}, {&ImageCatalogue::sha4, "***sha4ks:", ":sha4js***"},
    {&ImageCatalogue::sha5, "***sha5ks:", ":sha5js***"}, {&ImageCatalogue::sha6, "***sha6ks:", ":sha6js***"},
};

bool ContainsIgnoringCase(std::string_view text, std::string_view lowerWord) {
    auto it = std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(),
                          [](char a, char b) { return AsciiLower(a) == b; });
    return it != text.end();
}

}  // namespace

std::string ExtractBetween(std::string_view text, std::string_view start, std::string_view end, bool keepStart) {
    const size_t s = text.find(start);
    if (s == std::string_view::npos) return {};
    const size_t e = text.find(end, s);
    if (e == std::string_view::npos) return {};
    const size_t from = keepStart ? s : s + start.size();
    // An end marker that overlaps the start marker ends before the value begins: nothing between them.
    if (e < from) return {};
    return std::string(text.substr(from, e - from));
}

size_t CataloguePieceSize(std::string_view contentLength) {
    constexpr size_t kDefault = 10240, kMax = 102400;
    if (contentLength.empty()) return kDefault;
    size_t value = 0;
    for (char c : contentLength) {
        if (c < '0' || c > '9') return kDefault;
        value = std::min<size_t>(value * 10 + static_cast<size_t>(c - '0'), kMax);
    }
    return value == 0 ? kDefault : value;
}

std::string CatalogueUrl(std::string_view host) { return "http://" + std::string(host) + std::string(kCataloguePath); }

std::string NormaliseSha256(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (text.size() != 64) return {};
    std::string digest;
    for (char ch : text) {
        ch = AsciiLower(ch);
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return {};
        digest += ch;
    }
    return digest;
}

bool IsSha256Digest(std::string_view text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<uint32_t> EditionNumber(std::string_view text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    uint32_t n = 0;
    for (char ch : text) n = n * 10 + static_cast<uint32_t>(ch - '0');
    if (n == 0) return std::nullopt;
    return n;
}

bool ApplyCataloguePage(std::string_view body, ImageCatalogue& catalogue) {
    body = body.substr(0, body.find('\0'));
    // The validity test reads characters, not bytes: a trail byte of a double-byte character may be a letter.
    if (!ContainsIgnoringCase(FromCodePage(body, kChineseCodePage), "system")) return false;
    // The markers start with '*' or ':', which are never trail bytes in code page 936, so a byte search
    // finds them only at character boundaries.
    for (const Field& f : kFields)
        (catalogue.*f.address).Set(FromCodePage(ExtractBetween(body, f.start, f.end, false), kChineseCodePage));
    for (const Field& f : kDigests) {
        // A field that is there but holds no digest is kept as written, so that the image it guards is
        // refused instead of downloaded unchecked.
        const std::string text = FromCodePage(ExtractBetween(body, f.start, f.end, false), kChineseCodePage);
        const std::string digest = NormaliseSha256(text);
        const size_t first = text.find_first_not_of(" \t\r\n");
        (catalogue.*f.address)
            .Set(!digest.empty() || first == std::string::npos
                     ? digest
                     : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
    }
    return true;
}

Outcome CatalogueFetch(const std::string& host, HttpGetPort& http, ImageCatalogue& catalogue) {
    HttpGetRequest request;
    request.url = CatalogueUrl(host);
    request.userAgent = std::string(kCatalogueUserAgent);
    const Result<HttpReply> reply = http.Get(request);
    if (!reply) return reply.outcome();
    // An error page may well mention "system" (a site's 404 page often does): only a success is a catalogue.
    if (reply->status < 200 || reply->status > 299)
        return Outcome::Failed("服务器回答 HTTP " + std::to_string(reply->status));
    if (!ApplyCataloguePage(reply->body, catalogue)) return Outcome::Failed("服务器返回的页面不是系统列表");
    return Outcome::Done();
}

}  // namespace kx
