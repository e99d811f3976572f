#include "base/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace kx {
namespace {

// A job that runs until it is asked to stop (or gives up after ten seconds, so a broken stop fails the test
// instead of hanging it).
void UntilStopped(const StopToken& stop) { stop.WaitFor(10000); }

TEST(Worker, StopIsHonouredAtOnceAndTheThreadIsJoined) {
    Worker worker;
    std::atomic<bool> ended{false};
    worker.Start([&](const StopToken& stop) {
        stop.WaitFor(60000);
        ended = stop.StopRequested();
    });
    EXPECT_TRUE(worker.Running());
    worker.Stop();
    EXPECT_TRUE(ended) << "the wait ended because of the stop, not the time-out";
    EXPECT_FALSE(worker.Running());
    worker.Stop();  // nothing left to stop
}

TEST(Worker, DestroyingTheOwnerStopsAndJoinsTheJob) {
    std::atomic<bool> ended{false};
    {
        Worker worker;
        worker.Start([&](const StopToken& stop) {
            UntilStopped(stop);
            ended = true;
        });
    }
    EXPECT_TRUE(ended);
}

TEST(Worker, AnExceptionEndsTheJobNotTheProcess) {
    Worker worker;
    worker.Start([](const StopToken&) { throw std::runtime_error("job failed"); });
    worker.Wait();
    EXPECT_FALSE(worker.Running());
}

TEST(Worker, StartingAgainStopsTheRunningJobFirst) {
    Worker worker;
    std::atomic<int> firstEnded{0};
    worker.Start([&](const StopToken& stop) {
        UntilStopped(stop);
        firstEnded = 1;
    });
    worker.Start([&](const StopToken&) { EXPECT_EQ(firstEnded, 1) << "the first job ended before the second began"; });
    worker.Wait();
}

TEST(Worker, IdleRunsWhileWaitingAndMayStopOrRestartTheSameWorker) {
    // The window thread handles messages while it waits, so another handler may stop, or stop and restart,
    // the worker meanwhile.
    Worker worker;
    worker.Start(UntilStopped);
    int nested = 0;
    worker.Stop([&] {
        if (nested++ == 0) worker.Stop();
    });
    EXPECT_GE(nested, 1);
    EXPECT_FALSE(worker.Running());

    // A job started from inside the wait belongs to whoever started it: the outer wait returns once its
    // own thread has ended and leaves the new one running.
    worker.Start(UntilStopped);
    std::atomic<bool> restarted{false};
    nested = 0;
    worker.Stop([&] {
        if (nested++ == 0) {
            worker.Start(UntilStopped);
            restarted = true;
        }
    });
    ASSERT_TRUE(restarted);
    EXPECT_TRUE(worker.Running()) << "the outer wait joined the job started inside it";
    worker.Stop();
    EXPECT_FALSE(worker.Running());
}

TEST(StopToken, WaitForReturnsAfterItsTimeWhenNoStopCame) {
    Worker worker;
    std::atomic<bool> stopped{true};
    worker.Start([&](const StopToken& stop) { stopped = stop.WaitFor(1); });
    worker.Wait();
    EXPECT_FALSE(stopped);
}

// At close every worker is interrupted and asked to stop before any is joined: a first job that cannot end
// until the second one has been told to stop (it waits on its result) still ends at once.
TEST(Worker, StopAllAsksEveryWorkerBeforeJoiningAny) {
    Worker first, second;
    std::atomic<bool> interrupted{false}, secondStopped{false}, firstSawIt{false};
    second.Start([&](const StopToken& stop) {
        stop.WaitFor(10000);
        secondStopped = stop.StopRequested();
    });
    first.Start([&](const StopToken& stop) {
        stop.WaitFor(10000);
        for (int i = 0; i < 500 && !secondStopped; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        firstSawIt = secondStopped.load();
    });
    std::recursive_mutex lock;
    const Stoppable workers[] = {{&first, {}, nullptr}, {&second, [&] { interrupted = true; }, &lock}};
    StopAll(workers, {});
    EXPECT_TRUE(firstSawIt) << "the second worker was asked to stop before the first was joined";
    EXPECT_TRUE(interrupted);
    EXPECT_FALSE(first.Running() || second.Running());
}

}  // namespace
}  // namespace kx
