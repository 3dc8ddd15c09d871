#include "core/log.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <thread>

namespace vandrel {

Logger log;

namespace {
thread_local std::string threadLabel;
}

void setCurrentThreadLabel(std::string label)
{
    threadLabel = std::move(label);
}

std::string_view currentThreadLabel()
{
    if (threadLabel.empty()) {
        std::ostringstream os;
        os << std::this_thread::get_id();
        threadLabel = os.str();
    }
    return threadLabel;
}

// The ring of an asynchronous destination. Slots keep their strings, so a line that fits the room of an
// earlier one is copied without allocating.
struct LogDestination::AsyncQueue {
    static constexpr std::size_t capacity = 512;
    struct Slot {
        LogLevel level = LogLevel::debug;
        std::string message;
        std::string context;
        std::string thread;
        std::source_location location;
        std::chrono::system_clock::time_point time;
    };

    explicit AsyncQueue(LogDestination& owner) : slots(capacity)
    {
        for (auto& slot : slots) {
            slot.message.reserve(256);
            slot.context.reserve(128);
            slot.thread.reserve(32);
        }
        thread = std::thread([this, &owner] { run(owner); });
    }

    void push(const LogRecord& record)
    {
        std::unique_lock lock(mutex);
        if (count == capacity) {
            ++dropped;
            return;
        }
        Slot& slot = slots[(head + count) % capacity];
        slot.level = record.level;
        slot.message.assign(record.message);
        slot.context.assign(record.context);
        slot.thread.assign(record.threadLabel);
        slot.location = record.location;
        slot.time = record.time;
        ++count;
        ++queued;
        // A wake-up only when the writer sleeps: a burst costs one.
        if (writerWaiting) ready.notify_one();
    }

    void flush()
    {
        std::unique_lock lock(mutex);
        const std::uint64_t target = queued;
        written.wait(lock, [&] { return done >= target; });
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        ready.notify_one();
        if (thread.joinable()) thread.join();
    }

    void run(LogDestination& owner)
    {
        writerThread = std::this_thread::get_id();
        std::unique_lock lock(mutex);
        for (;;) {
            writerWaiting = true;
            ready.wait(lock, [&] { return count > 0 || stopping; });
            writerWaiting = false;
            if (count == 0) return;
            // The slot stays taken while it is written; producers fill the others meanwhile.
            const Slot& slot = slots[head];
            lock.unlock();
            const LogRecord record{slot.level, slot.message, slot.context, slot.location, slot.thread, slot.time};
            try {
                owner.write(record);
            } catch (...) {
                // A destination that fails loses its line, not the logger.
            }
            lock.lock();
            head = (head + 1) % capacity;
            --count;
            // Before the line counts as done, so a flush() waits for the report too.
            if (dropped != 0 && count == 0) reportDropped(owner, lock);
            ++done;
            written.notify_all();
        }
    }

    // Says how many lines were lost, once the ring has emptied.
    void reportDropped(LogDestination& owner, std::unique_lock<std::mutex>& lock)
    {
        const std::uint64_t lost = std::exchange(dropped, 0);
        lock.unlock();
        char number[24];
        const auto end = std::to_chars(number, number + sizeof number, lost).ptr;
        const std::string context(number, end);
        const LogRecord record{LogLevel::warning,
                               "log lines were dropped: they came faster than they could be written ->",
                               context,
                               std::source_location::current(),
                               "log",
                               std::chrono::system_clock::now()};
        try {
            owner.write(record);
        } catch (...) {
        }
        lock.lock();
    }

    std::vector<Slot> slots;
    std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable written;
    std::size_t head = 0;
    std::size_t count = 0;
    std::uint64_t queued = 0;
    std::uint64_t done = 0;
    std::uint64_t dropped = 0;
    bool writerWaiting = false;
    bool stopping = false;
    std::thread::id writerThread;
    std::thread thread;
};

LogDestination::LogDestination() = default;

LogDestination::~LogDestination()
{
    stopAsync();
}

void LogDestination::startAsync()
{
    if (!async_) async_ = std::make_unique<AsyncQueue>(*this);
}

void LogDestination::stopAsync()
{
    if (!async_) return;
    async_->stop();
    async_.reset();
}

void LogDestination::deliver(const LogRecord& record)
{
    // The writer thread's own lines (a destination that logs) would wait on themselves.
    if (async_ && std::this_thread::get_id() != async_->writerThread)
        async_->push(record);
    else
        write(record);
}

void LogDestination::flush()
{
    if (async_ && std::this_thread::get_id() != async_->writerThread) async_->flush();
}

void LogDestination::setMinLevel(LogLevel level)
{
    minLevel_.store(static_cast<int>(level), std::memory_order_relaxed);
    if (owner_) owner_->recomputeLowestLevel();
}

void Logger::addDestination(std::shared_ptr<LogDestination> destination)
{
    if (!destination) return;
    {
        std::lock_guard lock(mutex_);
        destination->owner_ = this;
        auto next = std::make_shared<Destinations>(*destinations_);
        next->push_back(std::move(destination));
        destinations_ = std::move(next);
    }
    recomputeLowestLevel();
}

void Logger::removeDestination(const std::shared_ptr<LogDestination>& destination)
{
    std::shared_ptr<const Destinations> old;  // released outside the lock
    {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<Destinations>(*destinations_);
        std::erase(*next, destination);
        if (destination) destination->owner_ = nullptr;
        old = std::exchange(destinations_, std::move(next));
    }
    recomputeLowestLevel();
}

void Logger::removeAllDestinations()
{
    std::shared_ptr<const Destinations> old;
    {
        std::lock_guard lock(mutex_);
        for (auto& d : *destinations_) d->owner_ = nullptr;
        old = std::exchange(destinations_, std::make_shared<const Destinations>());
    }
    recomputeLowestLevel();
}

std::vector<std::shared_ptr<LogDestination>> Logger::destinations() const
{
    std::lock_guard lock(mutex_);
    return *destinations_;
}

void Logger::flush()
{
    std::shared_ptr<const Destinations> targets;
    {
        std::lock_guard lock(mutex_);
        targets = destinations_;
    }
    for (const auto& d : *targets) d->flush();
}

void Logger::recomputeLowestLevel()
{
    std::lock_guard lock(mutex_);
    int lowest = kNoDestination;
    for (const auto& d : *destinations_) lowest = std::min(lowest, static_cast<int>(d->minLevel()));
    lowestLevel_.store(lowest, std::memory_order_relaxed);
}

void Logger::write(LogLevel level, const LogMessage& m, std::string_view context)
{
    const LogRecord record{level, m.text, context, m.location, currentThreadLabel(), std::chrono::system_clock::now()};
    std::shared_ptr<const Destinations> targets;
    {
        std::lock_guard lock(mutex_);
        targets = destinations_;
    }
    for (const auto& d : *targets) {
        if (static_cast<int>(level) >= static_cast<int>(d->minLevel())) d->deliver(record);
    }
}

}  // namespace vandrel
