// The real window port under Wine: writes and reads from worker threads while the window thread pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/Controls_win.h"
#include "app/MainWindow_win.h"
#include "app/Program.h"
#include "app/WindowPort_win.h"
#include "platform/SystemPorts_win.h"
#include "platform/UiDispatcher_win.h"

namespace kx {
namespace {

class QuietMessages : public MessagePort {
public:
    using MessagePort::Show;
    MessageAnswer Show(const std::string&, const std::string&, MessageButtons, MessageIcon) override {
        return MessageAnswer::Ok;
    }
};

class NoOtherInstance : public InstancePort {
public:
    uint32_t CreateNamedMutex(const std::string&) override { return 0; }
    void ReleaseNamedMutex() override {}
    bool ActivateOtherWindow(const std::string&, const std::string&) override { return false; }
    void ExitProcess(int) override {}
};

class NoShell : public ShellPort {
public:
    void OpenUrl(const std::string&) override {}
};

struct RealWindow {
    Controls controls;
    WindowPortWin port{controls};
    QuietMessages messages;
    NoShell shell;
    ClockPortWin clock;
    NoOtherInstance instance;
    Program program{Ports{&port, &messages, &shell, &clock, &instance}};
    HWND main = nullptr;

    RealWindow() {
        UiDispatcher::Start();
        main = CreateMainWindow(GetModuleHandleW(nullptr), program, controls, port);
        port.SetTimerPeriod("时钟1", 0);  // no start-up refresh in these tests
    }
    ~RealWindow() {
        if (IsWindow(main)) DestroyWindow(main);
        ProcessPendingMessages();
        // The window's end asked this thread to quit; the tests that follow share the thread.
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
};

TEST(WindowPort, WritesFromWorkersDuringPauseArriveInOrder) {
    RealWindow w;
    ASSERT_TRUE(w.main);
    constexpr int kThreads = 4, kWrites = 150;
    std::atomic<int> finished{0};
    std::atomic<int> badReads{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kWrites; ++i) {
                w.port.AddItem("映像文件_组合框", std::to_string(t) + ":" + std::to_string(i));
                w.port.SetText(t % 2 ? Control("下载状态") : Control("文件大小"), "写入" + std::to_string(i));
                w.port.SetProgressPosition("进度条2", i % 100);
                // A read waits for the window thread, which is inside Pause.
                if (i % 25 == 0 && w.port.Text("按钮18") != "手动下载") ++badReads;
            }
            ++finished;
        });
    }
    for (int rounds = 0; finished < kThreads && rounds < 300; ++rounds) w.clock.Pause(100);
    for (auto& worker : workers) worker.join();
    w.clock.Pause(50);  // what the last posts queued

    ASSERT_EQ(finished.load(), kThreads) << "a worker did not finish: deadlock";
    EXPECT_EQ(badReads.load(), 0);
    std::vector<std::string> items = w.port.Items("映像文件_组合框");
    ASSERT_EQ(items.size(), static_cast<size_t>(kThreads * kWrites));
    std::vector<int> last(kThreads, -1);
    for (const auto& item : items) {
        int t = std::stoi(item.substr(0, item.find(':')));
        int i = std::stoi(item.substr(item.find(':') + 1));
        EXPECT_EQ(i, last[t] + 1) << "thread " << t << " out of order";
        last[t] = i;
    }
    std::string lastText = "写入" + std::to_string(kWrites - 1);
    EXPECT_EQ(w.port.Text("下载状态"), lastText);
    EXPECT_EQ(w.port.Text("文件大小"), lastText);
}

