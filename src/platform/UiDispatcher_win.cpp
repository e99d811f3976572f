#include "platform/UiDispatcher_win.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/Handle_win.h"
#include "platform/WindowMessages_win.h"

namespace kx {
namespace {

struct Pending {
    std::function<void()> task;
    HANDLE done = nullptr;  // signalled after the task ran or was dropped (Run's waiter)
};

std::mutex gMutex;
std::deque<Pending> gQueue;
HWND gSink = nullptr;
DWORD gUiThread = 0;
bool gStopped = false;
std::atomic<bool> gClosing{false};

void Drain() {
    for (;;) {
        Pending next;
        {
            std::lock_guard<std::mutex> lock(gMutex);
            if (gQueue.empty()) return;
            next = std::move(gQueue.front());
            gQueue.pop_front();
        }
        if (next.task) next.task();
        if (next.done) SetEvent(next.done);
    }
}

LRESULT CALLBACK SinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kDispatcherWakeMessage) {
        Drain();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Queues the task; wakes the sink when the queue was empty. False when stopped.
bool Enqueue(Pending pending) {
    bool wake;
    HWND sink;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (gStopped || !gSink) return false;
        wake = gQueue.empty();
        gQueue.push_back(std::move(pending));
        sink = gSink;
    }
    if (wake && !PostMessageW(sink, kDispatcherWakeMessage, 0, 0)) {
        // The sink is gone: run nothing, but release whoever waits.
        std::lock_guard<std::mutex> lock(gMutex);
        for (auto& p : gQueue)
            if (p.done) SetEvent(p.done);
        gQueue.clear();
        return false;
    }
    return true;
}

}  // namespace

bool UiDispatcher::Start() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SinkProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KxUiDispatcher";
    RegisterClassW(&wc);
    HWND sink = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    std::lock_guard<std::mutex> lock(gMutex);
    gSink = sink;
    gUiThread = GetCurrentThreadId();
    gStopped = false;
    gClosing = false;
    return sink != nullptr;
}

void UiDispatcher::Stop() {
    Drain();
    std::lock_guard<std::mutex> lock(gMutex);
    gStopped = true;
    for (auto& p : gQueue)
        if (p.done) SetEvent(p.done);
    gQueue.clear();
    if (gSink) DestroyWindow(gSink);
    gSink = nullptr;
}

bool UiDispatcher::IsUiThread() { return GetCurrentThreadId() == gUiThread; }

bool UiDispatcher::Running() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gSink && !gStopped;
}

void UiDispatcher::BeginClosing() { gClosing = true; }

bool UiDispatcher::Closing() { return gClosing; }

void UiDispatcher::Post(std::function<void()> task) {
    if (IsUiThread()) {
        task();
        return;
    }
    Enqueue({std::move(task), nullptr});
}

bool UiDispatcher::Run(const std::function<void()>& task) {
    if (IsUiThread()) {
        task();
        return true;
    }
    // The task reports through this flag; a task that is dropped leaves it false.
    auto ran = std::make_shared<bool>(false);
    UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return false;
    bool queued = Enqueue({[task, ran] {
                               task();
                               *ran = true;
                           },
                           done.get()});
    if (queued) WaitForSingleObject(done.get(), INFINITE);
    return *ran;
}

}  // namespace kx
