#pragma once
// What the web views may show. They are locked to the product site: the program runs elevated and the
// pages arrive over plain HTTP, so anything else goes to the user's own browser or nowhere.
#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

enum class WebRoute {
    Show,           // the view navigates there
    OpenInBrowser,  // cancelled in the view, handed to the shell's "open" (the default browser)
    Refuse,         // cancelled, and opened nowhere
};

enum class WebRequest {
    Page,       // the view's own page: a link, a form, an address the program sets
    Frame,      // a frame inside the page
    NewWindow,  // a window the page asks for
};

// The decision for `address` (as the browser reports it) in a view of the site `siteHost`
// ("host" or "host:port", as --site gives it).
WebRoute RouteWebAddress(std::string_view address, std::string_view siteHost, WebRequest request);

// The address a view reports: the browser's location, "about:blank" while nothing is loaded.
std::string ViewAddress(std::string_view location);

// The ambient download control the views' host answers (DISPID_AMBIENT_DLCONTROL): pictures yes; scripts,
// Java, ActiveX (run or download), behaviours, client pull and any user interface of the engine no.
// The values are the DLCTL_* flags of mshtmdid.h (the Windows half checks they agree).
namespace dlctl {
inline constexpr uint32_t kImages = 0x00000010;
inline constexpr uint32_t kNoScripts = 0x00000080;
inline constexpr uint32_t kNoJava = 0x00000100;
inline constexpr uint32_t kNoRunActiveX = 0x00000200;
inline constexpr uint32_t kNoDownloadActiveX = 0x00000400;
inline constexpr uint32_t kNoBehaviors = 0x00008000;
inline constexpr uint32_t kNoClientPull = 0x20000000;
inline constexpr uint32_t kSilent = 0x40000000;
}  // namespace dlctl
inline constexpr uint32_t kWebDownloadControl = dlctl::kImages | dlctl::kNoScripts | dlctl::kNoJava |
                                                dlctl::kNoRunActiveX | dlctl::kNoDownloadActiveX | dlctl::kNoBehaviors |
                                                dlctl::kNoClientPull | dlctl::kSilent;

}  // namespace kx
