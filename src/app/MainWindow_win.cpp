#include "app/MainWindow_win.h"

#include <commctrl.h>

#include <memory>
#include <vector>

#include "app/ControlClasses_win.h"
#include "platform/Resources_win.h"
#include "platform/UiDispatcher_win.h"
#include "platform/WindowMessages_win.h"
#include "resources/Picture.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// What the main window works with, kept in its GWLP_USERDATA from WM_NCCREATE to WM_NCDESTROY.
struct Window {
    Program& program;
    Controls& controls;
    WindowPortWin& port;
};

Window* WindowOf(HWND hwnd) { return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void Fire(Window& w, HWND control, Event event) {
    if (LiveControl* c = w.controls.FromHwnd(control)) w.program.Dispatch(c->spec->name, event);
}

// The window's shape: the outline picture's non-black pixels.
void CutOutline(HWND hwnd) {
    auto gif = DecodeGif(ProgramResource(L"outline"));
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
    UniqueRegion region(
        ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data())));
    // The window owns the region once it took it; a region it refused is still ours to free.
    if (region && SetWindowRgn(hwnd, region.get(), TRUE)) region.release();
}

// The steps band of the background: the wizard's current step is drawn in the accent colour.
void PaintSteps(const Controls& controls, LiveControl* wizard, HDC dc) {
    if (!wizard || !IsWindowVisible(wizard->hwnd)) return;
    int step = wizard->page;
    POINT centre{196 + 200 * step, 125};
    FillCircle(dc, centre, 12, colours::kAccent);
    wchar_t digit[2] = {static_cast<wchar_t>(L'1' + step), 0};
    DrawTextIn(dc, digit, {centre.x - 12, centre.y - 12, centre.x + 13, centre.y + 13}, controls.Skin().TitleFont(),
               colours::kWhite, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT OnNotify(Window& w, const NMHDR& n) {
    if (n.code == LVN_ITEMCHANGED && !w.port.ChangingSelection()) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(n);
        if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED))
            Fire(w, n.hwndFrom, Event::SelectionChanged);
    }
    return 0;
}

LRESULT OnCommand(Window& w, WPARAM wp, HWND control) {
    if (!control) return 0;
    if (HIWORD(wp) == BN_CLICKED) Fire(w, control, Event::Click);
    LiveControl* c = w.controls.FromHwnd(control);
    if (HIWORD(wp) == LBN_SELCHANGE && c && c->spec->kind == ControlKind::ListBox)
        Fire(w, control, Event::SelectionChanged);
    return 0;
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        // The window takes over its data from CreateMainWindow.
        auto* data = static_cast<std::unique_ptr<Window>*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data->release()));
    }
    Window* w = WindowOf(hwnd);
    if (!w) return DefWindowProcW(hwnd, msg, wp, lp);  // before WM_NCCREATE (WM_GETMINMAXINFO)
    switch (msg) {
        case WM_CREATE:
            w->controls.Create(hwnd, reinterpret_cast<CREATESTRUCTW*>(lp)->hInstance,
                               WebViewSetup{w->program.ports().shell, w->program.facts().siteHost});
            CutOutline(hwnd);
            w->program.OnCreated();
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PaintScope paint(hwnd);
            PaintBehind(w->controls, hwnd, paint.dc(), paint.area());
            PaintSteps(w->controls, w->controls.Find("高级选择夹2"), paint.dc());
            return 0;
        }
        case WM_NCHITTEST: {
            POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ScreenToClient(hwnd, &p);
            return p.y < kHeaderHeight ? HTCAPTION : HTCLIENT;
        }
        case WM_COMMAND: return OnCommand(*w, wp, reinterpret_cast<HWND>(lp));
        case WM_NOTIFY: return OnNotify(*w, *reinterpret_cast<NMHDR*>(lp));
        case WM_TIMER:
            if (LiveControl* timer = w->controls.FromTimer(wp)) w->program.Dispatch(timer->spec->name, Event::Tick);
            return 0;
        case kPageChangedMessage:
            Fire(*w, reinterpret_cast<HWND>(lp), Event::PageChanged);
            InvalidateRect(hwnd, nullptr, FALSE);  // the steps band follows the wizard
            return 0;
        case WM_DRAWITEM: DrawOwnerButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(BrushBehind(w->controls, reinterpret_cast<HWND>(lp), dc));
        }
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_DESTROY:
            UiDispatcher::BeginClosing();  // boxes still queued by workers are not shown any more
            w->program.OnDestroying();
            UiDispatcher::Stop();
            w->controls.ReleaseNames();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            // Last: the controls have been destroyed (and have sent their last notifications) by now.
            std::unique_ptr<Window> owned(w);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            owned->controls.Destroy();
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, Program& program, Controls& controls, WindowPortWin& port) {
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
    // Freed here unless the window took it over (WM_NCCREATE); then freed with the window.
    auto data = std::make_unique<Window>(Window{program, controls, port});
    return CreateWindowExW(WS_EX_APPWINDOW, className.c_str(), Widen(spec.title).c_str(),
                           WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, spec.x, spec.y, spec.w, spec.h,
                           nullptr, nullptr, instance, &data);
}

}  // namespace kx
