#pragma once
// The window as the workflows see it: every control addressed by its layout name.
// Implemented by the real window (WindowPort_win.cpp, safe from any thread) and by MemoryWindow (tests/support).
#include <cstdint>
#include <string>
#include <vector>

#include "base/ControlNames.h"

namespace kx {

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Caption of labels, buttons, group boxes; text of edit boxes; address of web views.
    virtual std::string Text(Control control) = 0;
    virtual void SetText(Control control, const std::string& text) = 0;
    virtual std::string Tag(Control control) = 0;
    virtual void SetTextColour(Control control, uint32_t colorref) = 0;

    // Left edge in the parent's coordinates.
    virtual int Left(Control control) = 0;
    virtual void SetLeft(Control control, int x) = 0;

    virtual bool Visible(Control control) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual bool Enabled(Control control) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual bool Checked(Control control) = 0;
    virtual void SetChecked(Control control, bool checked) = 0;

    // List boxes and list views share the selection index (-1 = none).
    virtual int Selection(Control control) = 0;
    virtual void SetSelection(Control control, int index) = 0;

    // List box items.
    virtual std::vector<std::string> Items(Control control) = 0;
    virtual void AddItem(Control control, const std::string& text) = 0;
    virtual void ClearItems(Control control) = 0;

    // List view rows (report style).
    virtual int RowCount(Control control) = 0;
    virtual int AddRow(Control control, const std::string& firstCell) = 0;  // returns its index
    virtual void DeleteRows(Control control) = 0;
    virtual std::string Cell(Control control, int row, int column) = 0;
    virtual void SetCell(Control control, int row, int column, const std::string& text) = 0;
    virtual void SetRowIcon(Control control, int row, int icon) = 0;
    virtual int RowIcon(Control control, int row) = 0;
    virtual void SortRows(Control control, int column) = 0;  // ascending, byte-wise
    virtual std::string ColumnCaption(Control control, int column) = 0;
    virtual void SetColumnCaption(Control control, int column, const std::string& caption) = 0;

    virtual int ProgressMax(Control control) = 0;
    virtual void SetProgressMax(Control control, int max) = 0;
    virtual int ProgressPosition(Control control) = 0;
    virtual void SetProgressPosition(Control control, int position) = 0;

    virtual int TimerPeriod(Control control) = 0;  // milliseconds, 0 = stopped
    virtual void SetTimerPeriod(Control control, int milliseconds) = 0;

    virtual int PageIndex(Control control) = 0;
    virtual void SetPageIndex(Control control, int index) = 0;

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
