// A scheduler on virtual time for tests: nothing runs until the test advances the clock, and then every
// job due runs in time order on the advancing thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "rx/scheduler.h"

namespace vandrel::rx {

class VirtualTimeScheduler final : public Scheduler {
public:
    static std::shared_ptr<VirtualTimeScheduler> make() { return std::make_shared<VirtualTimeScheduler>(); }

    TimePoint now() const override
    {
        std::lock_guard lock(mutex_);
        return now_;
    }

    Disposable schedule(std::function<void()> work) override { return scheduleAfter(Duration::zero(), std::move(work)); }

    Disposable scheduleAfter(Duration delay, std::function<void()> work) override
    {
        std::lock_guard lock(mutex_);
        const Key key{now_ + (delay < Duration::zero() ? Duration::zero() : delay), nextSeq_++};
        jobs_.emplace(key, std::move(work));
        std::weak_ptr<VirtualTimeScheduler> self =
            std::static_pointer_cast<VirtualTimeScheduler>(shared_from_this());
        return Disposable::create([self, key] {
            if (auto s = self.lock()) {
                std::lock_guard lock(s->mutex_);
                s->jobs_.erase(key);
            }
        });
    }

    // Moves the clock forward by d, running every job that falls due on the way (jobs they schedule
    // within the window run too).
    void advanceBy(Duration d) { advanceTo(now() + d); }

    void advanceTo(TimePoint target)
    {
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(mutex_);
                auto it = jobs_.begin();
                if (it == jobs_.end() || it->first.due > target) {
                    if (target > now_) now_ = target;
                    return;
                }
                now_ = std::max(now_, it->first.due);
                job = std::move(it->second);
                jobs_.erase(it);
            }
            job();
        }
    }

    // Runs jobs that are due now without moving the clock.
    void runDue() { advanceBy(Duration::zero()); }

    std::size_t pendingCount() const
    {
        std::lock_guard lock(mutex_);
        return jobs_.size();
    }

private:
    struct Key {
        TimePoint due;
        std::uint64_t seq;
        bool operator<(const Key& o) const { return due != o.due ? due < o.due : seq < o.seq; }
    };
    mutable std::mutex mutex_;
    TimePoint now_{};
    std::uint64_t nextSeq_ = 0;
    std::map<Key, std::function<void()>> jobs_;
};

}  // namespace vandrel::rx
