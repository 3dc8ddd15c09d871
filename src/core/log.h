// The global logger `log`: levels verbose..error, any number of destinations, each with its own minimum
// level. A call below every destination's level costs one atomic load: nothing is formatted.
//
// The console and the file write on threads of their own (asynchronous destinations): a log call copies the
// record into a slot of a preallocated ring and returns, so a line logged on the key path neither allocates
// (for lines of ordinary length) nor waits for a disk or a terminal. Lines reach each destination in the order
// they were logged; flush() waits until they are all written (tests before reading a file; the destination's
// destructor writes what is left). A full ring never makes the caller wait (the input thread logs, and may
// wait on nothing but its devices): the line is dropped and counted, and the writer reports the count in a
// line of its own once it has room again.
//
//   log.info("scheme activated ->", scheme.name);   // message, optional context value
//   log.error("cannot open database", err.what());
//
// File, function and line are taken from the call site.
#pragma once

#include <atomic>
#include <charconv>
#include <chrono>
#include <concepts>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <source_location>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vandrel {

enum class LogLevel : int { verbose = 0, debug = 1, info = 2, warning = 3, error = 4 };

// One log call as the destinations see it.
struct LogRecord {
    LogLevel level;
    std::string_view message;
    std::string_view context;  // empty when the call had none
    std::source_location location;
    std::string_view threadLabel;
    std::chrono::system_clock::time_point time;
};

class LogDestination {
public:
    LogDestination();
    virtual ~LogDestination();
    // Writes one line, on the calling thread.
    virtual void write(const LogRecord& record) = 0;
    LogLevel minLevel() const { return static_cast<LogLevel>(minLevel_.load(std::memory_order_relaxed)); }
    void setMinLevel(LogLevel level);

    // What the logger calls: write() at once, or, for an asynchronous destination, a copy of the record queued
    // for its writer thread.
    void deliver(const LogRecord& record);
    // Returns once every record delivered before the call has been written.
    void flush();

protected:
    // Makes the destination asynchronous: write() runs on a thread of its own. Called by the derived
    // constructor; the derived destructor calls stopAsync() first, so no write() runs on a half-destroyed
    // object.
    void startAsync();
    // Writes what is queued, then ends the thread; later records are written at once.
    void stopAsync();

private:
    friend class Logger;
    struct AsyncQueue;
    std::atomic<int> minLevel_{static_cast<int>(LogLevel::debug)};
    class Logger* owner_ = nullptr;
    std::unique_ptr<AsyncQueue> async_;
};

// The name of the calling thread as log lines show it: the queue label for our serial queues, "main" for
// the GUI thread, otherwise the system thread id.
void setCurrentThreadLabel(std::string label);
std::string_view currentThreadLabel();

// A message with the place it was logged from; built implicitly at the call site.
struct LogMessage {
    std::string_view text;
    std::source_location location;

    template <class S>
    requires std::convertible_to<const S&, std::string_view> LogMessage(
        const S& s, std::source_location loc = std::source_location::current())
        : text(s), location(loc)
    {
    }
};

namespace log_detail {
template <class T>
concept Streamable = requires(std::ostream& os, const T& t)
{
    os << t;
};
template <class T>
concept Iterable = requires(const T& t)
{
    std::begin(t);
    std::end(t);
};
}  // namespace log_detail

// Text form of a context value.
template <class T>
std::string logText(const T& value)
{
    if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::convertible_to<const T&, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::is_integral_v<T> && sizeof(T) > 1 && !std::is_same_v<T, wchar_t> &&
                         !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>) {
        // No stream: a count or a code logged on the key path costs no allocation.
        char text[24];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        return std::string(text, end);
    } else if constexpr (std::is_arithmetic_v<T>) {
        std::ostringstream os;
        os << value;
        return os.str();
    } else if constexpr (std::is_same_v<T, nlohmann::json> || std::is_same_v<T, nlohmann::ordered_json>) {
        return value.dump();
    } else if constexpr (requires {
                             value.has_value();
                             *value;
                         }) {
        return value.has_value() ? logText(*value) : std::string("nil");
    } else if constexpr (log_detail::Streamable<T>) {
        std::ostringstream os;
        os << value;
        return os.str();
    } else if constexpr (log_detail::Iterable<T>) {
        std::string out = "[";
        bool first = true;
        for (const auto& item : value) {
            if (!first) out += ", ";
            first = false;
            out += logText(item);
        }
        return out + "]";
    } else {
        return "<value>";
    }
}

class Logger {
public:
    void verbose(LogMessage m) { logPlain(LogLevel::verbose, m, {}); }
    void debug(LogMessage m) { logPlain(LogLevel::debug, m, {}); }
    void info(LogMessage m) { logPlain(LogLevel::info, m, {}); }
    void warning(LogMessage m) { logPlain(LogLevel::warning, m, {}); }
    void error(LogMessage m) { logPlain(LogLevel::error, m, {}); }

    template <class C>
    void verbose(LogMessage m, const C& context)
    {
        emitWith(LogLevel::verbose, m, context);
    }
    template <class C>
    void debug(LogMessage m, const C& context)
    {
        emitWith(LogLevel::debug, m, context);
    }
    template <class C>
    void info(LogMessage m, const C& context)
    {
        emitWith(LogLevel::info, m, context);
    }
    template <class C>
    void warning(LogMessage m, const C& context)
    {
        emitWith(LogLevel::warning, m, context);
    }
    template <class C>
    void error(LogMessage m, const C& context)
    {
        emitWith(LogLevel::error, m, context);
    }

    // True when some destination writes messages of this level.
    bool isWritten(LogLevel level) const
    {
        return static_cast<int>(level) >= lowestLevel_.load(std::memory_order_relaxed);
    }

    void addDestination(std::shared_ptr<LogDestination> destination);
    void removeDestination(const std::shared_ptr<LogDestination>& destination);
    void removeAllDestinations();
    std::vector<std::shared_ptr<LogDestination>> destinations() const;
    // Waits until every destination has written what was logged before the call.
    void flush();

private:
    friend class LogDestination;
    static constexpr int kNoDestination = 100;

    template <class C>
    void emitWith(LogLevel level, const LogMessage& m, const C& context)
    {
        if (!isWritten(level)) return;
        const std::string text = logText(context);
        write(level, m, text);
    }
    void logPlain(LogLevel level, const LogMessage& m, std::string_view context)
    {
        if (!isWritten(level)) return;
        write(level, m, context);
    }
    void write(LogLevel level, const LogMessage& m, std::string_view context);
    void recomputeLowestLevel();

    using Destinations = std::vector<std::shared_ptr<LogDestination>>;
    mutable std::mutex mutex_;
    // Replaced, never changed, so a log call takes it without copying the list.
    std::shared_ptr<const Destinations> destinations_ = std::make_shared<const Destinations>();
    std::atomic<int> lowestLevel_{kNoDestination};
};

// The one logger of the process. Before destinations are added every message is dropped.
extern Logger log;

}  // namespace vandrel
