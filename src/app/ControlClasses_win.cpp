#include "app/ControlClasses_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <vector>

#include "app/WebView_win.h"
#include "platform/WindowMessages_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::wstring WindowText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring text(n + 1, L'\0');
    n = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(n);
    return text;
}

RECT ClientRect(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return r;
}

// The control's top-left in the main window's client coordinates.
POINT OffsetInMain(HWND hwnd, HWND main) {
    POINT p{0, 0};
    MapWindowPoints(hwnd, main, &p, 1);
    return p;
}

struct Tab {
    RECT place;
    std::wstring title;
};

// The tabs of a page control's strip, one per page, in the control's client coordinates.
std::vector<Tab> TabsOf(HDC dc, const LiveControl& c) {
    SelectObjectScope font(dc, c.owner->Skin().Font());
    int strip = TabStripHeight(c.spec->name);
    std::vector<Tab> tabs;
    int x = 4;
    for (int i = 0;; ++i) {
        LiveControl* page = c.owner->Find(PageName(c.spec->name, i));
        if (!page) break;
        std::wstring title = Widen(page->spec->caption);
        SIZE size{};
        GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
        tabs.push_back({{x, 4, x + size.cx + 20, strip}, std::move(title)});
        x += size.cx + 22;
    }
    return tabs;
}

