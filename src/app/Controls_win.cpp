// Creates the layout's controls, one window each, and finds them again by name, window or timer.
#include "app/Controls_win.h"

#include <commctrl.h>

#include "app/ControlClasses_win.h"
#include "app/ListColumns.h"
#include "platform/WindowMessages_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

const wchar_t* ClassFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
        case ControlKind::TransparentLabel: return kLabelClass;
        case ControlKind::GroupBox:
        case ControlKind::Page:
        case ControlKind::PageControl: return kPanelClass;
        case ControlKind::EditBox: return WC_EDITW;
        case ControlKind::PushButton:
        case ControlKind::ImageButton:
        case ControlKind::FlatButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton: return WC_BUTTONW;
        case ControlKind::ListBox: return WC_LISTBOXW;
        case ControlKind::ListView: return WC_LISTVIEWW;
        case ControlKind::ProgressBar: return PROGRESS_CLASSW;
        case ControlKind::WebView: return kWebViewClass;
        case ControlKind::PictureBox: return kPictureClass;
        case ControlKind::Timer:
        case ControlKind::FileDialog:
        case ControlKind::ZipComponent: return kComponentClass;
    }
    return kComponentClass;
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
        // The drive icons belong to Controls, which frees them: without LVS_SHAREIMAGELISTS the list view
        // would destroy them too when it goes.
        case ControlKind::ListView:
            return base | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS;
        case ControlKind::ProgressBar: return base | PBS_SMOOTH;
        case ControlKind::GroupBox:
        case ControlKind::Page:
        case ControlKind::PageControl: return base | WS_CLIPCHILDREN;
        default: return base;
    }
}

bool IsComponent(ControlKind kind) {
    return kind == ControlKind::Timer || kind == ControlKind::FileDialog || kind == ControlKind::ZipComponent;
}

}  // namespace

LiveControl* ControlOf(HWND hwnd) { return reinterpret_cast<LiveControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void Controls::Create(HWND main, HINSTANCE instance, WebViewSetup web) {
    main_ = main;
    RegisterControlClasses(instance);
    theme_.Load();
    web_ = std::move(web);
    web_.font = theme_.Font();

    driveIcons_.reset(ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 0));
    for (const char* icon : {"drive_system", "drive"})
        if (UniqueBitmap b = LoadPicture(icon)) ImageList_AddMasked(driveIcons_.get(), b.get(), RGB(255, 255, 255));

    int timerId = 1;
    for (const auto& spec : MainLayout()) {
        HWND parent = main;
        if (*spec.parent) parent = byName_.at(spec.parent).hwnd;
        LiveControl& c = byName_[spec.name];
        c.owner = this;
        c.spec = &spec;
        c.tag = spec.tag;
        c.timerPeriod = spec.period;
        if (spec.kind == ControlKind::Timer) c.timerId = timerId++;
        if (*spec.picture) c.picture = LoadPicture(spec.picture);
        c.hwnd = CreateOne(spec, parent, instance);
        byHwnd_[c.hwnd] = &c;
        SetWindowLongPtrW(c.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
        if (spec.kind == ControlKind::ImageButton || spec.kind == ControlKind::FlatButton) TrackHotState(c);
        if (spec.kind == ControlKind::ListView) SetUpListView(c);
        if (spec.kind == ControlKind::Timer && spec.period > 0) SetTimer(main, c.timerId, spec.period, nullptr);
    }
    // The restore list marks the system drive with the first icon and every other row with the second.
    if (LiveControl* restore = Find("还原磁盘_超级列表框"))
        ListView_SetImageList(restore->hwnd, driveIcons_.get(), LVSIL_SMALL);
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
    // Pages are shown by ShowPage; components have nothing to show.
    if (spec.visible && spec.kind != ControlKind::Page && !IsComponent(spec.kind)) style |= WS_VISIBLE;
    DWORD exStyle = 0;
    if (spec.kind == ControlKind::EditBox || spec.kind == ControlKind::ListBox || spec.kind == ControlKind::ListView)
        exStyle = WS_EX_CLIENTEDGE;
    std::wstring caption = Widen(spec.caption);
    void* creation = spec.kind == ControlKind::WebView ? &web_ : nullptr;
    HWND hwnd = CreateWindowExW(exStyle, ClassFor(spec.kind), caption.c_str(), style, x, y, w, h, parent, nullptr,
                                instance, creation);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(theme_.Font()), FALSE);
    SetPropW(hwnd, kNameProperty,
             reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(Widen(spec.name).c_str()))));
    SetPropW(hwnd, kKindProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(spec.kind) + 1));
    return hwnd;
}

void Controls::SetUpListView(const LiveControl& c) {
    ListView_SetExtendedListViewStyle(c.hwnd, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    int i = 0;
    for (const auto& column : ParseColumns(c.spec->columns)) {
        std::wstring caption = Widen(column.caption);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = column.width;
        col.pszText = caption.data();
        ListView_InsertColumn(c.hwnd, i++, &col);
    }
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
    // The controls are normally gone with the window; one that is not must not reach freed data.
    for (auto& [name, c] : byName_)
        if (IsWindow(c.hwnd)) SetWindowLongPtrW(c.hwnd, GWLP_USERDATA, 0);
    byName_.clear();
    byHwnd_.clear();
    driveIcons_.reset();
    theme_ = Theme();
}

LiveControl* Controls::Find(const std::string& name) {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &it->second;
}

LiveControl* Controls::FromHwnd(HWND hwnd) {
    auto it = byHwnd_.find(hwnd);
    return it == byHwnd_.end() ? nullptr : it->second;
}

const LiveControl* Controls::FromHwnd(HWND hwnd) const {
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

void Controls::ChoosePage(LiveControl& pageControl, int index) {
    if (pageControl.spec->kind != ControlKind::PageControl || index == pageControl.page ||
        !Find(PageName(pageControl.spec->name, index)))
        return;
    ShowPage(pageControl, index);
    SendMessageW(main_, kPageChangedMessage, 0, reinterpret_cast<LPARAM>(pageControl.hwnd));
}

void Controls::MoveLeft(LiveControl& control, int x) {
    RECT r;
    GetWindowRect(control.hwnd, &r);
    MapWindowPoints(nullptr, GetParent(control.hwnd), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control.hwnd, nullptr, x, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kx
