// The failure of a database operation, and a value-or-failure result for opening.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace vandrel {

// Thrown inside write blocks and by the database layer; handed to error handlers as a value.
class RealmError : public std::runtime_error {
public:
    explicit RealmError(const std::string& description) : std::runtime_error(description) {}
    std::string localizedDescription() const { return what(); }
};

template <class T>
class RealmExpected {
public:
    RealmExpected(T value) : state_(std::move(value)) {}
    RealmExpected(RealmError error) : state_(std::move(error)) {}

    bool has_value() const { return std::holds_alternative<T>(state_); }
    explicit operator bool() const { return has_value(); }

    T& value() { return std::get<T>(state_); }
    const T& value() const { return std::get<T>(state_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const RealmError& error() const { return std::get<RealmError>(state_); }

private:
    std::variant<T, RealmError> state_;
};

}  // namespace vandrel
