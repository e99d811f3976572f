#pragma once
// The program's private window messages, allotted in one place so that no two windows' messages collide.
// The scenario driver sends kSelectPageMessage from another process: values in the WM_APP range are
// stable across processes, which registered messages are not without an agreed name.
#include <windows.h>

namespace kx {

// To the UI dispatcher's message-only window: tasks wait in its queue.
inline constexpr UINT kDispatcherWakeMessage = WM_APP + 1;
// To the main window from a page control, lParam the page control's HWND: the user chose another page.
inline constexpr UINT kPageChangedMessage = WM_APP + 2;
// To a page control, wParam the page index: select that page as a click on its tab would.
inline constexpr UINT kSelectPageMessage = WM_APP + 3;

}  // namespace kx
