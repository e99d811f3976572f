#include "app/MainWindow_win.h"

#include <commctrl.h>

#include <vector>

#include "platform/UiDispatcher_win.h"
#include "resources/Picture.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

constexpr int kHeaderHeight = 88;

struct Window {
    Program* program;
    Controls* controls;
    WindowPortWin* port;
};
Window gWindow;

std::string NameOf(HWND hwnd) {
    LiveControl* c = gWindow.controls->FromHwnd(hwnd);
    return c ? c->spec->name : std::string();
}

void Fire(HWND control, Event event) {
    std::string name = NameOf(control);
    if (!name.empty()) gWindow.program->Dispatch(name, event);
}

// The window's shape: the outline picture's non-black pixels.
void CutOutline(HWND hwnd) {
    auto gif = DecodeGif(ResourceBytes(L"outline"));
    if (!gif) return;
    std::vector<Rect> rects = OutlineRectangles(*gif, 0x000000);
    std::vector<char> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
    header->dwSize = sizeof(RGNDATAHEADER);
    header->iType = RDH_RECTANGLES;
    header->nCount = static_cast<DWORD>(rects.size());
    header->rcBound = {0, 0, gif->width, gif->height};
    auto* out = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
    for (size_t i = 0; i < rects.size(); ++i) out[i] = {rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
    HRGN region = ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
    if (region && !SetWindowRgn(hwnd, region, TRUE)) DeleteObject(region);
}

// The steps band of the background: the wizard's current step is drawn in the accent colour.
void PaintSteps(HDC dc) {
    LiveControl* wizard = gWindow.controls->Find("高级选择夹2");
    if (!wizard || !IsWindowVisible(wizard->hwnd)) return;
    int step = wizard->page;
    int cx = 196 + 200 * step, cy = 125;
    HBRUSH accent = CreateSolidBrush(RGB(0x19, 0x76, 0xD2));
    HGDIOBJ oldBrush = SelectObject(dc, accent);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, cx - 12, cy - 12, cx + 13, cy + 13);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(accent);
    wchar_t digit[2] = {static_cast<wchar_t>(L'1' + step), 0};
    RECT r{cx - 12, cy - 12, cx + 13, cy + 13};
    SelectObject(dc, gWindow.controls->TitleFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, digit, 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void DrawButton(const DRAWITEMSTRUCT& d) {
    LiveControl* c = gWindow.controls->FromHwnd(d.hwndItem);
    if (!c) return;
    HDC dc = d.hDC;
    RECT r = d.rcItem;
    gWindow.controls->PaintBackground(d.hwndItem, dc, r);
    bool pressed = d.itemState & ODS_SELECTED;
    if (c->picture) {
        BITMAP bm;
        GetObjectW(c->picture, sizeof bm, &bm);
        HDC src = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(src, c->picture);
        int x = (r.right - bm.bmWidth) / 2 + (pressed ? 1 : 0), y = (r.bottom - bm.bmHeight) / 2 + (pressed ? 1 : 0);
        BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, src, 0, 0, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
    }
    bool header = d.rcItem.bottom <= kHeaderHeight && GetParent(d.hwndItem) == gWindow.controls->Main();
    if (c->spec->kind == ControlKind::FlatButton) {
        HPEN pen = CreatePen(PS_SOLID, 1, header ? RGB(0xBB, 0xDE, 0xFB) : RGB(0x90, 0xA4, 0xAE));
        HBRUSH fill = CreateSolidBrush(header ? (c->hot ? RGB(0x1E, 0x88, 0xE5) : RGB(0x15, 0x65, 0xC0))
                                              : (c->hot ? RGB(0xE3, 0xF2, 0xFD) : RGB(0xFA, 0xFA, 0xFA)));
        HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, fill);
        RoundRect(dc, r.left, r.top, r.right, r.bottom, 6, 6);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(fill);
        wchar_t text[64];
        GetWindowTextW(d.hwndItem, text, 64);
        SelectObject(dc, header ? gWindow.controls->TitleFont() : gWindow.controls->Font());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, header ? RGB(255, 255, 255) : RGB(0x37, 0x47, 0x4F));
        if (pressed) OffsetRect(&r, 1, 1);
        DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else if (c->hot) {
        // Picture buttons: a light veil under the mouse.
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 48, 0};
        HDC white = CreateCompatibleDC(dc);
        HBITMAP bits = CreateCompatibleBitmap(dc, 1, 1);
        HGDIOBJ old = SelectObject(white, bits);
        SetPixel(white, 0, 0, RGB(255, 255, 255));
        AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, white, 0, 0, 1, 1, blend);
        SelectObject(white, old);
        DeleteObject(bits);
        DeleteDC(white);
    }
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            gWindow.controls->Create(hwnd, reinterpret_cast<CREATESTRUCTW*>(lp)->hInstance);
            CutOutline(hwnd);
            gWindow.program->OnCreated();
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            gWindow.controls->PaintBackground(hwnd, dc, ps.rcPaint);
            PaintSteps(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_NCHITTEST: {
            // The header band moves the window, as a title bar would.
            POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ScreenToClient(hwnd, &p);
            return p.y < kHeaderHeight ? HTCAPTION : HTCLIENT;
        }
        case WM_COMMAND: {
            HWND control = reinterpret_cast<HWND>(lp);
            if (!control) break;
            if (HIWORD(wp) == BN_CLICKED) Fire(control, Event::Click);
            if (HIWORD(wp) == LBN_SELCHANGE && NameOf(control).size() &&
                gWindow.controls->FromHwnd(control)->spec->kind == ControlKind::ListBox)
                Fire(control, Event::SelectionChanged);
            return 0;
        }
        case WM_NOTIFY: {
            auto* n = reinterpret_cast<NMHDR*>(lp);
            if (n->code == LVN_ITEMCHANGED && !gWindow.port->ChangingSelection()) {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lp);
                if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                    !(change->uOldState & LVIS_SELECTED))
                    Fire(n->hwndFrom, Event::SelectionChanged);
            }
            return 0;
        }
        case WM_TIMER:
            if (LiveControl* timer = gWindow.controls->FromTimer(wp)) gWindow.program->Dispatch(timer->spec->name, Event::Tick);
            return 0;
        case WM_APP + 2:  // a page control's tab was clicked
            Fire(reinterpret_cast<HWND>(lp), Event::PageChanged);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(gWindow.controls->BackgroundBrushFor(reinterpret_cast<HWND>(lp), dc));
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            gWindow.program->OnDestroying();
            UiDispatcher::Stop();
            gWindow.controls->ReleaseNames();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            // Last: the controls have been destroyed (and have sent their last notifications) by now.
            gWindow.controls->Destroy();
            return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, Program& program, Controls& controls, WindowPortWin& port) {
    gWindow = {&program, &controls, &port};
    const WindowSpec& spec = MainWindowSpec();
    std::wstring className = Widen(spec.className);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, L"KORVANIX");
    wc.lpszClassName = className.c_str();
    RegisterClassExW(&wc);
    return CreateWindowExW(WS_EX_APPWINDOW, className.c_str(), Widen(spec.title).c_str(),
                           WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, spec.x, spec.y, spec.w, spec.h,
                           nullptr, nullptr, instance, nullptr);
}

}  // namespace kx
