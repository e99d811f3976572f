#include "app/WebBrowserSite_win.h"

#include <exdispid.h>
#include <mshtmdid.h>

#include "platform/Automation_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

static_assert(dlctl::kImages == DLCTL_DLIMAGES && dlctl::kNoScripts == DLCTL_NO_SCRIPTS &&
              dlctl::kNoJava == DLCTL_NO_JAVA && dlctl::kNoRunActiveX == DLCTL_NO_RUNACTIVEXCTLS &&
              dlctl::kNoDownloadActiveX == DLCTL_NO_DLACTIVEXCTLS && dlctl::kNoBehaviors == DLCTL_NO_BEHAVIORS &&
              dlctl::kNoClientPull == DLCTL_NO_CLIENTPULL && dlctl::kSilent == DLCTL_SILENT);

// An event's text argument, which arrives as a BSTR or by reference (BeforeNavigate2's URL is a VARIANT*).
std::string TextArg(const VARIANT& v) {
    if (v.vt == VT_BSTR && v.bstrVal) return Narrow(v.bstrVal);
    if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal && *v.pbstrVal) return Narrow(*v.pbstrVal);
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) return TextArg(*v.pvarVal);
    return {};
}

// SID_SDownloadManager, which mingw-w64 lacks (its headers declare IID_IDownloadManager, its libraries do not
// define it): the service has the interface's own GUID.
const GUID kDownloadManagerService = __uuidof(IDownloadManager);

void Cancel(const VARIANT& v) {
    if (v.vt == (VT_BYREF | VT_BOOL) && v.pboolVal) *v.pboolVal = VARIANT_TRUE;
}

// The n-th argument in the event's own order (IDispatch passes them last first); null when absent.
const VARIANT* Arg(const DISPPARAMS* params, UINT n, UINT count) {
    if (!params || params->cArgs != count) return nullptr;
    return &params->rgvarg[count - 1 - n];
}

}  // namespace

STDMETHODIMP BrowserSite::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        *out = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IDispatch)
        *out = static_cast<IDispatch*>(this);
    else if (riid == IID_IDocHostUIHandler)
        *out = static_cast<IDocHostUIHandler*>(this);
    else if (riid == IID_IServiceProvider)
        *out = static_cast<IServiceProvider*>(this);
    else if (riid == __uuidof(IDownloadManager))
        *out = static_cast<IDownloadManager*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BrowserSite::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetContainer(IOleContainer** out) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP BrowserSite::GetWindow(HWND* out) {
    if (!out) return E_POINTER;
    *out = window_;
    return S_OK;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* place,
                                           RECT* clip, OLEINPLACEFRAMEINFO* info) {
    if (!frame || !document || !place || !clip || !info) return E_POINTER;
    AddRef();
    *frame = this;
    *document = nullptr;
    GetClientRect(window_, place);
    *clip = *place;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(window_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP BrowserSite::OnPosRectChange(const RECT* place) {
    if (place && sink_) sink_->PlaceChanged(*place);
    return S_OK;
}

STDMETHODIMP BrowserSite::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

// The engine reads what it may load and run from here before each page.
STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
    if (id != DISPID_AMBIENT_DLCONTROL) return DISP_E_MEMBERNOTFOUND;
    if (!result) return E_POINTER;
    VariantInit(result);
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(kWebDownloadControl);
    return S_OK;
}

STDMETHODIMP BrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP BrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key) *key = nullptr;
    return E_NOTIMPL;
}

// Files dropped on the view would be navigated to; the view takes no drops.
STDMETHODIMP BrowserSite::GetDropTarget(IDropTarget*, IDropTarget** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetExternal(IDispatch** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
    if (out) *out = nullptr;
    return S_FALSE;
}

STDMETHODIMP BrowserSite::FilterDataObject(IDataObject*, IDataObject** out) {
    if (out) *out = nullptr;
    return S_FALSE;
}

// The engine asks its host for a download manager before it shows its own download dialog: ours.
STDMETHODIMP BrowserSite::QueryService(REFGUID service, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (service == kDownloadManagerService) return QueryInterface(riid, out);
    return E_NOINTERFACE;
}

// A file the page links to is fetched by the user's own browser (not elevated, with its own download
// prompt), never by this elevated program: the engine is told the download was taken care of.
STDMETHODIMP BrowserSite::Download(IMoniker* file, IBindCtx* context, DWORD, LONG, BINDINFO*, LPCOLESTR,
                                   LPCOLESTR redirected, UINT) {
    std::string address;
    if (redirected && *redirected) {
        address = Narrow(redirected);
    } else if (file) {
        LPOLESTR name = nullptr;
        if (SUCCEEDED(file->GetDisplayName(context, nullptr, &name)) && name) address = Narrow(name);
        CoTaskMemFree(name);
    }
    if (!address.empty() && sink_) sink_->Allow(address, WebRequest::NewWindow);
    return S_OK;
}

STDMETHODIMP BrowserEvents::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_DWebBrowserEvents2) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BrowserEvents::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP BrowserEvents::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

bool BrowserEvents::IsOwnPage(const VARIANT& frame) const {
    if (frame.vt != VT_DISPATCH || !frame.pdispVal) return false;
    ComPtr<IUnknown> identity;
    if (FAILED(frame.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put())))) return false;
    return identity.get() == browser_;
}

STDMETHODIMP BrowserEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    switch (id) {
        case DISPID_BEFORENAVIGATE2:  // (frame, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
            if (const VARIANT* frame = Arg(params, 0, 7)) {
                WebRequest request = IsOwnPage(*frame) ? WebRequest::Page : WebRequest::Frame;
                if (!sink_ || !sink_->Allow(TextArg(*Arg(params, 1, 7)), request)) Cancel(*Arg(params, 6, 7));
            }
            return S_OK;
        case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl): the address is known
            if (const VARIANT* cancel = Arg(params, 1, 5)) {
                Cancel(*cancel);
                if (sink_) sink_->Allow(TextArg(*Arg(params, 4, 5)), WebRequest::NewWindow);
            }
            return S_OK;
        case DISPID_NEWWINDOW2:  // (ppDisp, Cancel): fired as well; the window was handed over above
            if (const VARIANT* cancel = Arg(params, 1, 2)) Cancel(*cancel);
            return S_OK;
        case DISPID_NAVIGATECOMPLETE2:  // (frame, URL)
        case DISPID_DOCUMENTCOMPLETE:
            if (const VARIANT* frame = Arg(params, 0, 2); frame && IsOwnPage(*frame) && sink_)
                sink_->Arrived(TextArg(*Arg(params, 1, 2)));
            return S_OK;
        case DISPID_FILEDOWNLOAD:  // (ActiveDocument, Cancel): a file that is no page shows no dialog either
            if (const VARIANT* document = Arg(params, 0, 2); document && document->vt == VT_BOOL && !document->boolVal)
                Cancel(*Arg(params, 1, 2));
            return S_OK;
    }
    return S_OK;
}

}  // namespace kx
