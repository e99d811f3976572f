#pragma once
// The controls that are ours: panels (pages, group boxes, page controls), transparent labels and picture
// boxes, as window classes; picture and flat buttons, drawn by their owner. Each finds its data through
// the LiveControl it carries (ControlOf). The web view has a class of its own (WebView_win.h).
#include <windows.h>

#include "app/Controls_win.h"

namespace kx {

inline constexpr wchar_t kPanelClass[] = L"KxPanel";
inline constexpr wchar_t kLabelClass[] = L"KxLabel";
inline constexpr wchar_t kPictureClass[] = L"KxPicture";
inline constexpr wchar_t kComponentClass[] = L"KxComponent";  // timers, dialogs: a window for the name only

void RegisterControlClasses(HINSTANCE instance);

// Picture and flat buttons light up under the mouse.
void TrackHotState(LiveControl& button);
// WM_DRAWITEM of a picture or flat button.
void DrawOwnerButton(const DRAWITEMSTRUCT& item);

// Paints what lies behind `hwnd` over `area`: the main window's background, and the cards and pages of
// the control's opaque ancestors (and of the control itself).
void PaintBehind(const Controls& controls, HWND hwnd, HDC dc, const RECT& area);
// A brush of what lies behind a child control, for its own painting (WM_CTLCOLOR*).
HBRUSH BrushBehind(const Controls& controls, HWND child, HDC dc);

}  // namespace kx
