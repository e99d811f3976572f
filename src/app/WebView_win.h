#pragma once
// The web view control: the system's browser locked to the product site. Its window text is the address:
// setting it navigates, reading it gives the page shown or being loaded ("about:blank" before any).
// Addresses off the site and every window a page asks for go to the shell port; scripts, file addresses
// and unreadable addresses go nowhere. Without a usable engine the view is a stand-in that shows the
// address and opens it through the shell port on a click.
#include <windows.h>

#include <string>

#include "app/WebBrowserHost_win.h"
#include "base/Ports.h"

namespace kx {

inline constexpr wchar_t kWebViewClass[] = L"KxWebView";

// Given as the creation parameter (CreateWindowEx's last argument) of each web view window; copied.
struct WebViewSetup {
    ShellPort* shell = nullptr;
    std::string siteHost;
    HFONT font = nullptr;  // the stand-in's text
    BrowserFactory createBrowser = CreateSystemBrowser;
};

void RegisterWebViewClass(HINSTANCE instance);

// The view's browser, or null when it is the stand-in (tests read the host's properties through it).
BrowserHost* WebViewBrowser(HWND view);

// For the message loop, before the dialog keys: a key meant for a page (Tab between its links, copy,
// scrolling) goes to that page's browser first. True when the browser took it.
bool TranslateWebViewKey(MSG& msg);

}  // namespace kx
