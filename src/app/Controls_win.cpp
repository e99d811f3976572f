// Creates the layout's controls and draws the ones that are ours: panels (pages, group boxes, page
// controls), transparent labels, picture buttons, the web view stand-in and picture boxes.
#include "app/Controls_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <vector>

#include "app/ListColumns.h"
#include "resources/Picture.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

constexpr COLORREF kBody = RGB(0xF2, 0xF6, 0xFB);
constexpr COLORREF kCard = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kCardBorder = RGB(0xD0, 0xDD, 0xEC);
constexpr COLORREF kAccent = RGB(0x19, 0x76, 0xD2);
constexpr COLORREF kText = RGB(0x26, 0x32, 0x38);
constexpr int kTabHeight = 30;

Controls* gControls = nullptr;  // the one window's controls; window thread only

const wchar_t* ClassFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
        case ControlKind::TransparentLabel: return L"KxLabel";
        case ControlKind::GroupBox:
        case ControlKind::Page:
        case ControlKind::PageControl: return L"KxPanel";
        case ControlKind::EditBox: return WC_EDITW;
        case ControlKind::PushButton:
        case ControlKind::ImageButton:
        case ControlKind::FlatButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton: return WC_BUTTONW;
        case ControlKind::ListBox: return WC_LISTBOXW;
        case ControlKind::ListView: return WC_LISTVIEWW;
        case ControlKind::ProgressBar: return PROGRESS_CLASSW;
        case ControlKind::WebView: return L"KxWebView";
        case ControlKind::PictureBox: return L"KxPicture";
        case ControlKind::Timer:
        case ControlKind::FileDialog:
        case ControlKind::ZipComponent: return L"KxComponent";
    }
    return L"KxComponent";
}

DWORD StyleFor(ControlKind kind) {
    DWORD base = WS_CHILD | WS_CLIPSIBLINGS;
    switch (kind) {
        case ControlKind::EditBox: return base | WS_TABSTOP | ES_AUTOHSCROLL;
        case ControlKind::PushButton: return base | WS_TABSTOP | BS_PUSHBUTTON;
        case ControlKind::ImageButton:
        case ControlKind::FlatButton: return base | BS_OWNERDRAW;
        case ControlKind::CheckBox: return base | WS_TABSTOP | BS_AUTOCHECKBOX;
        case ControlKind::RadioButton: return base | WS_TABSTOP | BS_AUTORADIOBUTTON;
        case ControlKind::ListBox: return base | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
        case ControlKind::ListView: return base | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
        case ControlKind::ProgressBar: return base | PBS_SMOOTH;
        case ControlKind::GroupBox:
        case ControlKind::Page:
        case ControlKind::PageControl: return base | WS_CLIPCHILDREN;
        default: return base;
    }
}

// The control's top-left in the main window's client coordinates.
POINT OffsetInMain(HWND hwnd, HWND main) {
    POINT p{0, 0};
    MapWindowPoints(hwnd, main, &p, 1);
    return p;
}

std::wstring WindowText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring text(n + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(n);
    return text;
}

