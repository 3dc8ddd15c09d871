// A scheduler on virtual time for tests: nothing runs until the test advances the clock, and then every
// job due runs in time order on the advancing thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "rx/scheduler.h"

namespace vandrel::rx {

class VirtualTimeScheduler final : public Scheduler {
public:
    static std::shared_ptr<VirtualTimeScheduler> make() { return std::make_shared<VirtualTimeScheduler>(); }

    // Without a lock: code that reads the clock on a hot path is measured without the test's clock in it.
    TimePoint now() const override { return now_.load(std::memory_order_acquire); }

    Disposable schedule(std::function<void()> work) override
    {
        return scheduleAfter(Duration::zero(), std::move(work));
    }

    Disposable scheduleAfter(Duration delay, std::function<void()> work) override
    {
        std::unique_lock lock(mutex_);
        const Key key{saturatingAdd(now_.load(), std::max(delay, Duration::zero())), nextSeq_++};
        jobs_.emplace(key, std::move(work));
        lock.unlock();
        std::weak_ptr<Scheduler> self = weak_from_this();
        return Disposable::create([self, key] {
            if (auto s = std::static_pointer_cast<VirtualTimeScheduler>(self.lock())) {
                std::function<void()> dropped;
                {
                    std::lock_guard lock(s->mutex_);
                    auto it = s->jobs_.find(key);
                    if (it == s->jobs_.end()) return;
                    dropped = std::move(it->second);
                    s->jobs_.erase(it);
                }
                // The job's captures are released outside the lock: they may dispose other jobs.
            }
        });
    }

    // Moves the clock forward by d, running every job that falls due on the way (jobs they schedule
    // within the window run too).
    void advanceBy(Duration d) { advanceTo(saturatingAdd(now(), d)); }

    void advanceTo(TimePoint target)
    {
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(mutex_);
                auto it = jobs_.begin();
                if (it == jobs_.end() || it->first.due > target) {
                    if (target > now_.load()) now_.store(target, std::memory_order_release);
                    return;
                }
                now_.store(std::max(now_.load(), it->first.due), std::memory_order_release);
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
    // Written under the mutex.
    std::atomic<TimePoint> now_{};
    std::uint64_t nextSeq_ = 0;
    std::map<Key, std::function<void()>> jobs_;
};

}  // namespace vandrel::rx
