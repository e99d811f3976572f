#pragma once
// The latest state a worker published, for a reader on another thread that looks at it when it likes (the
// window thread, on a timer). Each publish replaces the state whole and numbers it, so the reader can tell
// whether anything is new since it last looked. A state the reader never saw is gone: publish whole states,
// never changes.
#include <cstdint>
#include <mutex>
#include <utility>

namespace kx {

template <typename T>
class Latest {
public:
    void Publish(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
        ++sequence_;
    }
    // The number of the last publish; 0 before the first.
    uint64_t Sequence() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return sequence_;
    }
    // When something was published after the publish numbered `seen`: copies it to `out`, sets `seen` to
    // its number and returns true.
    bool TakeNewer(uint64_t& seen, T& out) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sequence_ == seen) return false;
        out = value_;
        seen = sequence_;
        return true;
    }

private:
    mutable std::mutex mutex_;
    T value_{};
    uint64_t sequence_ = 0;
};

}  // namespace kx
