// Kernel and hardware facts, read by name path or by dotted name, as raw bytes, fixed-size integers or text.
//
// The names and name paths are the ones the rest of the program knows (kern.*, hw.*); on Linux each is
// answered from uname, sysinfo, sysconf, /proc or /sys. A fact this machine does not provide reads as
// posixError(ENOENT). The readers print the errno number to standard output when a value's size cannot be
// found, as the diagnostics of this module go to standard output rather than to the logger.
//
//   auto mem = Sysctl::value<std::uint64_t>("hw.memsize");   // Sysctl::Result<std::uint64_t>
//   if (mem) use(*mem); else report(mem.error().description());
#pragma once

#include <concepts>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vandrel {

class Sysctl {
public:
    // Why a read failed.
    struct Error {
        enum class Kind {
            posixError,     // the system call failed; `code` holds errno
            unknown,        // failed with an errno that is not a known error code, or no storage
            malformedUTF8,  // a text value is not valid UTF-8
            invalidSize,    // the value's byte size differs from the requested integer type's
        };
        Kind kind = Kind::unknown;
        int code = 0;

        static Error posix(int errnoCode);
        std::string description() const;
        bool operator==(const Error&) const = default;
    };

    // A value or the error of its read.
    template <class T>
    class Result {
    public:
        Result(T value) : v_(std::move(value)) {}
        Result(Error error) : v_(error) {}
        bool ok() const { return v_.index() == 0; }
        explicit operator bool() const { return ok(); }
        const T& value() const { return std::get<0>(v_); }
        const T& operator*() const { return value(); }
        const T* operator->() const { return &value(); }
        const Error& error() const { return std::get<1>(v_); }
        T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

    private:
        std::variant<T, Error> v_;
    };

    using Keys = std::vector<std::int32_t>;
    using Bytes = std::vector<std::int8_t>;

    // The deepest name path a dotted name resolves to.
    static constexpr std::size_t maxNameDepth = 12;

    // Raw bytes of the value at a name path.
    static Result<Bytes> data(const Keys& keys);

    // The name path of a dotted name.
    static Result<Keys> keys(const std::string& name);

    // An integer value; invalidSize when the value does not have exactly sizeof(T) bytes.
    template <std::integral T>
    static Result<T> value(const Keys& keys)
    {
        auto bytes = data(keys);
        if (!bytes) return bytes.error();
        return integerFrom<T>(*bytes);
    }
    template <std::integral T>
    static Result<T> value(std::initializer_list<std::int32_t> keys)
    {
        return value<T>(Keys(keys));
    }
    template <std::integral T>
    static Result<T> value(const std::string& name)
    {
        auto k = keys(name);
        if (!k) return k.error();
        return value<T>(*k);
    }

    // A text value: the bytes up to the first NUL, validated as UTF-8.
    static Result<std::string> string(const Keys& keys);
    static Result<std::string> string(std::initializer_list<std::int32_t> keys) { return string(Keys(keys)); }
    static Result<std::string> string(const std::string& name);

    // The two conversions the readers apply to raw bytes.
    template <std::integral T>
    static Result<T> integerFrom(const Bytes& bytes)
    {
        if (bytes.size() != sizeof(T)) return Error{Error::Kind::invalidSize, 0};
        T out{};
        std::memcpy(&out, bytes.data(), sizeof(T));
        return out;
    }
    static Result<std::string> textFrom(const Bytes& bytes);

    // The named facts. Read on every access; a fact that cannot be read gives "" or 0.
    static std::string hostName();
    static std::string machine();
    static std::string model();
    static std::int32_t activeCPUs();
    static std::string osRelease();
    static std::int32_t osRev();
    static std::string osType();
    static std::string osVersion();
    static std::string version();
    static std::uint64_t memSize();
    static std::int64_t cpuFreq();
};

}  // namespace vandrel
