#include "app/watchdog.h"

#include <mutex>
#include <optional>

namespace vandrel {

struct Watchdog::State {
    std::mutex mutex;
    rx::Duration threshold;
    rx::SchedulerPtr mainQueue;
    rx::SchedulerPtr watcher;
    std::function<void()> onBlocked;
    // When the job now waiting on the main queue was sent; none while no job waits.
    std::optional<rx::TimePoint> sentAt;
    bool reported = false;
    rx::Disposable ping;

    void tick(const std::shared_ptr<State>& self)
    {
        bool blocked = false;
        {
            std::lock_guard lock(mutex);
            if (sentAt) {
                if (!reported && watcher->now() - *sentAt >= threshold) blocked = reported = true;
            } else {
                sentAt = watcher->now();
                std::weak_ptr<State> weak = self;
                ping = mainQueue->schedule([weak] {
                    if (const auto s = weak.lock()) {
                        std::lock_guard lock(s->mutex);
                        s->sentAt.reset();
                        s->reported = false;
                    }
                });
            }
        }
        if (blocked) onBlocked();
    }
};

Watchdog::Watchdog(rx::Duration threshold, rx::SchedulerPtr mainQueue, rx::SchedulerPtr watcher,
                   std::function<void()> onBlocked)
    : state_(std::make_shared<State>())
{
    state_->threshold = threshold;
    state_->mainQueue = std::move(mainQueue);
    state_->watcher = std::move(watcher);
    state_->onBlocked = std::move(onBlocked);
    std::weak_ptr<State> weak = state_;
    ticks_ = state_->watcher->schedulePeriodic(std::max(threshold / 4, rx::Duration(1)), [weak] {
        if (const auto s = weak.lock()) s->tick(s);
    });
}

Watchdog::~Watchdog()
{
    ticks_.dispose();
    std::lock_guard lock(state_->mutex);
    state_->ping.dispose();
}

}  // namespace vandrel
