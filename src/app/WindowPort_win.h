#pragma once
// The real window behind WindowPort: every call is carried out on the window thread (UiDispatcher),
// writes queued in order, reads waited for. Safe from any thread.
#include <atomic>
#include <functional>

#include "app/Controls_win.h"
#include "base/WindowPort.h"

namespace kx {

class WindowPortWin : public WindowPort {
public:
    explicit WindowPortWin(Controls& controls) : controls_(controls) {}

    // True while the program itself changes a selection (the change raises no selection event).
    bool ChangingSelection() const { return changingSelection_; }
    // How many calls named a control the window does not have. Such a call does nothing; each is logged
    // (OutputDebugString) and counted here.
    int UnknownControlCalls() const { return unknownControlCalls_.load(); }

    std::string Text(Control control) override;
    void SetText(Control control, const std::string& text) override;
    std::string Tag(Control control) override;
    void SetTextColour(Control control, uint32_t colorref) override;
    int Left(Control control) override;
    void SetLeft(Control control, int x) override;
    bool Visible(Control control) override;
    void SetVisible(Control control, bool visible) override;
    bool Enabled(Control control) override;
    void SetEnabled(Control control, bool enabled) override;
    bool Checked(Control control) override;
    void SetChecked(Control control, bool checked) override;
    int Selection(Control control) override;
    void SetSelection(Control control, int index) override;
    std::vector<std::string> Items(Control control) override;
    void AddItem(Control control, const std::string& text) override;
    void ClearItems(Control control) override;
    int RowCount(Control control) override;
    int AddRow(Control control, const std::string& firstCell) override;
    void DeleteRows(Control control) override;
    std::string Cell(Control control, int row, int column) override;
    void SetCell(Control control, int row, int column, const std::string& text) override;
    void SetRowIcon(Control control, int row, int icon) override;
    int RowIcon(Control control, int row) override;
    void SortRows(Control control, int column) override;
    std::string ColumnCaption(Control control, int column) override;
    void SetColumnCaption(Control control, int column, const std::string& caption) override;
    int ProgressMax(Control control) override;
    void SetProgressMax(Control control, int max) override;
    int ProgressPosition(Control control) override;
    void SetProgressPosition(Control control, int position) override;
    int TimerPeriod(Control control) override;
    void SetTimerPeriod(Control control, int milliseconds) override;
    int PageIndex(Control control) override;
    void SetPageIndex(Control control, int index) override;
    bool Topmost() override;
    void SetTopmost(bool topmost) override;
    bool Minimised() override;
    void SetMinimised(bool minimised) override;
    void Activate() override;
    std::string Title() override;
    void SetTitle(const std::string& title) override;
    void Close() override;

private:
    // Run on the window thread against the named control: a read waits for its answer (`fallback` when
    // the window is gone or has no such control), a write is queued.
    template <typename T>
    T Read(Control name, T fallback, const std::function<T(LiveControl&)>& read);
    void Write(Control name, std::function<void(LiveControl&)> write);
    void ReportUnknown(Control name);

    Controls& controls_;
    bool changingSelection_ = false;
    std::atomic<int> unknownControlCalls_{0};
};

}  // namespace kx
