#pragma once
// The worker thread of the image search that follows every full drive refresh. It is stopped
// cooperatively: the search checks its stop flag between steps, and the stopper waits for it while
// the window thread keeps handling messages (the worker's window updates go through that thread).
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace kx {

class ImageSearchWorker {
public:
    using Body = std::function<void(const std::atomic<bool>& stop)>;

    ImageSearchWorker() = default;
    ~ImageSearchWorker();
    ImageSearchWorker(const ImageSearchWorker&) = delete;
    ImageSearchWorker& operator=(const ImageSearchWorker&) = delete;

    // Starts `body` on a new thread; a search still running is stopped first.
    void Start(Body body, const std::function<void()>& idle);
    // Raises the stop flag and returns once the thread has ended, calling `idle` while it waits.
    // Nothing happens when no search was started or it has already ended.
    void Stop(const std::function<void()>& idle);
    // Waits for the search to end by itself (it is not asked to stop).
    void Wait(const std::function<void()>& idle);
    bool Running() const;

private:
    struct Flags {
        std::atomic<bool> stop{false};
        std::atomic<bool> done{false};
    };
    std::thread thread_;
    std::shared_ptr<Flags> flags_;
};

}  // namespace kx
