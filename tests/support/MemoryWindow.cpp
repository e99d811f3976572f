#include "support/MemoryWindow.h"

#include <algorithm>
#include <stdexcept>

#include "app/Layout.h"
#include "app/ListColumns.h"

namespace kx {

Control Named(const std::string& name) {
    if (auto control = Control::Find(name)) return *control;
    throw std::out_of_range("no control named " + name);
}

MemoryWindow::MemoryWindow() : title_(MainWindowSpec().title) {
    for (const auto& spec : MainLayout()) {
        State s;
        s.text = spec.caption;
        s.tag = spec.tag;
        s.visible = spec.visible;
        s.left = spec.x;
        s.period = spec.period;
        for (const auto& column : ParseColumns(spec.columns)) s.columns.push_back(column.caption);
        controls_.emplace(spec.name, std::move(s));
    }
}

MemoryWindow::State& MemoryWindow::At(Control control) {
    auto it = controls_.find(control.str());
    if (it == controls_.end()) throw std::out_of_range("no control named " + control.str());
    return it->second;
}

#define LOCKED std::lock_guard<std::mutex> lock(mutex_)

std::string MemoryWindow::Text(Control c) {
    LOCKED;
    return At(c).text;
}
void MemoryWindow::SetText(Control c, const std::string& t) {
    LOCKED;
    At(c).text = t;
}
std::string MemoryWindow::Tag(Control c) {
    LOCKED;
    return At(c).tag;
}
void MemoryWindow::SetTextColour(Control c, uint32_t v) {
    LOCKED;
    At(c).colour = v;
}
uint32_t MemoryWindow::TextColour(Control c) {
    LOCKED;
    return At(c).colour;
}
int MemoryWindow::Left(Control c) {
    LOCKED;
    return At(c).left;
}
void MemoryWindow::SetLeft(Control c, int x) {
    LOCKED;
    At(c).left = x;
}
bool MemoryWindow::Visible(Control c) {
    LOCKED;
    return At(c).visible;
}
void MemoryWindow::SetVisible(Control c, bool v) {
    LOCKED;
    At(c).visible = v;
}
bool MemoryWindow::Enabled(Control c) {
    LOCKED;
    return At(c).enabled;
}
void MemoryWindow::SetEnabled(Control c, bool v) {
    LOCKED;
    At(c).enabled = v;
}
bool MemoryWindow::Checked(Control c) {
    LOCKED;
    return At(c).checked;
}
void MemoryWindow::SetChecked(Control c, bool v) {
    LOCKED;
    At(c).checked = v;
}
int MemoryWindow::Selection(Control c) {
    LOCKED;
    return At(c).selection;
}

void MemoryWindow::SetSelection(Control c, int index) {
    LOCKED;
    State& s = At(c);
    int count = static_cast<int>(std::max(s.items.size(), s.rows.size()));
    s.selection = (index >= 0 && index < count) ? index : -1;
}

std::vector<std::string> MemoryWindow::Items(Control c) {
    LOCKED;
    return At(c).items;
}
void MemoryWindow::AddItem(Control c, const std::string& t) {
    LOCKED;
    At(c).items.push_back(t);
}

void MemoryWindow::ClearItems(Control c) {
    LOCKED;
    At(c).items.clear();
    At(c).selection = -1;
}

int MemoryWindow::RowCount(Control c) {
    LOCKED;
    return static_cast<int>(At(c).rows.size());
}

int MemoryWindow::AddRow(Control c, const std::string& first) {
    LOCKED;
    State& s = At(c);
    Row row;
    row.cells.assign(std::max<size_t>(s.columns.size(), 1), "");
    row.cells[0] = first;
    s.rows.push_back(std::move(row));
    return static_cast<int>(s.rows.size()) - 1;
}

void MemoryWindow::DeleteRows(Control c) {
    LOCKED;
    At(c).rows.clear();
    At(c).selection = -1;
}

std::string MemoryWindow::Cell(Control c, int row, int column) {
    LOCKED;
    State& s = At(c);
    if (row < 0 || row >= static_cast<int>(s.rows.size())) return "";
    const auto& cells = s.rows[row].cells;
    return column >= 0 && column < static_cast<int>(cells.size()) ? cells[column] : "";
}

void MemoryWindow::SetCell(Control c, int row, int column, const std::string& t) {
    LOCKED;
    State& s = At(c);
    if (row < 0 || row >= static_cast<int>(s.rows.size()) || column < 0 ||
        column >= static_cast<int>(s.rows[row].cells.size()))
        return;  // like a list view: a cell outside the columns is not stored
    s.rows[row].cells[column] = t;
}

void MemoryWindow::SetRowIcon(Control c, int row, int icon) {
    LOCKED;
    State& s = At(c);
    if (row >= 0 && row < static_cast<int>(s.rows.size())) s.rows[row].icon = icon;
}

int MemoryWindow::RowIcon(Control c, int row) {
    LOCKED;
    State& s = At(c);
    return row >= 0 && row < static_cast<int>(s.rows.size()) ? s.rows[row].icon : -1;
}

void MemoryWindow::SortRows(Control c, int column) {
    LOCKED;
    auto& rows = At(c).rows;
    auto key = [column](const Row& r) {
        return column >= 0 && column < static_cast<int>(r.cells.size()) ? r.cells[column] : std::string();
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return key(a) < key(b); });
}

std::string MemoryWindow::ColumnCaption(Control c, int column) {
    LOCKED;
    auto& cols = At(c).columns;
    return column >= 0 && column < static_cast<int>(cols.size()) ? cols[column] : "";
}

void MemoryWindow::SetColumnCaption(Control c, int column, const std::string& caption) {
    LOCKED;
    auto& cols = At(c).columns;
    if (column >= 0 && column < static_cast<int>(cols.size())) cols[column] = caption;
}

int MemoryWindow::ProgressMax(Control c) {
    LOCKED;
    return At(c).progressMax;
}
void MemoryWindow::SetProgressMax(Control c, int v) {
    LOCKED;
    At(c).progressMax = v;
}
int MemoryWindow::ProgressPosition(Control c) {
    LOCKED;
    return At(c).position;
}
void MemoryWindow::SetProgressPosition(Control c, int v) {
    LOCKED;
    At(c).position = v;
}
int MemoryWindow::TimerPeriod(Control c) {
    LOCKED;
    return At(c).period;
}
void MemoryWindow::SetTimerPeriod(Control c, int v) {
    LOCKED;
    At(c).period = v;
}
int MemoryWindow::PageIndex(Control c) {
    LOCKED;
    return At(c).page;
}
void MemoryWindow::SetPageIndex(Control c, int v) {
    LOCKED;
    At(c).page = v;
}
bool MemoryWindow::Topmost() {
    LOCKED;
    return topmost_;
}
void MemoryWindow::SetTopmost(bool v) {
    LOCKED;
    topmost_ = v;
}
bool MemoryWindow::Minimised() {
    LOCKED;
    return minimised_;
}
void MemoryWindow::SetMinimised(bool v) {
    LOCKED;
    minimised_ = v;
}
void MemoryWindow::Activate() {
    LOCKED;
    ++activations_;
    minimised_ = false;
}
int MemoryWindow::ActivateCount() {
    LOCKED;
    return activations_;
}

std::string MemoryWindow::Title() {
    LOCKED;
    return title_;
}
void MemoryWindow::SetTitle(const std::string& t) {
    LOCKED;
    title_ = t;
}
void MemoryWindow::Close() {
    LOCKED;
    closed_ = true;
}
bool MemoryWindow::Closed() {
    LOCKED;
    return closed_;
}

#undef LOCKED

}  // namespace kx
