#include "app/WebView_win.h"

#include <memory>

#include "app/Theme_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// Posted to itself when the view's own page ended up off the site (a server's redirect, which raises no
// navigation event of its own): the view leaves it once the engine's event is over.
constexpr UINT kLeavePageMessage = WM_APP + 0x40;
constexpr char kBlank[] = "about:blank";

struct WebView {
    WebViewSetup setup;
    std::unique_ptr<BrowserHost> browser;  // null: the stand-in
    std::string locationBefore;            // the browser's location when the latest navigation began
};

WebView* ViewOf(HWND hwnd) { return reinterpret_cast<WebView*>(GetWindowLongPtrW(hwnd, 0)); }

// The window text is where the address lives, for the window port and for other processes (the
// scenario driver reads it with WM_GETTEXT). The view writes it past its own WM_SETTEXT handling.
void StoreAddress(HWND hwnd, const std::string& address) {
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(address).c_str()));
    InvalidateRect(hwnd, nullptr, FALSE);
}

// Past the view's own WM_GETTEXT handling, which brings the address up to date first.
std::string StoredAddress(HWND hwnd) {
    auto n = static_cast<int>(DefWindowProcW(hwnd, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(n + 1, L'\0');
    n = static_cast<int>(DefWindowProcW(hwnd, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(n);
    return Narrow(text);
}

void Note(const std::string& what) { OutputDebugStringW(Widen("Korvanix web view: " + what + "\n").c_str()); }

void OpenInBrowser(WebView& view, const std::string& address) {
    if (view.setup.shell) view.setup.shell->OpenUrl(address);
}

// The rule for every address the view meets; true when the view itself is to go there.
bool Follow(HWND hwnd, WebView& view, const std::string& address, WebRequest request) {
    switch (RouteWebAddress(address, view.setup.siteHost, request)) {
        case WebRoute::Show:
            // From now on the view reports the page it is loading: asked again before the server
            // answered, the program sees the page already on its way and does not ask twice.
            if (request == WebRequest::Page) {
                StoreAddress(hwnd, address);
                if (view.browser) view.locationBefore = view.browser->Location();
            }
            return true;
        case WebRoute::OpenInBrowser:
            OpenInBrowser(view, address);
            return false;
        case WebRoute::Refuse:
            Note("refused " + address);
            return false;
    }
    return false;
}

// Setting the text: the address the program (or a person, through the window port) gives the view.
LRESULT SetAddress(HWND hwnd, WebView& view, const wchar_t* text) {
    std::string address = text ? Narrow(text) : std::string();
    if (!Follow(hwnd, view, address, WebRequest::Page)) return FALSE;
    if (!view.browser) return TRUE;  // the stand-in shows the address it keeps
    Outcome navigated = view.browser->Navigate(address);
    if (!navigated) Note(navigated.Describe());
    return TRUE;
}

// The view's own page is now `address`, after the server's redirects.
void Arrive(HWND hwnd, WebView& view, const std::string& address) {
    switch (RouteWebAddress(address, view.setup.siteHost, WebRequest::Page)) {
        case WebRoute::Show:
            StoreAddress(hwnd, ViewAddress(address));
            break;
        case WebRoute::OpenInBrowser:
            OpenInBrowser(view, address);
            PostMessageW(hwnd, kLeavePageMessage, 0, 0);
            break;
        case WebRoute::Refuse:
            break;  // the engine's own error page for the address asked for
    }
}

// Before the address is read: once the browser's location moved on from where the latest navigation
// began (a server's redirect, or the page arrived), the view reports the location. Not every engine
// reports a redirect by an event (Wine's without its page engine does not); its location tells.
void Refresh(HWND hwnd, WebView& view) {
    if (!view.browser) return;
    std::string location = view.browser->Location();
    if (location.empty() || location == view.locationBefore || location == StoredAddress(hwnd)) return;
    if (RouteWebAddress(location, view.setup.siteHost, WebRequest::Page) == WebRoute::Show)
        StoreAddress(hwnd, location);
}

void CreateBrowser(HWND hwnd, WebView& view) {
    BrowserHandlers handlers;
    handlers.allow = [hwnd, &view](const std::string& address, WebRequest request) {
        return Follow(hwnd, view, address, request);
    };
    handlers.arrived = [hwnd, &view](const std::string& address) { Arrive(hwnd, view, address); };
    auto host = BrowserHost::Create(hwnd, std::move(handlers), view.setup.createBrowser);
    if (host)
        view.browser = std::move(host.value());
    else
        Note("no browser, the stand-in shows the address: " + host.outcome().Describe());
}

void PaintStandIn(HWND hwnd, const WebView& view) {
    PaintScope paint(hwnd);
    RECT r;
    GetClientRect(hwnd, &r);
    FillSolid(paint.dc(), r, colours::kCard);
    std::wstring address = Widen(StoredAddress(hwnd));
    if (view.browser || address == Widen(kBlank)) return;
    DrawTextIn(paint.dc(), L"点击在浏览器中打开此页面：", {24, 24, r.right - 24, 48}, view.setup.font, colours::kText,
               DT_SINGLELINE | DT_NOPREFIX);
    DrawTextIn(paint.dc(), address, {24, 52, r.right - 24, 76}, view.setup.font, colours::kAccent,
               DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
}

LRESULT CALLBACK WebViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* setup = static_cast<const WebViewSetup*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        auto* view = new WebView{setup ? *setup : WebViewSetup{}, nullptr, {}};
        SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(view));
        // Nothing is loaded yet, whatever the creation text said; the program sets the address after.
        DefWindowProcW(hwnd, msg, wp, lp);
        StoreAddress(hwnd, kBlank);
        return TRUE;
    }
    WebView* view = ViewOf(hwnd);
    if (!view) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_CREATE:
            CreateBrowser(hwnd, *view);
            return 0;
        case WM_SETTEXT:
            return SetAddress(hwnd, *view, reinterpret_cast<const wchar_t*>(lp));
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
            Refresh(hwnd, *view);
            break;
        case WM_SIZE:
            if (view->browser) view->browser->Fit();
            return 0;
        case kLeavePageMessage:
            if (view->browser) SetAddress(hwnd, *view, Widen(kBlank).c_str());
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintStandIn(hwnd, *view);
            return 0;
        case WM_SETCURSOR:
            if (view->browser) break;
            SetCursor(LoadCursorW(nullptr, StoredAddress(hwnd) != kBlank ? IDC_HAND : IDC_ARROW));
            return TRUE;
        case WM_LBUTTONUP:
            if (!view->browser && StoredAddress(hwnd) != kBlank) OpenInBrowser(*view, StoredAddress(hwnd));
            return 0;
        case WM_DESTROY:
            view->browser.reset();  // before the window goes: a navigation still waiting ends here
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, 0, 0);
            delete view;
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void RegisterWebViewClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WebViewProc;
    wc.cbWndExtra = sizeof(WebView*);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWebViewClass;
    RegisterClassW(&wc);  // fails harmlessly when a window of an earlier run registered it
}

BrowserHost* WebViewBrowser(HWND view) {
    WebView* v = ViewOf(view);
    return v ? v->browser.get() : nullptr;
}

bool TranslateWebViewKey(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    // The engine's own windows sit inside the view's: find the view above the one with the focus.
    for (HWND h = msg.hwnd; h; h = GetParent(h)) {
        wchar_t name[32];
        if (!GetClassNameW(h, name, 32) || lstrcmpW(name, kWebViewClass) != 0) continue;
        BrowserHost* host = WebViewBrowser(h);
        if (!host) return false;
        ComPtr<IOleInPlaceActiveObject> active;
        if (FAILED(
                host->Browser()->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(active.put()))))
            return false;
        return active->TranslateAccelerator(&msg) == S_OK;
    }
    return false;
}

}  // namespace kx