void DrawTabs(HWND hwnd, HDC dc, const LiveControl& c) {
    RECT client;
    GetClientRect(hwnd, &client);
    RECT strip{0, 0, client.right, kTabHeight};
    HBRUSH body = CreateSolidBrush(kBody);
    FillRect(dc, &strip, body);
    DeleteObject(body);
    SelectObject(dc, gControls->Font());
    SetBkMode(dc, TRANSPARENT);
    int x = 4;
    for (int i = 0;; ++i) {
        LiveControl* page = gControls->Find(PageName(c.spec->name, i));
        if (!page) break;
        std::wstring title = Widen(page->spec->caption);
        SIZE size;
        GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
        RECT tab{x, 4, x + size.cx + 20, kTabHeight};
        bool current = i == c.page;
        HBRUSH fill = CreateSolidBrush(current ? kCard : RGB(0xE3, 0xEB, 0xF5));
        FillRect(dc, &tab, fill);
        DeleteObject(fill);
        if (current) {
            RECT line{tab.left, tab.top, tab.right, tab.top + 3};
            HBRUSH accent = CreateSolidBrush(kAccent);
            FillRect(dc, &line, accent);
            DeleteObject(accent);
        }
        SetTextColor(dc, current ? kAccent : kText);
        DrawTextW(dc, title.c_str(), -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        x = tab.right + 2;
    }
    HPEN pen = CreatePen(PS_SOLID, 1, kCardBorder);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 0, kTabHeight - 1, nullptr);
    LineTo(dc, client.right, kTabHeight - 1);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// Which tab of a page control lies under x, or -1.
int TabAt(HWND hwnd, const LiveControl& c, int x) {
    HDC dc = GetDC(hwnd);
    SelectObject(dc, gControls->Font());
    int left = 4, found = -1;
    for (int i = 0; found < 0; ++i) {
        LiveControl* page = gControls->Find(PageName(c.spec->name, i));
        if (!page) break;
        std::wstring title = Widen(page->spec->caption);
        SIZE size;
        GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
        if (x >= left && x < left + size.cx + 20) found = i;
        left += size.cx + 22;
    }
    ReleaseDC(hwnd, dc);
    return found;
}

void DrawGroupFrame(HWND hwnd, HDC dc) {
    RECT r;
    GetClientRect(hwnd, &r);
    HPEN pen = CreatePen(PS_SOLID, 1, kCardBorder);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 10, 10);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    std::wstring caption = WindowText(hwnd);
    if (!caption.empty()) {
        SelectObject(dc, gControls->CaptionFont());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kAccent);
        RECT text{10, 2, r.right - 10, 18};
        DrawTextW(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!gControls) return DefWindowProcW(hwnd, msg, wp, lp);  // the window is being torn down
    LiveControl* c = gControls->FromHwnd(hwnd);
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_PRINTCLIENT: {
            RECT r;
            GetClientRect(hwnd, &r);
            gControls->PaintBackground(hwnd, reinterpret_cast<HDC>(wp), r);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            gControls->PaintBackground(hwnd, dc, ps.rcPaint);
            if (c && c->spec->kind == ControlKind::GroupBox) DrawGroupFrame(hwnd, dc);
            if (c && c->spec->kind == ControlKind::PageControl && TabStripHeight(c->spec->name) > 0)
                DrawTabs(hwnd, dc, *c);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (c && c->spec->kind == ControlKind::PageControl && GET_Y_LPARAM(lp) < kTabHeight) {
                int tab = TabAt(hwnd, *c, GET_X_LPARAM(lp));
                if (tab >= 0 && tab != c->page) {
                    gControls->ShowPage(*c, tab);
                    SendMessageW(gControls->Main(), WM_APP + 2, 0, reinterpret_cast<LPARAM>(hwnd));
                }
            }
            return 0;
        case WM_APP + 3:  // select a page as a click on its tab would (the scenario driver uses this)
            if (c && c->spec->kind == ControlKind::PageControl && static_cast<int>(wp) != c->page &&
                gControls->Find(PageName(c->spec->name, static_cast<int>(wp)))) {
                gControls->ShowPage(*c, static_cast<int>(wp));
                SendMessageW(gControls->Main(), WM_APP + 2, 0, reinterpret_cast<LPARAM>(hwnd));
            }
            return 0;
        // Notifications of the controls inside go to the main window, which runs the handlers.
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return SendMessageW(gControls->Main(), msg, wp, lp);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Our own controls draw their text themselves: a new text repaints them.
LRESULT SetTextAndRepaint(HWND hwnd, WPARAM wp, LPARAM lp) {
    LRESULT r = DefWindowProcW(hwnd, WM_SETTEXT, wp, lp);
    InvalidateRect(hwnd, nullptr, FALSE);
    return r;
}

LRESULT CALLBACK LabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!gControls) return DefWindowProcW(hwnd, msg, wp, lp);  // the window is being torn down
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_SETTEXT: return SetTextAndRepaint(hwnd, wp, lp);
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT r;
            GetClientRect(hwnd, &r);
            gControls->PaintBackground(hwnd, dc, r);
            LiveControl* c = gControls->FromHwnd(hwnd);
            bool title = c && IsTitleLabel(c->spec->name);
            SelectObject(dc, title ? gControls->TitleFont() : gControls->Font());
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, c && c->textColour ? c->textColour : (title ? kAccent : kText));
            std::wstring text = WindowText(hwnd);
            DrawTextW(dc, text.c_str(), -1, &r, DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
            EndPaint(hwnd, &ps);
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// No browser engine is embedded: the view shows the page's address and opens it in the user's
// browser on a click. Setting the text "navigates"; reading it gives the address.
LRESULT CALLBACK WebViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!gControls) return DefWindowProcW(hwnd, msg, wp, lp);  // the window is being torn down
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_SETTEXT: return SetTextAndRepaint(hwnd, wp, lp);
        case WM_SETCURSOR: {
            bool link = WindowText(hwnd) != L"about:blank";
            SetCursor(LoadCursorW(nullptr, link ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        case WM_LBUTTONUP: {
            std::wstring address = WindowText(hwnd);
            if (address != L"about:blank" && !address.empty())
                ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT r;
            GetClientRect(hwnd, &r);
            HBRUSH white = CreateSolidBrush(kCard);
            FillRect(dc, &r, white);
            DeleteObject(white);
            std::wstring address = WindowText(hwnd);
            if (address != L"about:blank") {
                SelectObject(dc, gControls->Font());
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, kText);
                RECT line{24, 24, r.right - 24, 48};
                DrawTextW(dc, L"点击在浏览器中打开此页面：", -1, &line, DT_SINGLELINE | DT_NOPREFIX);
                SetTextColor(dc, kAccent);
                line = {24, 52, r.right - 24, 76};
                DrawTextW(dc, address.c_str(), -1, &line, DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void BlitPicture(HDC dc, HBITMAP picture, const RECT& r) {
    if (!picture) return;
    BITMAP bm;
    GetObjectW(picture, sizeof bm, &bm);
    HDC src = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(src, picture);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, src, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    SelectObject(src, old);
    DeleteDC(src);
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!gControls) return DefWindowProcW(hwnd, msg, wp, lp);  // the window is being torn down
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        if (LiveControl* c = gControls->FromHwnd(hwnd)) BlitPicture(dc, c->picture, r);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Picture and flat buttons light up under the mouse.
LRESULT CALLBACK HotButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    LiveControl* c = gControls ? gControls->FromHwnd(hwnd) : nullptr;
    if (c && msg == WM_MOUSEMOVE && !c->hot) {
        c->hot = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        InvalidateRect(hwnd, nullptr, FALSE);
    } else if (c && msg == WM_MOUSELEAVE) {
        c->hot = false;
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void RegisterClasses(HINSTANCE instance) {
    struct {
        const wchar_t* name;
        WNDPROC proc;
    } classes[] = {{L"KxPanel", PanelProc},
                   {L"KxLabel", LabelProc},
                   {L"KxWebView", WebViewProc},
                   {L"KxPicture", PictureProc},
                   {L"KxComponent", DefWindowProcW}};
    for (const auto& k : classes) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = k.proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = k.name;
        RegisterClassW(&wc);
    }
}

HBITMAP BitmapFromRgb(const Rgb& rgb) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = rgb.width;
    info.bmiHeader.biHeight = -rgb.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    size_t stride = (static_cast<size_t>(rgb.width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < rgb.height; ++y)
        memcpy(static_cast<uint8_t*>(bits) + y * stride, rgb.pixels.data() + static_cast<size_t>(y) * rgb.width * 3,
               static_cast<size_t>(rgb.width) * 3);
    return bitmap;
}

}  // namespace

std::string ResourceBytes(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(nullptr, found)) : std::string();
}

HBITMAP LoadPicture(const char* name) {
    std::wstring wide = Widen(name);
    if (auto bmp = static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), wide.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)))
        return bmp;
    auto rgb = DecodeJpeg(ResourceBytes(wide.c_str()));
    return rgb ? BitmapFromRgb(*rgb) : nullptr;
}