TEST(WindowPort, ControlsAnswerLikeTheLayoutAndTheirWrites) {
    RealWindow w;
    ASSERT_TRUE(w.main);
    WindowPort& p = w.port;
    EXPECT_EQ(p.Title(), "重装系统工具");
    EXPECT_EQ(p.Text("按钮11"), "安装此系统");
    EXPECT_FALSE(p.Visible("按钮16"));
    EXPECT_EQ(p.TimerPeriod("时钟1"), 0);
    EXPECT_EQ(p.ColumnCaption("还原磁盘_超级列表框", 7), "当前系统盘符");
    EXPECT_EQ(p.ColumnCaption("备份磁盘_超级列表框", 0), "备份分区");
    EXPECT_EQ(p.Text("超文本浏览框3"), "about:blank");

    // List view rows: append, cells, icons, sorting by column 0, selection.
    for (const char* drive : {"E:", "C:", "D:"}) {
        int row = p.AddRow("还原磁盘_超级列表框", drive);
        p.SetCell("还原磁盘_超级列表框", row, 1, std::string("1:") + drive[0]);
        p.SetRowIcon("还原磁盘_超级列表框", row, drive[0] == 'C' ? 0 : 1);
    }
    EXPECT_EQ(p.RowIcon("还原磁盘_超级列表框", 0), 1) << "before sorting";
    EXPECT_EQ(p.RowIcon("还原磁盘_超级列表框", 1), 0) << "before sorting";
    p.SortRows("还原磁盘_超级列表框", 0);
    ASSERT_EQ(p.RowCount("还原磁盘_超级列表框"), 3);
    EXPECT_EQ(p.Cell("还原磁盘_超级列表框", 0, 0), "C:");
    EXPECT_EQ(p.Cell("还原磁盘_超级列表框", 0, 1), "1:C");
    EXPECT_EQ(p.RowIcon("还原磁盘_超级列表框", 0), 0);
    EXPECT_EQ(p.RowIcon("还原磁盘_超级列表框", 1), 1);
    EXPECT_EQ(p.Cell("还原磁盘_超级列表框", 2, 0), "E:");
    EXPECT_EQ(p.Selection("还原磁盘_超级列表框"), -1);
    p.SetSelection("还原磁盘_超级列表框", 1);
    EXPECT_EQ(p.Selection("还原磁盘_超级列表框"), 1);
    p.DeleteRows("还原磁盘_超级列表框");
    EXPECT_EQ(p.RowCount("还原磁盘_超级列表框"), 0);

    p.SetColumnCaption("还原磁盘_超级列表框", 0, "备份分区");
    EXPECT_EQ(p.ColumnCaption("还原磁盘_超级列表框", 0), "备份分区");
    p.SetProgressMax("进度条1", 4);
    p.SetProgressPosition("进度条1", 3);
    EXPECT_EQ(p.ProgressMax("进度条1"), 4);
    EXPECT_EQ(p.ProgressPosition("进度条1"), 3);
    p.SetChecked("备份收藏夹", true);
    EXPECT_TRUE(p.Checked("备份收藏夹"));
    p.SetPageIndex("高级选择夹2", 2);
    EXPECT_EQ(p.PageIndex("高级选择夹2"), 2);
    p.SetTopmost(true);
    EXPECT_TRUE(p.Topmost());
    p.SetTopmost(false);
    EXPECT_FALSE(p.Topmost());
    p.SetLeft("高级选择夹1", 5);
    EXPECT_EQ(p.Left("高级选择夹1"), 5);
}

// A misspelt name no longer compiles; what is left to check at run time is that the window made a live
// control for every name of the layout, from this thread and from a worker.
TEST(WindowPort, EveryControlOfTheLayoutIsLive) {
    RealWindow w;
    ASSERT_TRUE(w.main);
    for (std::string_view name : kLayoutNames) (void)w.port.Visible(*Control::Find(name));
    std::thread worker([&] { (void)w.port.Text(ctl::kInstallXpButton); });
    for (int rounds = 0; rounds < 50; ++rounds) w.clock.Pause(10);
    worker.join();
    EXPECT_EQ(w.port.UnknownControlCalls(), 0);
    EXPECT_EQ(w.port.Text(ctl::kInstallXpButton), "安装此系统");
}

}  // namespace
}  // namespace kx
