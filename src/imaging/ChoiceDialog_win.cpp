#include "imaging/ChoiceDialog_win.h"

#include <windows.h>

#include <vector>

#include "platform/UiDispatcher_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// The question's static carries the id a message box gives its text, so that whoever reads boxes of this
// program reads this one the same way.
constexpr WORD kTextId = 0xFFFF;
constexpr WORD kListId = 100;
constexpr WORD kButtonClass = 0x0080, kStaticClass = 0x0082, kListBoxClass = 0x0083;

// A dialog template built in memory: the dialog's header, then its items, each on a four-byte boundary.
class DialogTemplate {
public:
    DialogTemplate(const std::wstring& title, WORD items, short cx, short cy) {
        DWORD style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        Dword(style);
        Dword(0);
        words_.push_back(items);
        for (short v : {short(0), short(0), cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the standard dialog class
        Text(title);
        words_.push_back(9);  // points
        Text(L"MS Shell Dlg");
    }
    void Item(WORD cls, WORD id, DWORD style, short x, short y, short cx, short cy, const std::wstring& text) {
        if (words_.size() % 2) words_.push_back(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(cls);
        Text(text);
        words_.push_back(0);  // no creation data
    }
    LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }

private:
    void Dword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void Text(const std::wstring& text) {
        for (wchar_t ch : text) words_.push_back(static_cast<WORD>(ch));
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

struct Question {
    const std::vector<std::string>* items;
    int chosen = -1;
};

INT_PTR CALLBACK ChoiceProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lp);
            const auto* question = reinterpret_cast<const Question*>(lp);
            HWND list = GetDlgItem(dialog, kListId);
            for (const std::string& item : *question->items)
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
            SendMessageW(list, LB_SETCURSEL, 0, 0);
            SetFocus(list);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            auto* question = reinterpret_cast<Question*>(GetWindowLongPtrW(dialog, DWLP_USER));
            const WORD id = LOWORD(wp);
            const bool picked = id == IDOK || (id == kListId && HIWORD(wp) == LBN_DBLCLK);
            if (picked) {
                const LRESULT at = SendMessageW(GetDlgItem(dialog, kListId), LB_GETCURSEL, 0, 0);
                if (at == LB_ERR) return TRUE;  // nothing selected: the dialog stays
                question->chosen = static_cast<int>(at);
                EndDialog(dialog, IDOK);
            } else if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

std::optional<int> Ask(const std::string& title, const std::string& text, const std::vector<std::string>& items) {
    // In dialog units: the question over the list, the two buttons at the bottom right.
    DialogTemplate t(Widen(title), 4, 260, 160);
    t.Item(kStaticClass, kTextId, SS_LEFT, 7, 7, 246, 26, Widen(text));
    t.Item(kListBoxClass, kListId, LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL | WS_TABSTOP, 7, 36, 246,
           96, L"");
    t.Item(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 147, 139, 50, 14, L"确定");
    t.Item(kButtonClass, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 203, 139, 50, 14, L"取消");
    Question question{&items};
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), GetActiveWindow(), ChoiceProc,
                                                   reinterpret_cast<LPARAM>(&question));
    if (result != IDOK || question.chosen < 0) return std::nullopt;
    return question.chosen;
}

}  // namespace

std::optional<int> ChoiceDialogWin::Choose(const std::string& title, const std::string& text,
                                           const std::vector<std::string>& items) {
    if (items.empty()) return std::nullopt;
    if (UiDispatcher::IsUiThread() || !UiDispatcher::Running()) return Ask(title, text, items);
    // A worker's question is asked by the window thread, as its message boxes are, so that the dialog has the
    // main window as its owner; once the window is closing it counts as cancelled.
    std::optional<int> answer;
    UiDispatcher::Run([&] {
        if (!UiDispatcher::Closing()) answer = Ask(title, text, items);
    });
    return answer;
}

}  // namespace kx
