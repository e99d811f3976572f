#pragma once
// The live controls of the main window, created from the layout table, and their drawing.
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>

#include "app/Layout.h"

namespace kx {

struct LiveControl {
    const ControlSpec* spec = nullptr;
    HWND hwnd = nullptr;
    std::string tag;
    COLORREF textColour = 0;
    int timerPeriod = 0;  // timers only
    int timerId = 0;
    int page = 0;      // page controls: the current page
    bool hot = false;  // the mouse is over an owner-drawn button
    HBITMAP picture = nullptr;
};

// Window property names: the driver of the program scenarios reads them from another process.
inline constexpr wchar_t kNameProperty[] = L"KxName";  // a global atom holding the control's name
inline constexpr wchar_t kKindProperty[] = L"KxKind";  // the ControlKind + 1

class Controls {
public:
    // Creates every control of the layout under the main window. Window thread only.
    void Create(HWND main, HINSTANCE instance);
    // When the window is being destroyed: the controls no longer answer to their names.
    void ReleaseNames();
    // After the window and its controls are gone.
    void Destroy();

    LiveControl* Find(const std::string& name);
    LiveControl* FromHwnd(HWND hwnd);
    LiveControl* FromTimer(UINT_PTR id);
    HWND Main() const { return main_; }

    // Page controls: shows page `index` and hides the others.
    void ShowPage(LiveControl& pageControl, int index);
    // Moves a control, keeping its size; x in the parent's coordinates as the layout gives them.
    void MoveLeft(LiveControl& control, int x);
    // Paints the main window's background as it lies behind `hwnd`.
    void PaintBackground(HWND hwnd, HDC dc, const RECT& area) const;
    // A brush of the background aligned for a child control's own painting (WM_CTLCOLOR*).
    HBRUSH BackgroundBrushFor(HWND child, HDC dc) const;
    HFONT Font() const { return font_; }
    HFONT TitleFont() const { return titleFont_; }
    HFONT CaptionFont() const { return captionFont_; }  // group boxes
    HBITMAP Background() const { return background_; }

private:
    HWND CreateOne(const ControlSpec& spec, HWND parent, HINSTANCE instance);

    HWND main_ = nullptr;
    std::map<std::string, LiveControl> byName_;
    std::map<HWND, LiveControl*> byHwnd_;
    HBITMAP background_ = nullptr;
    HBRUSH backgroundBrush_ = nullptr;
    HDC backgroundDc_ = nullptr;
    HFONT font_ = nullptr, titleFont_ = nullptr, captionFont_ = nullptr;
    HIMAGELIST driveIcons_ = nullptr;
};

// Decoded pictures from the program's resources (RCDATA, by name): JPEG, or BMP for the small ones.
HBITMAP LoadPicture(const char* name);
std::string ResourceBytes(const wchar_t* name);

}  // namespace kx
