#pragma once
// The window as the workflows see it: every control addressed by its layout name.
// Implemented by the real window (WindowPort_win.cpp, safe from any thread) and by MemoryWindow (tests/support).
#include <cstdint>
#include <string>
#include <vector>

namespace kx {

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Caption of labels, buttons, group boxes; text of edit boxes; address of web views.
    virtual std::string Text(const std::string& control) = 0;
    virtual void SetText(const std::string& control, const std::string& text) = 0;
    virtual std::string Tag(const std::string& control) = 0;
    virtual void SetTextColour(const std::string& control, uint32_t colorref) = 0;

    // Left edge in the parent's coordinates.
    virtual int Left(const std::string& control) = 0;
    virtual void SetLeft(const std::string& control, int x) = 0;

    virtual bool Visible(const std::string& control) = 0;
    virtual void SetVisible(const std::string& control, bool visible) = 0;
    virtual bool Enabled(const std::string& control) = 0;
    virtual void SetEnabled(const std::string& control, bool enabled) = 0;
    virtual bool Checked(const std::string& control) = 0;
    virtual void SetChecked(const std::string& control, bool checked) = 0;

    // List boxes and list views share the selection index (-1 = none).
    virtual int Selection(const std::string& control) = 0;
    virtual void SetSelection(const std::string& control, int index) = 0;

    // List box items.
    virtual std::vector<std::string> Items(const std::string& control) = 0;
    virtual void AddItem(const std::string& control, const std::string& text) = 0;
    virtual void ClearItems(const std::string& control) = 0;

    // List view rows (report style).
    virtual int RowCount(const std::string& control) = 0;
    virtual int AddRow(const std::string& control, const std::string& firstCell) = 0;  // returns its index
    virtual void DeleteRows(const std::string& control) = 0;
    virtual std::string Cell(const std::string& control, int row, int column) = 0;
    virtual void SetCell(const std::string& control, int row, int column, const std::string& text) = 0;
    virtual void SetRowIcon(const std::string& control, int row, int icon) = 0;
    virtual int RowIcon(const std::string& control, int row) = 0;
    virtual void SortRows(const std::string& control, int column) = 0;  // ascending, byte-wise
    virtual std::string ColumnCaption(const std::string& control, int column) = 0;
    virtual void SetColumnCaption(const std::string& control, int column, const std::string& caption) = 0;

    virtual int ProgressMax(const std::string& control) = 0;
    virtual void SetProgressMax(const std::string& control, int max) = 0;
    virtual int ProgressPosition(const std::string& control) = 0;
    virtual void SetProgressPosition(const std::string& control, int position) = 0;

    virtual int TimerPeriod(const std::string& control) = 0;  // milliseconds, 0 = stopped
    virtual void SetTimerPeriod(const std::string& control, int milliseconds) = 0;

    virtual int PageIndex(const std::string& control) = 0;
    virtual void SetPageIndex(const std::string& control, int index) = 0;

    // The main window itself.
    virtual bool Topmost() = 0;
    virtual void SetTopmost(bool topmost) = 0;
    virtual bool Minimised() = 0;
    virtual void SetMinimised(bool minimised) = 0;
    virtual void Activate() = 0;
    virtual std::string Title() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Ends the program: the window is destroyed and the process exits with code 0.
    virtual void Close() = 0;
};

}  // namespace kx
