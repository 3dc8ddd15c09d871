// The result of decoding a stored value: the value, or why it could not be read. Decoders report failure
// this way instead of throwing.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vandrel {

struct DecodeError {
    std::string message;
};

template <class T>
class DecodeResult {
public:
    DecodeResult(T value) : v_(std::move(value)) {}
    DecodeResult(DecodeError error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T& value() const& { return std::get<0>(v_); }
    T& value() & { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    // Only when !ok().
    const std::string& error() const { return std::get<1>(v_).message; }

private:
    std::variant<T, DecodeError> v_;
};

}  // namespace vandrel