void Controls::Create(HWND main, HINSTANCE instance) {
    gControls = this;
    main_ = main;
    RegisterClasses(instance);
    background_ = LoadPicture("background");
    backgroundBrush_ = background_ ? CreatePatternBrush(background_) : CreateSolidBrush(kBody);
    backgroundDc_ = CreateCompatibleDC(nullptr);
    if (background_) SelectObject(backgroundDc_, background_);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW lf = metrics.lfMessageFont;
    lf.lfHeight = -12;
    lf.lfQuality = CLEARTYPE_QUALITY;
    font_ = CreateFontIndirectW(&lf);
    lf.lfHeight = -14;
    lf.lfWeight = FW_BOLD;
    titleFont_ = CreateFontIndirectW(&lf);
    lf.lfHeight = -12;
    captionFont_ = CreateFontIndirectW(&lf);

    driveIcons_ = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 0);
    for (const char* icon : {"drive_system", "drive"})
        if (HBITMAP b = LoadPicture(icon)) {
            ImageList_AddMasked(driveIcons_, b, RGB(255, 255, 255));
            DeleteObject(b);
        }

    int timerId = 1;
    for (const auto& spec : MainLayout()) {
        HWND parent = main;
        if (*spec.parent) parent = byName_.at(spec.parent).hwnd;
        LiveControl& c = byName_[spec.name];
        c.spec = &spec;
        c.tag = spec.tag;
        c.timerPeriod = spec.period;
        if (spec.kind == ControlKind::Timer) c.timerId = timerId++;
        c.hwnd = CreateOne(spec, parent, instance);
        byHwnd_[c.hwnd] = &c;
        if (*spec.picture) c.picture = LoadPicture(spec.picture);
        if (spec.kind == ControlKind::ImageButton || spec.kind == ControlKind::FlatButton)
            SetWindowSubclass(c.hwnd, HotButtonProc, 1, 0);
        if (spec.kind == ControlKind::ListView) {
            ListView_SetExtendedListViewStyle(c.hwnd, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
            int i = 0;
            for (const auto& column : ParseColumns(spec.columns)) {
                std::wstring caption = Widen(column.caption);
                LVCOLUMNW col{};
                col.mask = LVCF_TEXT | LVCF_WIDTH;
                col.cx = column.width;
                col.pszText = caption.data();
                ListView_InsertColumn(c.hwnd, i++, &col);
            }
        }
        if (spec.kind == ControlKind::Timer && spec.period > 0) SetTimer(main, c.timerId, spec.period, nullptr);
    }
    // The restore list marks the system drive with the first icon and every other row with the second.
    if (LiveControl* restore = Find("还原磁盘_超级列表框"))
        ListView_SetImageList(restore->hwnd, driveIcons_, LVSIL_SMALL);
    for (auto& [name, c] : byName_)
        if (c.spec->kind == ControlKind::PageControl) ShowPage(c, 0);
}

