#include "app/WindowPort_win.h"

#include <commctrl.h>

#include "platform/SystemPorts_win.h"
#include "platform/UiDispatcher_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::string GetText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring text(n + 1, L'\0');
    n = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(n);
    return Narrow(text);
}

std::string ListViewText(HWND hwnd, int row, int column) {
    std::wstring buffer(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    int n = static_cast<int>(SendMessageW(hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    buffer.resize(n);
    return Narrow(buffer);
}

struct SortTexts {
    std::vector<std::wstring> texts;
};

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM data) {
    auto* s = reinterpret_cast<SortTexts*>(data);
    return lstrcmpW(s->texts[a].c_str(), s->texts[b].c_str());
}

}  // namespace

template <typename T>
T WindowPortWin::Read(Control name, T fallback, const std::function<T(LiveControl&)>& read) {
    T result = fallback;
    UiDispatcher::Run([&] {
        if (LiveControl* c = controls_.Find(name.str()))
            result = read(*c);
        else
            ReportUnknown(name);
    });
    return result;
}

void WindowPortWin::Write(Control name, std::function<void(LiveControl&)> write) {
    UiDispatcher::Post([this, name, write = std::move(write)] {
        if (LiveControl* c = controls_.Find(name.str()))
            write(*c);
        else
            ReportUnknown(name);
    });
}

void WindowPortWin::ReportUnknown(Control name) {
    // A name the layout does not have is a fault of the caller (a misspelt or renamed control), not a
    // state of the window: the call does nothing, but it is counted and logged rather than lost.
    ++unknownControlCalls_;
    OutputDebugStringW((L"Korvanix: no control named " + Widen(name.str()) + L"\n").c_str());
}

std::string WindowPortWin::Text(Control name) {
    return Read<std::string>(name, "", [](LiveControl& c) { return GetText(c.hwnd); });
}

void WindowPortWin::SetText(Control name, const std::string& text) {
    Write(name, [text](LiveControl& c) {
        SetWindowTextW(c.hwnd, Widen(text).c_str());
        InvalidateRect(c.hwnd, nullptr, TRUE);
    });
}

std::string WindowPortWin::Tag(Control name) {
    return Read<std::string>(name, "", [](LiveControl& c) { return c.tag; });
}

void WindowPortWin::SetTextColour(Control name, uint32_t colorref) {
    Write(name, [colorref](LiveControl& c) {
        c.textColour = colorref;
        InvalidateRect(c.hwnd, nullptr, FALSE);
    });
}

int WindowPortWin::Left(Control name) {
    return Read<int>(name, 0, [](LiveControl& c) {
        RECT r;
        GetWindowRect(c.hwnd, &r);
        MapWindowPoints(nullptr, GetParent(c.hwnd), reinterpret_cast<POINT*>(&r), 2);
        return static_cast<int>(r.left);
    });
}

void WindowPortWin::SetLeft(Control name, int x) {
    Write(name, [this, x](LiveControl& c) { controls_.MoveLeft(c, x); });
}

bool WindowPortWin::Visible(Control name) {
    return Read<bool>(name, false,
                      [](LiveControl& c) { return (GetWindowLongW(c.hwnd, GWL_STYLE) & WS_VISIBLE) != 0; });
}

void WindowPortWin::SetVisible(Control name, bool visible) {
    Write(name, [visible](LiveControl& c) { ShowWindow(c.hwnd, visible ? SW_SHOWNA : SW_HIDE); });
}

bool WindowPortWin::Enabled(Control name) {
    return Read<bool>(name, false, [](LiveControl& c) { return IsWindowEnabled(c.hwnd) != FALSE; });
}

void WindowPortWin::SetEnabled(Control name, bool enabled) {
    Write(name, [enabled](LiveControl& c) { EnableWindow(c.hwnd, enabled); });
}

bool WindowPortWin::Checked(Control name) {
    return Read<bool>(name, false,
                      [](LiveControl& c) { return SendMessageW(c.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; });
}

void WindowPortWin::SetChecked(Control name, bool checked) {
    Write(name,
          [checked](LiveControl& c) { SendMessageW(c.hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0); });
}

int WindowPortWin::Selection(Control name) {
    return Read<int>(name, -1, [](LiveControl& c) {
        if (c.spec->kind == ControlKind::ListView) return ListView_GetNextItem(c.hwnd, -1, LVNI_SELECTED);
        return static_cast<int>(SendMessageW(c.hwnd, LB_GETCURSEL, 0, 0));
    });
}

void WindowPortWin::SetSelection(Control name, int index) {
    Write(name, [this, index](LiveControl& c) {
        if (c.spec->kind != ControlKind::ListView) {
            SendMessageW(c.hwnd, LB_SETCURSEL, index, 0);
            return;
        }
        changingSelection_ = true;
        ListView_SetItemState(c.hwnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (index >= 0) {
            ListView_SetItemState(c.hwnd, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(c.hwnd, index, FALSE);
        }
        changingSelection_ = false;
    });
}

std::vector<std::string> WindowPortWin::Items(Control name) {
    return Read<std::vector<std::string>>(name, {}, [](LiveControl& c) {
        std::vector<std::string> items;
        int count = static_cast<int>(SendMessageW(c.hwnd, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            int n = static_cast<int>(SendMessageW(c.hwnd, LB_GETTEXTLEN, i, 0));
            std::wstring text(n + 1, L'\0');
            SendMessageW(c.hwnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            text.resize(n);
            items.push_back(Narrow(text));
        }
        return items;
    });
}

void WindowPortWin::AddItem(Control name, const std::string& text) {
    Write(name, [text](LiveControl& c) {
        SendMessageW(c.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    });
}

void WindowPortWin::ClearItems(Control name) {
    Write(name, [](LiveControl& c) { SendMessageW(c.hwnd, LB_RESETCONTENT, 0, 0); });
}

int WindowPortWin::RowCount(Control name) {
    return Read<int>(name, 0, [](LiveControl& c) { return ListView_GetItemCount(c.hwnd); });
}

int WindowPortWin::AddRow(Control name, const std::string& firstCell) {
    // The new row's index is needed at once, so this write waits for the window thread.
    return Read<int>(name, -1, [firstCell](LiveControl& c) {
        std::wstring text = Widen(firstCell);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = ListView_GetItemCount(c.hwnd);
        item.iImage = I_IMAGENONE;
        item.pszText = text.data();
        return static_cast<int>(SendMessageW(c.hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    });
}

void WindowPortWin::DeleteRows(Control name) {
    Write(name, [](LiveControl& c) { ListView_DeleteAllItems(c.hwnd); });
}

std::string WindowPortWin::Cell(Control name, int row, int column) {
    return Read<std::string>(name, "", [row, column](LiveControl& c) { return ListViewText(c.hwnd, row, column); });
}

void WindowPortWin::SetCell(Control name, int row, int column, const std::string& text) {
    Write(name, [row, column, text](LiveControl& c) {
        std::wstring wide = Widen(text);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = wide.data();
        SendMessageW(c.hwnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    });
}

void WindowPortWin::SetRowIcon(Control name, int row, int icon) {
    Write(name, [row, icon](LiveControl& c) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        item.iImage = icon;
        SendMessageW(c.hwnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    });
}

int WindowPortWin::RowIcon(Control name, int row) {
    return Read<int>(name, -1, [row](LiveControl& c) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        if (!SendMessageW(c.hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
        return item.iImage == I_IMAGENONE ? -1 : item.iImage;
    });
}

void WindowPortWin::SortRows(Control name, int column) {
    Write(name, [column](LiveControl& c) {
        // Each row carries its text's index as item data: the comparison gets item data, while the
        // positions of the rows change as the sort goes on.
        SortTexts s;
        int count = ListView_GetItemCount(c.hwnd);
        for (int i = 0; i < count; ++i) {
            s.texts.push_back(Widen(ListViewText(c.hwnd, i, column)));
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = i;
            item.lParam = i;
            SendMessageW(c.hwnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        SendMessageW(c.hwnd, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(CompareRows));
    });
}

std::string WindowPortWin::ColumnCaption(Control name, int column) {
    return Read<std::string>(name, "", [column](LiveControl& c) {
        std::wstring buffer(256, L'\0');
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = buffer.data();
        col.cchTextMax = static_cast<int>(buffer.size());
        if (!SendMessageW(c.hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col))) return std::string();
        return Narrow(buffer.c_str());
    });
}

void WindowPortWin::SetColumnCaption(Control name, int column, const std::string& caption) {
    Write(name, [column, caption](LiveControl& c) {
        std::wstring text = Widen(caption);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = text.data();
        SendMessageW(c.hwnd, LVM_SETCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
    });
}

int WindowPortWin::ProgressMax(Control name) {
    return Read<int>(name, 0,
                     [](LiveControl& c) { return static_cast<int>(SendMessageW(c.hwnd, PBM_GETRANGE, FALSE, 0)); });
}

void WindowPortWin::SetProgressMax(Control name, int max) {
    Write(name, [max](LiveControl& c) { SendMessageW(c.hwnd, PBM_SETRANGE32, 0, max); });
}

int WindowPortWin::ProgressPosition(Control name) {
    return Read<int>(name, 0, [](LiveControl& c) { return static_cast<int>(SendMessageW(c.hwnd, PBM_GETPOS, 0, 0)); });
}

void WindowPortWin::SetProgressPosition(Control name, int position) {
    Write(name, [position](LiveControl& c) { SendMessageW(c.hwnd, PBM_SETPOS, position, 0); });
}

int WindowPortWin::TimerPeriod(Control name) {
    return Read<int>(name, 0, [](LiveControl& c) { return c.timerPeriod; });
}

void WindowPortWin::SetTimerPeriod(Control name, int milliseconds) {
    Write(name, [this, milliseconds](LiveControl& c) {
        c.timerPeriod = milliseconds;
        KillTimer(controls_.Main(), c.timerId);
        if (milliseconds > 0) SetTimer(controls_.Main(), c.timerId, milliseconds, nullptr);
    });
}

int WindowPortWin::PageIndex(Control name) {
    return Read<int>(name, -1, [](LiveControl& c) { return c.page; });
}

void WindowPortWin::SetPageIndex(Control name, int index) {
    Write(name, [this, index](LiveControl& c) {
        controls_.ShowPage(c, index);
        InvalidateRect(controls_.Main(), nullptr, FALSE);  // the steps band follows the wizard
    });
}

bool WindowPortWin::Topmost() {
    bool topmost = false;
    UiDispatcher::Run([&] { topmost = (GetWindowLongW(controls_.Main(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; });
    return topmost;
}

void WindowPortWin::SetTopmost(bool topmost) {
    UiDispatcher::Post([this, topmost] {
        SetWindowPos(controls_.Main(), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    });
}

bool WindowPortWin::Minimised() {
    bool minimised = false;
    UiDispatcher::Run([&] { minimised = IsIconic(controls_.Main()) != FALSE; });
    return minimised;
}

void WindowPortWin::SetMinimised(bool minimised) {
    UiDispatcher::Post([this, minimised] { ShowWindow(controls_.Main(), minimised ? SW_MINIMIZE : SW_RESTORE); });
}

void WindowPortWin::Activate() {
    UiDispatcher::Post([this] { ActivateWindow(controls_.Main()); });
}

std::string WindowPortWin::Title() {
    std::string title;
    UiDispatcher::Run([&] { title = GetText(controls_.Main()); });
    return title;
}

void WindowPortWin::SetTitle(const std::string& title) {
    UiDispatcher::Post([this, title] { SetWindowTextW(controls_.Main(), Widen(title).c_str()); });
}

void WindowPortWin::Close() {
    UiDispatcher::Post([this] { PostMessageW(controls_.Main(), WM_CLOSE, 0, 0); });
}

}  // namespace kx
