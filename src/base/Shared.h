#pragma once
// A program-wide value shared between threads: always read and replaced whole under its lock.
#include <mutex>
#include <utility>

namespace kx {

template <typename T>
class Shared {
public:
    Shared() = default;
    explicit Shared(T value) : value_(std::move(value)) {}

    T Get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void Set(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace kx