HWND Controls::CreateOne(const ControlSpec& spec, HWND parent, HINSTANCE instance) {
    int x = spec.x, y = spec.y, w = spec.w, h = spec.h;
    const ControlSpec* parentSpec = *spec.parent ? FindControl(spec.parent) : nullptr;
    if (spec.kind == ControlKind::Page) {
        // A page starts below its page control's tab strip; its children keep the layout's places.
        y = TabStripHeight(spec.parent);
        h -= y;
    } else if (parentSpec && parentSpec->kind == ControlKind::Page) {
        y -= TabStripHeight(parentSpec->parent);
    }
    DWORD style = StyleFor(spec.kind);
    if (spec.visible && spec.kind != ControlKind::Page) style |= WS_VISIBLE;  // pages: ShowPage
    if (spec.kind == ControlKind::Timer || spec.kind == ControlKind::FileDialog ||
        spec.kind == ControlKind::ZipComponent)
        style &= ~WS_VISIBLE;
    DWORD exStyle = 0;
    if (spec.kind == ControlKind::EditBox || spec.kind == ControlKind::ListBox || spec.kind == ControlKind::ListView)
        exStyle = WS_EX_CLIENTEDGE;
    std::wstring caption = Widen(spec.caption);
    HWND hwnd = CreateWindowExW(exStyle, ClassFor(spec.kind), caption.c_str(), style, x, y, w, h, parent, nullptr,
                                instance, nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SetPropW(hwnd, kNameProperty,
             reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(Widen(spec.name).c_str()))));
    SetPropW(hwnd, kKindProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(spec.kind) + 1));
    return hwnd;
}

