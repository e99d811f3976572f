// Message boxes asked for by worker threads: the window thread shows them, the worker goes on, and a box
// still queued when the window begins to close is never shown.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/MessagePump_win.h"
#include "platform/SystemPorts_win.h"
#include "platform/UiDispatcher_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// Presses OK on every message box of this process titled `title` while it runs; counts them.
class BoxWatcher {
public:
    explicit BoxWatcher(const char* title) : title_(Widen(title)) {
        thread_ = std::thread([this] {
            while (!stop_) {
                if (HWND box = FindWindowW(L"#32770", title_.c_str())) {
                    DWORD pid = 0;
                    GetWindowThreadProcessId(box, &pid);
                    if (pid == GetCurrentProcessId()) {
                        ++seen_;
                        PostMessageW(box, WM_COMMAND, IDOK, 0);
                        while (IsWindow(box) && !stop_) Sleep(10);
                    }
                }
                Sleep(10);
            }
        });
    }
    ~BoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    int Seen() const { return seen_; }

private:
    std::wstring title_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::thread thread_;
};

// Handles this thread's messages until `done` or a few seconds have passed.
template <typename Done>
void PumpUntil(Done done) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < 5000) {
        ProcessPendingMessages();
        Sleep(5);
    }
}

TEST(WorkerMessages, ANoticeFromAWorkerIsShownByTheWindowThreadAndDoesNotHoldTheWorker) {
    ASSERT_TRUE(UiDispatcher::Start());
    MessagePortWin messages;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_EQ(messages.Show("done", "kx-notice"), MessageAnswer::Ok);
        returned = true;
    });
    // This thread handles no message meanwhile, so no box of the window thread can be up: a worker that
    // showed the box itself would still be waiting for its answer.
    const DWORD start = GetTickCount();
    while (!returned && GetTickCount() - start < 5000) Sleep(10);
    EXPECT_TRUE(returned) << "the worker waited on a box of its own";
    BoxWatcher watcher("kx-notice");  // answers the box wherever it is
    worker.join();
    PumpUntil([&] { return watcher.Seen() == 1; });
    EXPECT_EQ(watcher.Seen(), 1) << "the notice was shown by the window thread";
    UiDispatcher::Stop();
}

TEST(WorkerMessages, NoBoxIsShownOnceTheWindowBeganToClose) {
    ASSERT_TRUE(UiDispatcher::Start());
    MessagePortWin messages;
    BoxWatcher watcher("kx-late");
    std::thread worker([&] { (void)messages.Show("done", "kx-late"); });
    worker.join();
    UiDispatcher::BeginClosing();
    PumpUntil([] { return false; });  // the queued task runs here and must show nothing
    EXPECT_EQ(watcher.Seen(), 0);

    std::atomic<int> answer{-1};
    std::thread asker([&] { answer = static_cast<int>(messages.Show("?", "kx-late", MessageButtons::YesNo)); });
    PumpUntil([&] { return answer.load() != -1; });
    asker.join();
    EXPECT_EQ(answer.load(), static_cast<int>(MessageAnswer::Cancel)) << "a question during the close is cancelled";
    EXPECT_EQ(watcher.Seen(), 0);
    UiDispatcher::Stop();
}

}  // namespace
}  // namespace kx
