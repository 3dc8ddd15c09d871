#include "core/log.h"

#include <algorithm>
#include <functional>
#include <thread>

namespace vandrel {

Logger log;

namespace {
thread_local std::string threadLabel;
}

void setCurrentThreadLabel(std::string label) { threadLabel = std::move(label); }

std::string_view currentThreadLabel()
{
    if (threadLabel.empty()) {
        std::ostringstream os;
        os << std::this_thread::get_id();
        threadLabel = os.str();
    }
    return threadLabel;
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
        destinations_.push_back(std::move(destination));
    }
    recomputeLowestLevel();
}

void Logger::removeDestination(const std::shared_ptr<LogDestination>& destination)
{
    {
        std::lock_guard lock(mutex_);
        std::erase(destinations_, destination);
        if (destination) destination->owner_ = nullptr;
    }
    recomputeLowestLevel();
}

void Logger::removeAllDestinations()
{
    {
        std::lock_guard lock(mutex_);
        for (auto& d : destinations_) d->owner_ = nullptr;
        destinations_.clear();
    }
    recomputeLowestLevel();
}

std::vector<std::shared_ptr<LogDestination>> Logger::destinations() const
{
    std::lock_guard lock(mutex_);
    return destinations_;
}

void Logger::recomputeLowestLevel()
{
    std::lock_guard lock(mutex_);
    int lowest = kNoDestination;
    for (const auto& d : destinations_) lowest = std::min(lowest, static_cast<int>(d->minLevel()));
    lowestLevel_.store(lowest, std::memory_order_relaxed);
}

void Logger::write(LogLevel level, const LogMessage& m, std::string_view context)
{
    const LogRecord record{level, m.text, context, m.location, currentThreadLabel(), std::chrono::system_clock::now()};
    std::vector<std::shared_ptr<LogDestination>> targets;
    {
        std::lock_guard lock(mutex_);
        targets = destinations_;
    }
    for (const auto& d : targets) {
        if (static_cast<int>(level) >= static_cast<int>(d->minLevel())) d->write(record);
    }
}

}  // namespace vandrel
