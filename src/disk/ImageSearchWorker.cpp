#include "disk/ImageSearchWorker.h"

namespace kx {

ImageSearchWorker::~ImageSearchWorker() {
    if (flags_) flags_->stop = true;
    if (thread_.joinable()) thread_.join();
}

void ImageSearchWorker::Start(Body body, const std::function<void()>& idle) {
    Stop(idle);
    flags_ = std::make_shared<Flags>();
    // The thread holds its own reference to the flags, so they outlive any replacement of flags_.
    thread_ = std::thread([flags = flags_, body = std::move(body)] {
        try {
            body(flags->stop);
        } catch (...) {
            // No exception leaves the thread; a failed search simply ends.
        }
        flags->done = true;
    });
}

void ImageSearchWorker::Stop(const std::function<void()>& idle) {
    if (flags_) flags_->stop = true;
    Wait(idle);
}

void ImageSearchWorker::Wait(const std::function<void()>& idle) {
    if (!thread_.joinable()) return;
    // `idle` handles window messages, so another handler may stop or restart the search meanwhile:
    // only the thread this call waited for is joined here, and only if no one else has joined it.
    std::shared_ptr<Flags> flags = flags_;
    while (!flags->done) {
        if (idle) idle();
        std::this_thread::yield();
    }
    if (flags == flags_ && thread_.joinable()) thread_.join();
}

bool ImageSearchWorker::Running() const { return flags_ && thread_.joinable() && !flags_->done; }

}  // namespace kx
