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
};

bool ContainsIgnoringCase(std::string_view text, std::string_view lowerWord) {
    auto it = std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a + ('a' - 'A')) : a) == b;
    });
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

bool ApplyCataloguePage(std::string_view body, ImageCatalogue& catalogue) {
    body = body.substr(0, body.find('\0'));
    // The validity test reads characters, not bytes: a trail byte of a double-byte character may be a letter.
    if (!ContainsIgnoringCase(FromCodePage(body, kChineseCodePage), "system")) return false;
    // The markers start with '*' or ':', which are never trail bytes in code page 936, so a byte search
    // finds them only at character boundaries.
    for (const Field& f : kFields)
        (catalogue.*f.address).Set(FromCodePage(ExtractBetween(body, f.start, f.end, false), kChineseCodePage));
    return true;
}

bool CatalogueFetch(const std::string& host, HttpGetPort& http, ImageCatalogue& catalogue) {
    HttpGetRequest request;
    request.url = CatalogueUrl(host);
    request.userAgent = std::string(kCatalogueUserAgent);
    const std::string body = http.Get(request);
    return !body.empty() && ApplyCataloguePage(body, catalogue);
}

void StartCatalogueFetch(const std::string& host, HttpGetPort& http, CatalogueState& state) {
    state.status.Set(CatalogueStatus::Fetching);
    state.fetch.Start([host, &http, &state](const StopToken&) {
        bool arrived = false;
        try {
            arrived = CatalogueFetch(host, http, state.catalogue);
        } catch (...) {
            // A failed fetch leaves the catalogue as it was, like an unreachable server.
        }
        state.status.Set(arrived ? CatalogueStatus::Arrived : CatalogueStatus::Failed);
    });
}

void StopCatalogueFetch(HttpGetPort& http, CatalogueState& state, const Worker::Idle& idle) {
    if (!state.fetch.Running()) return;
    http.Abort();
    state.fetch.Stop(idle);
}

}  // namespace kx
