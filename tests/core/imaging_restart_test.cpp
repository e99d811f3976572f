#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>

#include "ImagingRig.h"

namespace kx::test {
namespace {

TEST(SystemRestart, MapsKindAndForceToTheFlagsOfWindows) {
    EXPECT_EQ(RestartRequestFor(2, true, true)->flags, 6u);
    EXPECT_EQ(RestartRequestFor(2, false, true)->flags, 2u);
    EXPECT_EQ(RestartRequestFor(1, false, true)->flags, 8u) << "power off on the NT family";
    EXPECT_EQ(RestartRequestFor(1, true, false)->flags, 5u);
    EXPECT_EQ(RestartRequestFor(3, false, true)->flags, 0u);
    EXPECT_EQ(RestartRequestFor(4, true, true)->method, RestartRequest::Suspend);
    EXPECT_EQ(RestartRequestFor(5, false, true)->method, RestartRequest::Hibernate);
    EXPECT_TRUE(RestartRequestFor(2, true, true)->enablePrivilege);
    EXPECT_FALSE(RestartRequestFor(2, true, false)->enablePrivilege);
    for (int kind : {0, 6, -1}) EXPECT_FALSE(RestartRequestFor(kind, true, true)) << kind;

    FakeRestart port;
    FakeSystem system;
    EXPECT_FALSE(SystemRestart(port, system, 0, true));
    EXPECT_FALSE(SystemRestart(port, system, 6, true));
    EXPECT_EQ(port.Count(), 0u) << "a kind outside 1-5 asks Windows nothing";
    EXPECT_TRUE(SystemRestart(port, system, 2, true));
    port.accept = false;
    EXPECT_FALSE(SystemRestart(port, system, 2, true));
}

// The countdown under a clock of its own: every pause of the countdown is a step that the test sees. The
// labels it showed are kept in order; at step `holdAt` it holds until it is stopped, and tells the test.
struct CountdownRig : ImagingRig {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> labels;
    int steps = 0, holdAt = -1;
    bool holding = false;

    ImagingContext Context() {
        ImagingContext c = ImagingRig::Context();
        c.wait = [this](const StopToken& stop, int milliseconds) {
            EXPECT_LE(milliseconds, 100) << "a stop is looked at least every 100 ms";
            std::unique_lock<std::mutex> lock(mutex);
            const std::string label = window.Text("提示透明标签5");
            if (labels.empty() || labels.back() != label) labels.push_back(label);
            if (++steps == holdAt) {
                holding = true;
                changed.notify_all();
                lock.unlock();
                while (!stop.WaitFor(1000)) {
                }
                return true;
            }
            return stop.StopRequested();
        };
        return c;
    }
    void WaitUntilHolding() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return holding; });
    }
};

std::vector<std::string> CountdownLabels() {
    std::vector<std::string> out;
    for (int s = 59; s >= 0; --s) out.push_back(std::to_string(s) + "秒 后自动重启!");
    return out;
}

TEST(Countdown, CountsFrom59To0ThenRestartsOnceTheDeploymentIsReady) {
    CountdownRig r;
    r.program.facts().deploymentReady.Set("就绪");
    StartRestartCountdown(r.Context());
    r.program.state().imaging.countdown.Wait();
    EXPECT_EQ(r.labels, CountdownLabels());
    EXPECT_EQ(r.steps, 600);
    EXPECT_TRUE(r.window.Topmost());
    EXPECT_EQ(r.window.ActivateCount(), 1);
    ASSERT_EQ(r.restart.Count(), 1u);
    EXPECT_EQ(r.restart.requests[0].flags, 6u);
    EXPECT_TRUE(r.restart.requests[0].enablePrivilege);
}

TEST(Countdown, RestartLaterStopsItAtAnyMomentAndNothingRestarts) {
    // At the first step, in the middle, at the last second, and while it waits for a deployment that failed.
    for (int holdAt : {1, 295, 600, 900}) {
        CountdownRig r;
        r.holdAt = holdAt;
        if (holdAt <= 600) r.program.facts().deploymentReady.Set("就绪");
        StartRestartCountdown(r.Context());
        r.WaitUntilHolding();
        r.program.Dispatch("按钮20", Event::Click);
        EXPECT_FALSE(r.program.state().imaging.countdown.Running()) << holdAt;
        EXPECT_EQ(r.window.Text("提示透明标签5"), "部署完成,请重启电脑!") << holdAt;
        EXPECT_EQ(r.window.TextColour("提示透明标签5"), 0xFF0000u) << holdAt;
        EXPECT_FALSE(r.window.Topmost()) << holdAt;
        EXPECT_EQ(r.restart.Count(), 0u) << holdAt;
        EXPECT_EQ(r.labels.size(), std::min<size_t>(60, (holdAt - 1) / 10 + 1)) << holdAt;
    }
}

TEST(RestartNow, WaitsForTheDeploymentWhileTheWindowKeepsWorking) {
    ImagingRig r;
    int pauses = 0;
    r.clock.onPause = [&] {
        if (++pauses == 3) r.program.facts().deploymentReady.Set("就绪");
    };
    r.program.Dispatch("按钮19", Event::Click);
    EXPECT_EQ(pauses, 3);
    ASSERT_EQ(r.restart.Count(), 1u);
    EXPECT_EQ(r.restart.requests[0].flags, 6u);
}

TEST(RestartNow, ARefusedRestartSaysWhyAndMayBeAskedAgain) {
    ImagingRig r;
    r.program.facts().deploymentReady.Set("就绪");
    r.restart.accept = false;
    r.program.Dispatch("按钮19", Event::Click);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Error);
    EXPECT_NE(r.messages.shown[0].text.find("（AdjustTokenPrivileges 错误 1314）"), std::string::npos)
        << r.messages.shown[0].text;
    r.restart.accept = true;
    r.program.Dispatch("按钮19", Event::Click);
    EXPECT_EQ(r.restart.Count(), 2u);
}

TEST(RestartNow, RestartLaterOrTheWindowClosingEndsTheWait) {
    for (bool close : {false, true}) {
        ImagingRig r;
        int pauses = 0;
        r.clock.onPause = [&] {
            if (++pauses != 2) return;
            if (close)
                r.program.OnDestroying();
            else
                r.program.Dispatch("按钮20", Event::Click);
            r.program.facts().deploymentReady.Set("就绪");  // too late: the wait was given up
        };
        r.program.Dispatch("按钮19", Event::Click);
        EXPECT_EQ(r.restart.Count(), 0u) << close;
    }
}

TEST(RestartNow, TogetherWithTheCountdownRestartsOnlyOnce) {
    CountdownRig r;
    r.program.facts().deploymentReady.Set("就绪");
    StartRestartCountdown(r.Context());
    r.program.Dispatch("按钮19", Event::Click);
    r.program.state().imaging.countdown.Wait();
    EXPECT_EQ(r.restart.Count(), 1u);
}

}  // namespace
}  // namespace kx::test
