// Schedulers: where and when work runs. Everything in the program that waits, repeats or reads the time
// does it through a Scheduler, so tests can run it on virtual time.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "rx/disposable.h"

namespace vandrel::rx {

using Duration = std::chrono::nanoseconds;
// Monotonic time; a virtual scheduler starts its own at zero.
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;

// Seconds as a Duration. Not-a-number is zero; values beyond the range of Duration saturate.
inline constexpr Duration seconds(double s)
{
    if (!(s == s)) return Duration::zero();
    constexpr double limit = 9.2e9;  // just under Duration::max() seconds
    if (s >= limit) return Duration::max();
    if (s <= -limit) return Duration::min();
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}
inline constexpr Duration milliseconds(long long ms)
{
    return std::chrono::milliseconds(ms);
}

// t + d without overflow: a delay too long for the clock ends at the clock's last instant.
inline TimePoint saturatingAdd(TimePoint t, Duration d)
{
    if (d > Duration::zero() && t.time_since_epoch() > Duration::max() - d) return TimePoint::max();
    if (d < Duration::zero() && t.time_since_epoch() < Duration::min() - d) return TimePoint::min();
    return t + d;
}

// Schedulers must be owned by a std::shared_ptr (periodic work re-arms itself through a weak reference).
class Scheduler : public std::enable_shared_from_this<Scheduler> {
public:
    virtual ~Scheduler() = default;

    virtual TimePoint now() const = 0;

    // Runs work as soon as the scheduler can. Disposing the result before it ran cancels it.
    virtual Disposable schedule(std::function<void()> work) = 0;

    // Runs work once after delay (a zero or negative delay means as soon as possible).
    virtual Disposable scheduleAfter(Duration delay, std::function<void()> work) = 0;

    // Runs work every period, first after one period, until the result is disposed. Ticks keep to the
    // grid start + k * period, so slow work does not make them drift; a tick that is late runs at once.
    // Ticks never overlap: the next is armed when the previous one has run.
    virtual Disposable schedulePeriodic(Duration period, std::function<void()> work)
    {
        auto state = std::make_shared<PeriodicState>();
        state->work = std::move(work);
        state->period = std::max(period, Duration(1));
        state->due = saturatingAdd(now(), state->period);
        armPeriodic(state);
        // Only the pending job owns the state, so a scheduler that is dropped releases the work with it.
        std::weak_ptr<PeriodicState> weak = state;
        return Disposable::create([weak] {
            auto s = weak.lock();
            if (!s) return;
            Disposable next;
            {
                std::lock_guard lock(s->mutex);
                s->stopped = true;
                next = std::move(s->next);
            }
            next.dispose();
        });
    }

private:
    struct PeriodicState {
        std::mutex mutex;
        bool stopped = false;
        Disposable next;
        std::function<void()> work;
        Duration period{};
        TimePoint due{};
    };

    void armPeriodic(const std::shared_ptr<PeriodicState>& state)
    {
        std::weak_ptr<Scheduler> self = weak_from_this();
        Disposable next = scheduleAfter(state->due - now(), [state, self] {
            {
                std::lock_guard lock(state->mutex);
                if (state->stopped) return;
            }
            state->work();
            auto s = self.lock();
            if (!s) return;
            {
                std::lock_guard lock(state->mutex);
                if (state->stopped) return;
                state->due = saturatingAdd(state->due, state->period);
            }
            s->armPeriodic(state);
        });
        std::lock_guard lock(state->mutex);
        if (state->stopped) {
            next.dispose();
            return;
        }
        // Stopping is decided by the flag; the handle only frees a cancelled job early.
        state->next = std::move(next);
    }
};

using SchedulerPtr = std::shared_ptr<Scheduler>;

// Runs work on the calling thread at once. Delayed work is not supported by it and runs at once too;
// use it only where no delay is asked for.
class ImmediateScheduler final : public Scheduler {
public:
    TimePoint now() const override { return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now()); }
    Disposable schedule(std::function<void()> work) override
    {
        work();
        return {};
    }
    Disposable scheduleAfter(Duration, std::function<void()> work) override { return schedule(std::move(work)); }
};

}  // namespace vandrel::rx
