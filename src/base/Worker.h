#pragma once
// A job on a thread of its own, owned by a Worker object: it can be asked to stop, and the owner joins
// it when it goes away (the program stops every worker when its window is destroyed). Nothing is
// detached. The job never touches a control itself: it publishes snapshots that the window thread draws
// (Latest.h), or writes through the window port, which hands each write to the window thread.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace kx {

class StopToken {
public:
    bool StopRequested() const;
    // Waits up to `milliseconds`, or less when a stop is requested; true when one was. Jobs wait with
    // this instead of sleeping, so a stop is honoured at once.
    bool WaitFor(int milliseconds) const;

private:
    friend class Worker;
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool stop = false;
        bool done = false;
    };
    explicit StopToken(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

class Worker {
public:
    using Job = std::function<void(const StopToken&)>;
    // Called while a wait for the thread goes on: the window thread handles its messages there, so a job
    // that writes to or reads from the window can finish.
    using Idle = std::function<void()>;

    Worker() = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the job; a job still running is stopped and joined first. An exception the job lets out
    // ends the job, never the process.
    void Start(Job job, const Idle& idle = {});
    // Raises the stop request and returns at once.
    void RequestStop();
    // Raises the stop request and returns once the thread has ended.
    void Stop(const Idle& idle = {});
    // Waits for the job to end by itself.
    void Wait(const Idle& idle = {});
    bool Running() const;

private:
    std::thread thread_;
    std::shared_ptr<StopToken::State> state_;
};

// A worker its owner stops at close, with what ends a blocking wait of its job first (an abort of a
// request, a flag its waits read) and the lock its starts take, if any.
struct Stoppable {
    Worker* worker = nullptr;
    std::function<void()> interrupt;
    std::recursive_mutex* lock = nullptr;
};

// Interrupts and asks every worker to stop, so they end side by side; then joins them in the order given
// while `idle` runs (the window thread handles the messages their last writes need).
void StopAll(std::span<const Stoppable> workers, const Worker::Idle& idle);

}  // namespace kx
