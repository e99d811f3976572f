#pragma once
// Hands work to the window thread: a message-only window receives posted closures.
// Posts are queued in order (per posting thread) and drained in batches, so a burst of writes never
// fills the thread's message queue. After Stop, posts are dropped and waiting callers are released.
#include <functional>

namespace kx {

class UiDispatcher {
public:
    // On the window thread, before any worker starts.
    static bool Start();
    // On the window thread, when the window is gone: runs nothing more.
    static void Stop();
    static bool IsUiThread();
    // True between Start and Stop: posts reach the window thread.
    static bool Running();
    // The window has begun to close: what a posted task would show a person (a message box) is no longer
    // shown. Start clears it.
    static void BeginClosing();
    static bool Closing();
    // Queues the task for the window thread; runs it at once when called there.
    static void Post(std::function<void()> task);
    // Runs the task on the window thread and waits for it. False when it could not run (stopped).
    static bool Run(const std::function<void()>& task);
};

}  // namespace kx
