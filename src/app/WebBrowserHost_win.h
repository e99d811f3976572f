#pragma once
// The system's WebBrowser control (IWebBrowser2) in a window of ours, on the window thread (which has
// called OleInitialize). Every navigation, new window and file download is put to `allow` first.
#include <windows.h>

#include <exdisp.h>

#include <functional>
#include <memory>
#include <string>

#include "app/WebBrowserSite_win.h"
#include "base/Outcome.h"
#include "platform/Automation_win.h"

namespace kx {

// Makes the engine's browser object; tests give one that fails, as a system without the engine would.
using BrowserFactory = HRESULT (*)(IWebBrowser2** browser);
HRESULT CreateSystemBrowser(IWebBrowser2** browser);

struct BrowserHandlers {
    std::function<bool(const std::string& address, WebRequest request)> allow;
    std::function<void(const std::string& address)> arrived;  // the view's own page, after redirects
};

class BrowserHost final : private BrowserSink {
public:
    // The browser fills `window`'s client area. Fails when the engine is missing or refuses to start.
    static Result<std::unique_ptr<BrowserHost>> Create(HWND window, BrowserHandlers handlers,
                                                       BrowserFactory factory = CreateSystemBrowser);
    ~BrowserHost() override;
    BrowserHost(const BrowserHost&) = delete;
    BrowserHost& operator=(const BrowserHost&) = delete;

    // Starts loading the address (asynchronously; the events follow on this thread).
    [[nodiscard]] Outcome Navigate(const std::string& address);
    // The browser's location: empty while nothing is loaded.
    std::string Location() const;
    // After the window changed its size.
    void Fit();

    IWebBrowser2* Browser() const { return browser_.get(); }
    IOleClientSite* Site() const { return site_; }

private:
    BrowserHost(HWND window, BrowserHandlers handlers) : window_(window), handlers_(std::move(handlers)) {}
    Outcome Start(BrowserFactory factory);
    void Shut();

    bool Allow(const std::string& address, WebRequest request) override;
    void Arrived(const std::string& address) override;
    void PlaceChanged(const RECT& place) override;

    HWND window_;
    BrowserHandlers handlers_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IOleObject> object_;
    BrowserSite* site_ = nullptr;      // ours, one reference
    BrowserEvents* events_ = nullptr;  // ours, one reference
    ComPtr<IConnectionPoint> eventPoint_;
    DWORD eventCookie_ = 0;
};

}  // namespace kx
