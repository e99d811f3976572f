#pragma once
// A window kept in memory, built from the layout table: the workflows' tests run against it.
// Every call is safe from any thread. Unknown control names throw std::out_of_range, so a
// misspelt name fails a test at once.
#include <map>
#include <mutex>

#include "base/WindowPort.h"

namespace kx {

class MemoryWindow : public WindowPort {
public:
    MemoryWindow();

    std::string Text(const std::string& control) override;
    void SetText(const std::string& control, const std::string& text) override;
    std::string Tag(const std::string& control) override;
    void SetTextColour(const std::string& control, uint32_t colorref) override;
    uint32_t TextColour(const std::string& control);
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
    State& At(const std::string& control);

    std::mutex mutex_;
    std::map<std::string, State> controls_;
    std::string title_;
    bool topmost_ = false, minimised_ = false, closed_ = false;
    int activations_ = 0;
};

}  // namespace kx
