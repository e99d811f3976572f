#include "app/WebBrowserHost_win.h"

#include <mshtmdid.h>
#include <olectl.h>

#include "text/Wide_win.h"

namespace kx {

HRESULT CreateSystemBrowser(IWebBrowser2** browser) {
    return CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                            reinterpret_cast<void**>(browser));
}

Result<std::unique_ptr<BrowserHost>> BrowserHost::Create(HWND window, BrowserHandlers handlers,
                                                         BrowserFactory factory) {
    std::unique_ptr<BrowserHost> host(new BrowserHost(window, std::move(handlers)));
    Outcome started = host->Start(factory);
    if (!started) return started;  // the half-made host shuts what it started as it goes
    return host;
}

Outcome BrowserHost::Start(BrowserFactory factory) {
    HRESULT hr = factory(browser_.put());
    if (FAILED(hr) || !browser_)
        return Outcome::Failed("创建网页浏览控件", {static_cast<uint32_t>(hr), "CoCreateInstance"});
    hr = browser_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(object_.put()));
    if (FAILED(hr)) return Outcome::Failed("创建网页浏览控件", {static_cast<uint32_t>(hr), "IOleObject"});
    site_ = new BrowserSite(window_, this);
    hr = object_->SetClientSite(site_);
    if (FAILED(hr)) return Outcome::Failed("创建网页浏览控件", {static_cast<uint32_t>(hr), "SetClientSite"});
    // The engine reads the ambient properties when the site is set; tell it again in case it read them before.
    ComPtr<IOleControl> control;
    if (SUCCEEDED(browser_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(control.put()))))
        control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);

    // Without its events the view could not be kept on the site: no events, no browser.
    ComPtr<IUnknown> identity;
    browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put()));
    events_ = new BrowserEvents(identity.get(), this);
    ComPtr<IConnectionPointContainer> points;
    hr = browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(points.put()));
    if (SUCCEEDED(hr)) hr = points->FindConnectionPoint(DIID_DWebBrowserEvents2, eventPoint_.put());
    if (SUCCEEDED(hr)) hr = eventPoint_->Advise(static_cast<IDispatch*>(events_), &eventCookie_);
    if (FAILED(hr)) return Outcome::Failed("连接网页浏览控件的事件", {static_cast<uint32_t>(hr), "Advise"});

    RECT place;
    GetClientRect(window_, &place);
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, window_, &place);
    if (FAILED(hr)) return Outcome::Failed("显示网页浏览控件", {static_cast<uint32_t>(hr), "DoVerb"});
    // No dialogs of the engine's own (script errors, certificates), and no files dropped on the view.
    browser_->put_Silent(VARIANT_TRUE);
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    return Outcome::Done();
}

BrowserHost::~BrowserHost() { Shut(); }

// Also after a start that failed half-way: each step undoes only what was done.
void BrowserHost::Shut() {
    if (eventPoint_ && eventCookie_) eventPoint_->Unadvise(eventCookie_);
    eventPoint_.reset();
    eventCookie_ = 0;
    if (browser_) browser_->Stop();  // a navigation still waiting for its server ends here
    if (object_) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.put()))))
            inPlace->InPlaceDeactivate();
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
    }
    // The engine may hold our objects a while longer; from now on they answer without calling us.
    if (site_) {
        site_->Detach();
        site_->Release();
        site_ = nullptr;
    }
    if (events_) {
        events_->Detach();
        events_->Release();
        events_ = nullptr;
    }
    object_.reset();
    browser_.reset();
}

Outcome BrowserHost::Navigate(const std::string& address) {
    BSTR url = SysAllocString(Widen(address).c_str());
    VARIANT none;
    VariantInit(&none);
    HRESULT hr = browser_->Navigate(url, &none, &none, &none, &none);
    SysFreeString(url);
    return Outcome::From(SUCCEEDED(hr), "打开网页 " + address, {static_cast<uint32_t>(hr), "IWebBrowser2::Navigate"});
}

std::string BrowserHost::Location() const {
    BSTR location = nullptr;
    if (FAILED(browser_->get_LocationURL(&location)) || !location) return {};
    std::string text = Narrow(location);
    SysFreeString(location);
    return text;
}

void BrowserHost::Fit() {
    RECT place;
    GetClientRect(window_, &place);
    PlaceChanged(place);
}

bool BrowserHost::Allow(const std::string& address, WebRequest request) {
    return handlers_.allow && handlers_.allow(address, request);
}

void BrowserHost::Arrived(const std::string& address) {
    if (handlers_.arrived) handlers_.arrived(address);
}

void BrowserHost::PlaceChanged(const RECT& place) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.put()))))
        inPlace->SetObjectRects(&place, &place);
}

}  // namespace kx
