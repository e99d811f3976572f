#include "base/Worker.h"

#include <chrono>

namespace kx {

bool StopToken::StopRequested() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->stop;
}

bool StopToken::WaitFor(int milliseconds) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return state_->stop; });
    return state_->stop;
}

Worker::~Worker() { Stop(); }

void Worker::Start(Job job, const Idle& idle) {
    Stop(idle);
    state_ = std::make_shared<StopToken::State>();
    // The thread holds its own reference to the state, so it outlives any replacement of state_.
    thread_ = std::thread([state = state_, job = std::move(job)] {
        try {
            job(StopToken(state));
        } catch (...) {
            // No exception leaves the thread: the job's outcome is whatever it reported before.
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
        state->changed.notify_all();
    });
}

void Worker::RequestStop() {
    if (!state_) return;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
    state_->changed.notify_all();
}

void Worker::Stop(const Idle& idle) {
    RequestStop();
    Wait(idle);
}

void Worker::Wait(const Idle& idle) {
    if (!thread_.joinable()) return;
    // `idle` handles window messages, so another handler may stop or restart this worker meanwhile: only
    // the thread this call waited for is joined here, and only if no one else has joined it.
    std::shared_ptr<StopToken::State> state = state_;
    if (idle) {
        std::unique_lock<std::mutex> lock(state->mutex);
        while (!state->done) {
            lock.unlock();
            idle();
            lock.lock();
            state->changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return state->done; });
        }
    }
    if (state == state_ && thread_.joinable()) thread_.join();
}

bool Worker::Running() const {
    if (!state_ || !thread_.joinable()) return false;
    std::lock_guard<std::mutex> lock(state_->mutex);
    return !state_->done;
}

void StopAll(std::span<const Stoppable> workers, const Worker::Idle& idle) {
    for (const Stoppable& w : workers) {
        if (w.interrupt) w.interrupt();
        w.worker->RequestStop();
    }
    for (const Stoppable& w : workers) {
        if (w.lock) {
            std::lock_guard<std::recursive_mutex> hold(*w.lock);
            w.worker->Stop(idle);
        } else {
            w.worker->Stop(idle);
        }
    }
}

}  // namespace kx
