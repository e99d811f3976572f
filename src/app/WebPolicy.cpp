// The web views' navigation rules, as one pure function the browser host asks before every navigation.
#include "app/WebPolicy.h"

#include <algorithm>
#include <optional>

#include "text/Text.h"

namespace kx {
namespace {

// Longer addresses are cut by parts of the engine (INTERNET_MAX_URL_LENGTH); none of the site's are that long.
constexpr size_t kMaxAddress = 2083;

// Spaces, control characters and bytes beyond ASCII: an engine or the shell would each read such an
// address its own way (quoting, code pages, look-alike host names), so none is followed anywhere.
bool PlainAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        auto b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x7F;
    });
}

std::optional<std::string> Scheme(std::string_view address) {
    size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string_view scheme = address.substr(0, colon);
    auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!isLetter(scheme[0])) return std::nullopt;
    for (char c : scheme)
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return std::nullopt;
    return AsciiLower(scheme);
}

struct Authority {
    std::string host;  // lower case
    int port = 0;
};

// "host[:port]" with the scheme's default port; nothing when the text is no host at all.
std::optional<Authority> ParseAuthority(std::string_view text, int defaultPort) {
    size_t at = text.rfind('@');
    if (at != std::string_view::npos) text = text.substr(at + 1);  // user names are not the host
    Authority a{"", defaultPort};
    size_t colon = text.rfind(':');
    if (colon != std::string_view::npos && text.find(']', colon) == std::string_view::npos) {
        std::string_view port = text.substr(colon + 1);
        text = text.substr(0, colon);
        if (!port.empty()) {
            if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return std::nullopt;
            a.port = std::stoi(std::string(port));
            if (a.port > 65535) return std::nullopt;
        }
    }
    if (text.empty()) return std::nullopt;
    a.host = AsciiLower(text);
    return a;
}

// The host part of an http(s) address. The engine reads a backslash as a slash, so it ends the host too
// ("http://site\@elsewhere/" must not pass for the site).
std::optional<Authority> HostOf(std::string_view address, const std::string& scheme) {
    std::string_view rest = address.substr(scheme.size() + 1);
    if (rest.size() < 2 || (rest[0] != '/' && rest[0] != '\\') || (rest[1] != '/' && rest[1] != '\\'))
        return std::nullopt;
    rest = rest.substr(2);
    return ParseAuthority(rest.substr(0, rest.find_first_of("/\\?#")), scheme == "https" ? 443 : 80);
}

}  // namespace

WebRoute RouteWebAddress(std::string_view address, std::string_view siteHost, WebRequest request) {
    if (address.empty() || address.size() > kMaxAddress || !PlainAscii(address)) return WebRoute::Refuse;
    std::optional<std::string> scheme = Scheme(address);
    if (!scheme) return WebRoute::Refuse;
    // A page's frames stay within the site too, but a frame never opens the user's browser on its own.
    WebRoute elsewhere = request == WebRequest::Frame ? WebRoute::Refuse : WebRoute::OpenInBrowser;
    if (*scheme == "about")
        return AsciiLower(address) == "about:blank" && request != WebRequest::NewWindow ? WebRoute::Show
                                                                                        : WebRoute::Refuse;
    if (*scheme == "http" || *scheme == "https") {
        std::optional<Authority> host = HostOf(address, *scheme);
        if (!host) return WebRoute::Refuse;
        std::optional<Authority> site = ParseAuthority(siteHost, 80);
        bool onSite = *scheme == "http" && site && host->host == site->host && host->port == site->port;
        // New windows are never the program's: even a page of the site opens in the user's browser.
        return onSite && request != WebRequest::NewWindow ? WebRoute::Show : elsewhere;
    }
    if (*scheme == "ftp" || *scheme == "mailto") return elsewhere;
    // javascript:, vbscript:, file:, res:, data: and every other scheme: nothing the site needs, and in
    // an elevated program a local file or a script run from an address is not to be opened at all.
    return WebRoute::Refuse;
}

std::string ViewAddress(std::string_view location) { return location.empty() ? "about:blank" : std::string(location); }

}  // namespace kx
