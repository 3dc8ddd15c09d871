// Schedulers: where and when work runs. Everything in the program that waits, repeats or reads the time
// does it through a Scheduler, so tests can run it on virtual time.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "rx/disposable.h"

namespace vandrel::rx {

using Duration = std::chrono::nanoseconds;
// Monotonic time; a virtual scheduler starts its own at zero.
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;

inline constexpr Duration seconds(double s)
{
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}
inline constexpr Duration milliseconds(long long ms) { return std::chrono::milliseconds(ms); }

class Scheduler : public std::enable_shared_from_this<Scheduler> {
public:
    virtual ~Scheduler() = default;

    virtual TimePoint now() const = 0;

    // Runs work as soon as the scheduler can. Disposing the result before it ran cancels it.
    virtual Disposable schedule(std::function<void()> work) = 0;

    // Runs work once after delay (a zero or negative delay means as soon as possible).
    virtual Disposable scheduleAfter(Duration delay, std::function<void()> work) = 0;

    // Runs work every period, first after one period, until the result is disposed.
    virtual Disposable schedulePeriodic(Duration period, std::function<void()> work)
    {
        auto state = std::make_shared<PeriodicState>();
        state->work = std::move(work);
        state->period = period;
        armPeriodic(state);
        return Disposable::create([state] {
            std::lock_guard lock(state->mutex);
            state->stopped = true;
            state->next.dispose();
        });
    }

private:
    struct PeriodicState {
        std::mutex mutex;
        bool stopped = false;
        Disposable next;
        std::function<void()> work;
        Duration period{};
    };

    void armPeriodic(const std::shared_ptr<PeriodicState>& state)
    {
        std::weak_ptr<Scheduler> self = weak_from_this();
        std::lock_guard lock(state->mutex);
        if (state->stopped) return;
        state->next = scheduleAfter(state->period, [state, self] {
            {
                std::lock_guard lock(state->mutex);
                if (state->stopped) return;
            }
            state->work();
            if (auto s = self.lock()) s->armPeriodic(state);
        });
    }
};

using SchedulerPtr = std::shared_ptr<Scheduler>;

// Runs work on the calling thread at once. Delayed work is not supported by it and runs at once too;
// use it only where no delay is asked for.
class ImmediateScheduler final : public Scheduler {
public:
    TimePoint now() const override
    {
        return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
    }
    Disposable schedule(std::function<void()> work) override
    {
        work();
        return {};
    }
    Disposable scheduleAfter(Duration, std::function<void()> work) override { return schedule(std::move(work)); }
};

}  // namespace vandrel::rx