void Controls::ReleaseNames() {
    // Global atoms outlive the process: give each name back while the controls still exist.
    for (auto& [name, c] : byName_) {
        if (auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(c.hwnd, kNameProperty))))
            GlobalDeleteAtom(atom);
        RemovePropW(c.hwnd, kKindProperty);
    }
}

void Controls::Destroy() {
    for (auto& [name, c] : byName_)
        if (c.picture) DeleteObject(c.picture);
    if (backgroundDc_) DeleteDC(backgroundDc_);
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(background_), static_cast<HGDIOBJ>(backgroundBrush_),
                      static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(titleFont_),
                      static_cast<HGDIOBJ>(captionFont_)})
        if (o) DeleteObject(o);
    if (driveIcons_) ImageList_Destroy(driveIcons_);
    byName_.clear();
    byHwnd_.clear();
    gControls = nullptr;
}

LiveControl* Controls::Find(const std::string& name) {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &it->second;
}

LiveControl* Controls::FromHwnd(HWND hwnd) {
    auto it = byHwnd_.find(hwnd);
    return it == byHwnd_.end() ? nullptr : it->second;
}

LiveControl* Controls::FromTimer(UINT_PTR id) {
    for (auto& [name, c] : byName_)
        if (c.spec->kind == ControlKind::Timer && static_cast<UINT_PTR>(c.timerId) == id) return &c;
    return nullptr;
}

void Controls::ShowPage(LiveControl& pageControl, int index) {
    pageControl.page = index;
    for (int i = 0;; ++i) {
        LiveControl* page = Find(PageName(pageControl.spec->name, i));
        if (!page) break;
        ShowWindow(page->hwnd, i == index ? SW_SHOWNA : SW_HIDE);
    }
    InvalidateRect(pageControl.hwnd, nullptr, TRUE);
}

void Controls::MoveLeft(LiveControl& control, int x) {
    RECT r;
    GetWindowRect(control.hwnd, &r);
    MapWindowPoints(nullptr, GetParent(control.hwnd), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control.hwnd, nullptr, x, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Controls::PaintBackground(HWND hwnd, HDC dc, const RECT& area) const {
    POINT offset = OffsetInMain(hwnd, main_);
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, backgroundDc_,
           area.left + offset.x, area.top + offset.y, SRCCOPY);
    // Opaque ancestors (and the control itself): page controls fill with the page colour, group boxes are cards.
    std::vector<HWND> chain;
    for (HWND h = hwnd; h && h != main_; h = GetParent(h)) chain.insert(chain.begin(), h);
    for (HWND h : chain) {
        auto it = byHwnd_.find(h);
        if (it == byHwnd_.end()) continue;
        ControlKind kind = it->second->spec->kind;
        if (kind != ControlKind::GroupBox && kind != ControlKind::PageControl) continue;
        RECT r;
        GetClientRect(h, &r);
        MapWindowPoints(h, hwnd, reinterpret_cast<POINT*>(&r), 2);
        HBRUSH fill = CreateSolidBrush(kind == ControlKind::GroupBox ? kCard : kBody);
        HRGN clip = CreateRectRgn(area.left, area.top, area.right, area.bottom);
        SelectClipRgn(dc, clip);
        HGDIOBJ oldBrush = SelectObject(dc, fill);
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
        if (kind == ControlKind::GroupBox)
            RoundRect(dc, r.left, r.top, r.right + 1, r.bottom + 1, 10, 10);
        else
            FillRect(dc, &r, fill);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        SelectClipRgn(dc, nullptr);
        DeleteObject(clip);
        DeleteObject(fill);
    }
}

HBRUSH Controls::BackgroundBrushFor(HWND child, HDC dc) const {
    for (HWND h = GetParent(child); h && h != main_; h = GetParent(h)) {
        auto it = byHwnd_.find(h);
        if (it == byHwnd_.end()) continue;
        if (it->second->spec->kind == ControlKind::GroupBox) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        if (it->second->spec->kind == ControlKind::PageControl) {
            SetDCBrushColor(dc, kBody);
            return static_cast<HBRUSH>(GetStockObject(DC_BRUSH));
        }
    }
    POINT offset = OffsetInMain(child, main_);
    SetBrushOrgEx(dc, -offset.x, -offset.y, nullptr);
    return backgroundBrush_;
}

}  // namespace kx
