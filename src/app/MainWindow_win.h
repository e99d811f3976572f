#pragma once
// The one main window: borderless, skinned, cut to its outline; it turns control notifications into the
// program's events.
#include <windows.h>

#include "app/Controls_win.h"
#include "app/Program.h"
#include "app/WindowPort_win.h"

namespace kx {

HWND CreateMainWindow(HINSTANCE instance, Program& program, Controls& controls, WindowPortWin& port);

}  // namespace kx
