#pragma once
// The live controls of the main window, created from the layout table and found by their names.
#include <windows.h>

#include <map>
#include <string>

#include "app/Layout.h"
#include "app/Theme_win.h"
#include "app/WebView_win.h"
#include "platform/Handle_win.h"

namespace kx {

class Controls;

struct LiveControl {
    Controls* owner = nullptr;  // the window procedures of our own controls reach the rest through it
    const ControlSpec* spec = nullptr;
    HWND hwnd = nullptr;
    std::string tag;
    COLORREF textColour = 0;
    int timerPeriod = 0;  // timers only
    int timerId = 0;
    int page = 0;      // page controls: the current page
    bool hot = false;  // the mouse is over an owner-drawn button
    UniqueBitmap picture;
};

// Window property names: the driver of the program scenarios reads them from another process.
inline constexpr wchar_t kNameProperty[] = L"KxName";  // a global atom holding the control's name
inline constexpr wchar_t kKindProperty[] = L"KxKind";  // the ControlKind + 1

// The control a window of ours stands for (its GWLP_USERDATA); null while it is created or torn down.
LiveControl* ControlOf(HWND hwnd);

class Controls {
public:
    // Creates every control of the layout under the main window. Window thread only. The web views
    // take their shell port and site from `web`.
    void Create(HWND main, HINSTANCE instance, WebViewSetup web);
    // When the window is being destroyed: the controls no longer answer to their names.
    void ReleaseNames();
    // After the window and its controls are gone.
    void Destroy();

    LiveControl* Find(const std::string& name);
    LiveControl* FromHwnd(HWND hwnd);
    const LiveControl* FromHwnd(HWND hwnd) const;
    LiveControl* FromTimer(UINT_PTR id);
    HWND Main() const { return main_; }
    const Theme& Skin() const { return theme_; }

    // Page controls: shows page `index` and hides the others.
    void ShowPage(LiveControl& pageControl, int index);
    // As a click on the page's tab: shows it and raises the page control's page-changed event. Nothing
    // when the page is current already or there is no such page.
    void ChoosePage(LiveControl& pageControl, int index);
    // Moves a control, keeping its size; x in the parent's coordinates as the layout gives them.
    void MoveLeft(LiveControl& control, int x);

private:
    HWND CreateOne(const ControlSpec& spec, HWND parent, HINSTANCE instance);
    void SetUpListView(const LiveControl& c);

    HWND main_ = nullptr;
    Theme theme_;
    std::map<std::string, LiveControl> byName_;
    std::map<HWND, LiveControl*> byHwnd_;
    UniqueImageList driveIcons_;
    WebViewSetup web_;
};

}  // namespace kx
