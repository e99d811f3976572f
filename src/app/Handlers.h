#pragma once
// The shell's own handlers; the event map calls the features' handlers with their contexts directly.
#include "app/Program.h"

namespace kx {

// Application shell.
void MinimiseWindow(Program& p);
void CloseProgram(Program& p);
void OpenManualDownloadPage(Program& p);
void LoadHelpPage(Program& p);
void StartupTimerTick(Program& p);
void ToggleToolPages(Program& p);
void DoNothing(Program& p);

}  // namespace kx
