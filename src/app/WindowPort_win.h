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

    std::string Text(const std::string& control) override;
    void SetText(const std::string& control, const std::string& text) override;
    std::string Tag(const std::string& control) override;
    void SetTextColour(const std::string& control, uint32_t colorref) override;
    int Left(const std::string& control) override;
    void SetLeft(const std::string& control, int x) override;
    bool Visible(const std::string& control) override;
    void SetVisible(const std::string& control, bool visible) override;
    bool Enabled(const std::string& control) override;
    void SetEnabled(const std::string& control, bool enabled) override;
    bool Checked(const std::string& control) override;
    void SetChecked(const std::string& control, bool checked) override;
    int Selection(const std::string& control) override;
    void SetSelection(const std::string& control, int index) override;
    std::vector<std::string> Items(const std::string& control) override;
    void AddItem(const std::string& control, const std::string& text) override;
    void ClearItems(const std::string& control) override;
    int RowCount(const std::string& control) override;
    int AddRow(const std::string& control, const std::string& firstCell) override;
    void DeleteRows(const std::string& control) override;
    std::string Cell(const std::string& control, int row, int column) override;
    void SetCell(const std::string& control, int row, int column, const std::string& text) override;
    void SetRowIcon(const std::string& control, int row, int icon) override;
    int RowIcon(const std::string& control, int row) override;
    void SortRows(const std::string& control, int column) override;
    std::string ColumnCaption(const std::string& control, int column) override;
    void SetColumnCaption(const std::string& control, int column, const std::string& caption) override;
    int ProgressMax(const std::string& control) override;
    void SetProgressMax(const std::string& control, int max) override;
    int ProgressPosition(const std::string& control) override;
    void SetProgressPosition(const std::string& control, int position) override;
    int TimerPeriod(const std::string& control) override;
    void SetTimerPeriod(const std::string& control, int milliseconds) override;
    int PageIndex(const std::string& control) override;
    void SetPageIndex(const std::string& control, int index) override;
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
    T Read(const std::string& name, T fallback, const std::function<T(LiveControl&)>& read);
    void Write(const std::string& name, std::function<void(LiveControl&)> write);
    void ReportUnknown(const std::string& name);

    Controls& controls_;
    bool changingSelection_ = false;
    std::atomic<int> unknownControlCalls_{0};
};

}  // namespace kx
