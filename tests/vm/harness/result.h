#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vandrel::vmtest {

// The outcome of a harness call that yields nothing: success, or why it failed (with errno text), so a test can
// print the reason next to its assertion.
class Status {
public:
    static Status success() { return Status{}; }
    static Status failure(std::string error) { return Status{std::move(error)}; }

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const
    {
        static const std::string none;
        return error_ ? *error_ : none;
    }

private:
    Status() = default;
    explicit Status(std::string error) : error_(std::move(error)) {}

    std::optional<std::string> error_;
};

// A value, or why there is none.
template <typename T>
class Result {
public:
    static Result success(T value) { return Result{std::move(value), {}}; }
    static Result failure(std::string error) { return Result{std::nullopt, std::move(error)}; }
    static Result failure(const Status& status) { return failure(status.error()); }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }

private:
    Result(std::optional<T> value, std::string error) : value_(std::move(value)), error_(std::move(error)) {}

    std::optional<T> value_;
    std::string error_;
};

}  // namespace vandrel::vmtest
