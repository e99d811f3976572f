#pragma once

namespace kx {

// Handles the calling thread's pending messages. A WM_QUIT met here is posted again, so that the
// message loop that owns it still ends the program after a nested wait.
void ProcessPendingMessages();

}  // namespace kx
