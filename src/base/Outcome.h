#pragma once
// The outcome of a step that can fail. A workflow reports success only when every step it decided on
// succeeded; otherwise the failure names the step (in the user's words) and, for a Windows call, the
// call and its error code, so a message can say what failed.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace kx {

// Where the system said no: the Win32 call and the error it left (GetLastError, or an HRESULT).
struct Win32Error {
    uint32_t code = 0;
    std::string call;  // "CreateFileW", "bcdedit /create" ...
};

class [[nodiscard]] Outcome {
public:
    static Outcome Done() { return Outcome(); }
    static Outcome Failed(std::string what, Win32Error error = {}) {
        Outcome o;
        o.failed_ = true;
        o.what_ = std::move(what);
        o.error_ = std::move(error);
        return o;
    }
    // A failure from the system's answer alone: true is done, false failed with the given words.
    static Outcome From(bool done, std::string what, Win32Error error = {}) {
        return done ? Done() : Failed(std::move(what), std::move(error));
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& what() const { return what_; }
    const Win32Error& error() const { return error_; }
    // "写入 C:\otldr 失败（CreateFileW 错误 5）"; empty when done.
    std::string Describe() const;

    // Keeps the first failure: after `a.Also(b)`, a holds its own failure if it had one, else b's.
    Outcome& Also(Outcome next) {
        if (ok() && !next.ok()) *this = std::move(next);
        return *this;
    }

private:
    bool failed_ = false;
    std::string what_;
    Win32Error error_;
};

// A value, or the outcome that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts implicitly
    Result(Outcome failure) : outcome_(std::move(failure)) {}  // NOLINT: so does a failure

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *value_; }
    T& value() { return *value_; }
    const T* operator->() const { return &*value_; }
    Outcome outcome() const { return ok() ? Outcome::Done() : outcome_; }

private:
    std::optional<T> value_;
    Outcome outcome_;
};

}  // namespace kx
