#pragma once
// A window kept in memory, built from the layout table: the workflows' tests run against it.
// Every call is safe from any thread. Unknown control names throw std::out_of_range, so a
// misspelt name fails a test at once.
#include <map>
#include <mutex>

#include "base/WindowPort.h"

namespace kx {

// A control named at run time by a test (a row's stem and a suffix): throws when the layout has none.
Control Named(const std::string& name);

class MemoryWindow : public WindowPort {
public:
    MemoryWindow();

    std::string Text(Control control) override;
    void SetText(Control control, const std::string& text) override;
    std::string Tag(Control control) override;
    void SetTextColour(Control control, uint32_t colorref) override;
    uint32_t TextColour(Control control);
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
    int ActivateCount();
    std::string Title() override;
    void SetTitle(const std::string& title) override;
    void Close() override;
    bool Closed();

private:
    struct Row {
        std::vector<std::string> cells;
        int icon = -1;
    };
    struct State {
        std::string text, tag;
        uint32_t colour = 0;
        int left = 0;
        bool visible = true, enabled = true, checked = false;
        int selection = -1;
        std::vector<std::string> items;
        std::vector<Row> rows;
        std::vector<std::string> columns;
        int progressMax = 100, position = 0, period = 0, page = 0;
    };
    State& At(Control control);

    std::mutex mutex_;
    std::map<std::string, State> controls_;
    std::string title_;
    bool topmost_ = false, minimised_ = false, closed_ = false;
    int activations_ = 0;
};

}  // namespace kx
