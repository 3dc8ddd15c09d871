#include "app/watchdog.h"

#include "core/main_queue.h"

namespace vandrel {

struct Watchdog::State {
    rx::Duration threshold;
    rx::SchedulerPtr clock;
    std::function<void(rx::Duration)> onBlocked;
    // When the last stall was reported: jobs due before it waited through that same stall.
    std::optional<rx::TimePoint> reportedAt;

    void jobStarting(rx::TimePoint due)
    {
        const rx::TimePoint now = clock->now();
        if (now - due < threshold) return;
        if (reportedAt && due <= *reportedAt) return;
        reportedAt = now;
        if (onBlocked) onBlocked(now - due);
    }
};

Watchdog::Watchdog(rx::Duration threshold, rx::SchedulerPtr clock, std::function<void(rx::Duration)> onBlocked)
    : state_(std::make_shared<State>())
{
    state_->threshold = threshold;
    state_->clock = std::move(clock);
    state_->onBlocked = std::move(onBlocked);
}

Watchdog::~Watchdog()
{
    if (watched_) watched_->setJobObserver(nullptr);
}

void Watchdog::watch(MainQueue& queue)
{
    watched_ = &queue;
    std::weak_ptr<State> weak = state_;
    queue.setJobObserver([weak](rx::TimePoint due) {
        if (const auto s = weak.lock()) s->jobStarting(due);
    });
}

void Watchdog::jobStarting(rx::TimePoint due)
{
    state_->jobStarting(due);
}

}  // namespace vandrel