void DrawTabs(HWND hwnd, HDC dc, const LiveControl& c) {
    const Theme& theme = c.owner->Skin();
    RECT client = ClientRect(hwnd);
    int strip = TabStripHeight(c.spec->name);
    FillSolid(dc, {0, 0, client.right, strip}, colours::kBody);
    std::vector<Tab> tabs = TabsOf(dc, c);
    for (size_t i = 0; i < tabs.size(); ++i) {
        const RECT& tab = tabs[i].place;
        bool current = static_cast<int>(i) == c.page;
        FillSolid(dc, tab, current ? colours::kCard : colours::kIdleTab);
        if (current) FillSolid(dc, {tab.left, tab.top, tab.right, tab.top + 3}, colours::kAccent);
        DrawTextIn(dc, tabs[i].title, tab, theme.Font(), current ? colours::kAccent : colours::kText,
                   DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    HorizontalLine(dc, 0, client.right, strip - 1, colours::kCardBorder);
}

// Which tab of a page control lies under x, or -1.
int TabAt(HWND hwnd, const LiveControl& c, int x) {
    WindowDc dc(hwnd);
    std::vector<Tab> tabs = TabsOf(dc.get(), c);
    for (size_t i = 0; i < tabs.size(); ++i)
        if (x >= tabs[i].place.left && x < tabs[i].place.right) return static_cast<int>(i);
    return -1;
}

void DrawGroupFrame(HWND hwnd, HDC dc, const Theme& theme) {
    RECT r = ClientRect(hwnd);
    RoundBox(dc, r, 10, std::nullopt, colours::kCardBorder);
    std::wstring caption = WindowText(hwnd);
    if (!caption.empty())
        DrawTextIn(dc, caption, {10, 2, r.right - 10, 18}, theme.CaptionFont(), colours::kAccent,
                   DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT PanelMessage(HWND hwnd, LiveControl* c, UINT msg, WPARAM wp, LPARAM lp) {
    bool tabs = c->spec->kind == ControlKind::PageControl && TabStripHeight(c->spec->name) > 0;
    switch (msg) {
        case WM_PRINTCLIENT: PaintBehind(*c->owner, hwnd, reinterpret_cast<HDC>(wp), ClientRect(hwnd)); return 0;
        case WM_PAINT: {
            PaintScope paint(hwnd);
            PaintBehind(*c->owner, hwnd, paint.dc(), paint.area());
            if (c->spec->kind == ControlKind::GroupBox) DrawGroupFrame(hwnd, paint.dc(), c->owner->Skin());
            if (tabs) DrawTabs(hwnd, paint.dc(), *c);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (tabs && GET_Y_LPARAM(lp) < TabStripHeight(c->spec->name)) {
                int tab = TabAt(hwnd, *c, GET_X_LPARAM(lp));
                if (tab >= 0) c->owner->ChoosePage(*c, tab);
            }
            return 0;
        case kSelectPageMessage: c->owner->ChoosePage(*c, static_cast<int>(wp)); return 0;
        // Notifications of the controls inside go to the main window, which runs the handlers.
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: return SendMessageW(c->owner->Main(), msg, wp, lp);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT LabelMessage(HWND hwnd, LiveControl* c, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PaintScope paint(hwnd);
            RECT r = ClientRect(hwnd);
            PaintBehind(*c->owner, hwnd, paint.dc(), r);
            const Theme& theme = c->owner->Skin();
            bool title = IsTitleLabel(c->spec->name);
            COLORREF colour = c->textColour ? c->textColour : (title ? colours::kAccent : colours::kText);
            DrawTextIn(paint.dc(), WindowText(hwnd), r, title ? theme.TitleFont() : theme.Font(), colour,
                       DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT PictureMessage(HWND hwnd, LiveControl* c, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wp, lp);
    PaintScope paint(hwnd);
    StretchPicture(paint.dc(), c->picture.get(), ClientRect(hwnd));
    return 0;
}

// What the window procedures of our own controls share. Without its data (while the window is created
// or torn down) a control has the default handling. The background is painted with the rest, never
// erased on its own (that would flicker). The text is drawn by the control itself: a new text repaints it.
template <LRESULT (*Handle)(HWND, LiveControl*, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK OwnControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    LiveControl* c = ControlOf(hwnd);
    if (!c) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_SETTEXT) {
        LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
        InvalidateRect(hwnd, nullptr, FALSE);
        return r;
    }
    return Handle(hwnd, c, msg, wp, lp);
}

LRESULT CALLBACK HotButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* c = reinterpret_cast<LiveControl*>(data);
    if (msg == WM_MOUSEMOVE && !c->hot) {
        c->hot = true;
        // One WM_MOUSELEAVE per request: asked again each time the mouse comes back.
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        InvalidateRect(hwnd, nullptr, FALSE);
    } else if (msg == WM_MOUSELEAVE) {
        c->hot = false;
        InvalidateRect(hwnd, nullptr, FALSE);
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, HotButtonProc, 1);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void RegisterControlClasses(HINSTANCE instance) {
    struct {
        const wchar_t* name;
        WNDPROC proc;
    } classes[] = {{kPanelClass, OwnControlProc<PanelMessage>},
                   {kLabelClass, OwnControlProc<LabelMessage>},
                   {kPictureClass, OwnControlProc<PictureMessage>},
                   {kComponentClass, DefWindowProcW}};
    for (const auto& k : classes) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = k.proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = k.name;
        RegisterClassW(&wc);  // fails harmlessly when a window of an earlier run registered it
    }
    RegisterWebViewClass(instance);
}

void TrackHotState(LiveControl& button) {
    SetWindowSubclass(button.hwnd, HotButtonProc, 1, reinterpret_cast<DWORD_PTR>(&button));
}

void DrawOwnerButton(const DRAWITEMSTRUCT& d) {
    LiveControl* c = ControlOf(d.hwndItem);
    if (!c) return;
    const Controls& controls = *c->owner;
    const Theme& theme = controls.Skin();
    HDC dc = d.hDC;
    RECT r = d.rcItem;
    PaintBehind(controls, d.hwndItem, dc, r);
    bool pressed = d.itemState & ODS_SELECTED;
    CentrePicture(dc, c->picture.get(), r, pressed ? 1 : 0);
    if (c->spec->kind == ControlKind::FlatButton) {
        bool header = r.bottom <= kHeaderHeight && GetParent(d.hwndItem) == controls.Main();
        COLORREF fill = header ? (c->hot ? colours::kHeaderButtonHot : colours::kHeaderButton)
                               : (c->hot ? colours::kButtonHot : colours::kButton);
        RoundBox(dc, r, 6, fill, header ? colours::kHeaderButtonBorder : colours::kButtonBorder);
        if (pressed) OffsetRect(&r, 1, 1);
        DrawTextIn(dc, WindowText(d.hwndItem), r, header ? theme.TitleFont() : theme.Font(),
                   header ? colours::kWhite : colours::kButtonText,
                   DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else if (c->hot) {
        WhiteVeil(dc, r, 48);  // picture buttons: a light veil under the mouse
    }
}

void PaintBehind(const Controls& controls, HWND hwnd, HDC dc, const RECT& area) {
    HWND main = controls.Main();
    controls.Skin().PaintBackground(dc, area, OffsetInMain(hwnd, main));
    // Opaque ancestors (and the control itself), outermost first: page controls fill with the page
    // colour, group boxes are cards.
    std::vector<HWND> chain;
    for (HWND h = hwnd; h && h != main; h = GetParent(h)) chain.insert(chain.begin(), h);
    for (HWND h : chain) {
        const LiveControl* c = controls.FromHwnd(h);
        if (!c) continue;
        ControlKind kind = c->spec->kind;
        if (kind != ControlKind::GroupBox && kind != ControlKind::PageControl) continue;
        RECT r = ClientRect(h);
        MapWindowPoints(h, hwnd, reinterpret_cast<POINT*>(&r), 2);
        UniqueRegion clip(CreateRectRgn(area.left, area.top, area.right, area.bottom));
        SelectClipRgn(dc, clip.get());  // the DC keeps a copy of the region
        if (kind == ControlKind::GroupBox)
            RoundBox(dc, {r.left, r.top, r.right + 1, r.bottom + 1}, 10, colours::kCard, std::nullopt);
        else
            FillSolid(dc, r, colours::kBody);
        SelectClipRgn(dc, nullptr);
    }
}

HBRUSH BrushBehind(const Controls& controls, HWND child, HDC dc) {
    HWND main = controls.Main();
    for (HWND h = GetParent(child); h && h != main; h = GetParent(h)) {
        const LiveControl* c = controls.FromHwnd(h);
        if (!c) continue;
        if (c->spec->kind == ControlKind::GroupBox) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        if (c->spec->kind == ControlKind::PageControl) {
            SetDCBrushColor(dc, colours::kBody);
            return static_cast<HBRUSH>(GetStockObject(DC_BRUSH));
        }
    }
    return controls.Skin().BackgroundBrush(dc, OffsetInMain(child, main));
}

}  // namespace kx
