// A log destination that keeps what it is given, for tests that check what was logged. It is on the global
// logger (every level) for as long as the ScopedLogCapture lives.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.h"

namespace vandrel::test {

class LogCapture final : public LogDestination {
public:
    struct Entry {
        LogLevel level;
        std::string message;
        std::string context;
    };

    void write(const LogRecord& record) override
    {
        std::lock_guard lock(mutex_);
        entries_.push_back({record.level, std::string(record.message), std::string(record.context)});
    }

    std::vector<Entry> entries() const
    {
        std::lock_guard lock(mutex_);
        return entries_;
    }

    std::size_t count(LogLevel level) const
    {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(
            std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.level == level; }));
    }

    bool contains(LogLevel level, const std::string& message) const
    {
        std::lock_guard lock(mutex_);
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.level == level && e.message == message; });
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

class ScopedLogCapture {
public:
    ScopedLogCapture() : capture_(std::make_shared<LogCapture>())
    {
        capture_->setMinLevel(LogLevel::verbose);
        log.addDestination(capture_);
    }
    ~ScopedLogCapture() { log.removeDestination(capture_); }
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    LogCapture* operator->() const { return capture_.get(); }

private:
    std::shared_ptr<LogCapture> capture_;
};

}  // namespace vandrel::test
