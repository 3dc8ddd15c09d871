// Operators that wait on a scheduler. What they emit after waiting they emit on that scheduler (debounce,
// throttle, observeOn, and the time-out error); completion and errors of the source pass on the source's
// thread unless stated otherwise. Disposing a subscription cancels its scheduled work.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "rx/basic_operators.h"
#include "rx/scheduler.h"
#include "rx/serial_disposable.h"
#include "rx/sink.h"

namespace vandrel::rx {

// The error of a stream that stayed silent longer than its timeout() allows.
class TimeoutError : public std::runtime_error {
public:
    TimeoutError() : std::runtime_error("Sequence timeout.") {}
};

namespace detail {

template <class T>
class DebounceSink : public Sink<T> {
public:
    DebounceSink(Observer<T> o, Duration due, SchedulerPtr scheduler)
        : Sink<T>(std::move(o)), due_(due), scheduler_(std::move(scheduler))
    {
        this->addResource(timer_.asDisposable());
    }

    void onNext(const T& v)
    {
        std::lock_guard lock(gate_);
        if (this->isStopped()) return;
        pending_ = v;
        const auto id = ++id_;
        auto self = std::static_pointer_cast<DebounceSink>(this->shared_from_this());
        timer_.set(scheduler_->scheduleAfter(due_, [self, id] { self->fire(id); }));
    }

    // The value still waiting goes out before the completion.
    void onCompleted()
    {
        std::lock_guard emitting(emit_);
        std::optional<T> v;
        {
            std::lock_guard lock(gate_);
            timer_.set({});
            v = std::move(pending_);
            pending_.reset();
        }
        if (v) this->forwardNext(*v);
        this->forwardCompleted();
    }

    void onError(std::exception_ptr e)
    {
        std::lock_guard emitting(emit_);
        {
            std::lock_guard lock(gate_);
            pending_.reset();
        }
        this->forwardError(std::move(e));
    }

private:
    void fire(std::uint64_t id)
    {
        std::lock_guard emitting(emit_);
        std::optional<T> v;
        {
            std::lock_guard lock(gate_);
            if (id != id_ || !pending_) return;
            v = std::move(pending_);
            pending_.reset();
        }
        this->forwardNext(*v);
    }

    const Duration due_;
    const SchedulerPtr scheduler_;
    // The state is kept under gate_ alone, which is never held while a value goes out: a source that sends from
    // under a lock of its own while a value goes downstream into code that takes that lock would deadlock
    // otherwise. emit_ keeps values and the end going out one at a time and in order.
    std::recursive_mutex gate_;
    std::recursive_mutex emit_;
    std::optional<T> pending_;
    std::uint64_t id_ = 0;
    SerialDisposable timer_;
};

template <class T>
class ThrottleSink : public Sink<T> {
public:
    ThrottleSink(Observer<T> o, Duration window, SchedulerPtr scheduler, bool latest)
        : Sink<T>(std::move(o)), window_(window), scheduler_(std::move(scheduler)), latest_(latest)
    {
        this->addResource(trailingTimer_.asDisposable());
        this->addResource(flushJob_.asDisposable());
    }

    void onNext(const T& v)
    {
        std::lock_guard lock(gate_);
        if (this->isStopped()) return;
        const TimePoint now = scheduler_->now();
        if (!lastSent_ || now - *lastSent_ >= window_) {
            // A new window: this value goes out at once and a trailing value of the last window is dropped.
            lastSent_ = now;
            trailing_.reset();
            ++trailingId_;
            trailingTimer_.set({});
            outbox_.push_back(v);
            scheduleFlush();
        } else if (latest_) {
            const bool armed = trailing_.has_value();
            trailing_ = v;
            if (!armed) {
                const auto id = ++trailingId_;
                auto self = std::static_pointer_cast<ThrottleSink>(this->shared_from_this());
                trailingTimer_.set(
                    scheduler_->scheduleAfter(*lastSent_ + window_ - now, [self, id] { self->trailingDue(id); }));
            }
        }
    }

    void onCompleted()
    {
        std::lock_guard lock(gate_);
        sourceDone_ = true;
        if (outbox_.empty() && !trailing_) this->forwardCompleted();
    }

    void onError(std::exception_ptr e)
    {
        std::lock_guard lock(gate_);
        outbox_.clear();
        trailing_.reset();
        this->forwardError(std::move(e));
    }

private:
    void scheduleFlush()
    {
        if (flushScheduled_) return;
        flushScheduled_ = true;
        auto self = std::static_pointer_cast<ThrottleSink>(this->shared_from_this());
        flushJob_.set(scheduler_->schedule([self] { self->flush(); }));
    }

    void flush()
    {
        std::lock_guard lock(gate_);
        flushScheduled_ = false;
        drain();
    }

    void trailingDue(std::uint64_t id)
    {
        std::lock_guard lock(gate_);
        if (id != trailingId_ || !trailing_) return;
        lastSent_ = scheduler_->now();
        outbox_.push_back(std::move(*trailing_));
        trailing_.reset();
        drain();
    }

    void drain()
    {
        while (!outbox_.empty() && !this->isStopped()) {
            T v = std::move(outbox_.front());
            outbox_.pop_front();
            this->forwardNext(v);
        }
        if (sourceDone_ && !trailing_) this->forwardCompleted();
    }

    const Duration window_;
    const SchedulerPtr scheduler_;
    const bool latest_;
    std::recursive_mutex gate_;
    std::optional<TimePoint> lastSent_;
    std::optional<T> trailing_;
    std::uint64_t trailingId_ = 0;
    std::deque<T> outbox_;
    bool flushScheduled_ = false;
    bool sourceDone_ = false;
    SerialDisposable trailingTimer_;
    SerialDisposable flushJob_;
};

template <class T>
class TimeoutSink : public Sink<T> {
public:
    TimeoutSink(Observer<T> o, Duration due, SchedulerPtr scheduler)
        : Sink<T>(std::move(o)), due_(due), scheduler_(std::move(scheduler))
    {
        this->addResource(timer_.asDisposable());
    }

    void arm()
    {
        std::lock_guard lock(gate_);
        const auto id = ++id_;
        auto self = std::static_pointer_cast<TimeoutSink>(this->shared_from_this());
        timer_.set(scheduler_->scheduleAfter(due_, [self, id] { self->fire(id); }));
    }

    void onNext(const T& v)
    {
        std::lock_guard lock(gate_);
        if (this->isStopped()) return;
        arm();
        this->forwardNext(v);
    }
    void onCompleted()
    {
        std::lock_guard lock(gate_);
        this->forwardCompleted();
    }
    void onError(std::exception_ptr e)
    {
        std::lock_guard lock(gate_);
        this->forwardError(std::move(e));
    }

private:
    void fire(std::uint64_t id)
    {
        std::lock_guard lock(gate_);
        if (id != id_) return;
        this->forwardError(std::make_exception_ptr(TimeoutError()));
    }

    const Duration due_;
    const SchedulerPtr scheduler_;
    std::recursive_mutex gate_;
    std::uint64_t id_ = 0;
    SerialDisposable timer_;
};

template <class T>
class ObserveOnSink : public Sink<T> {
public:
    ObserveOnSink(Observer<T> o, SchedulerPtr scheduler) : Sink<T>(std::move(o)), scheduler_(std::move(scheduler))
    {
        this->addResource(drainJob_.asDisposable());
    }

    struct Event {
        std::optional<T> value;
        std::exception_ptr error;
        bool completed = false;
    };

    void push(Event e)
    {
        std::lock_guard lock(mutex_);
        if (this->isStopped()) return;
        queue_.push_back(std::move(e));
        if (scheduled_) return;
        scheduled_ = true;
        auto self = std::static_pointer_cast<ObserveOnSink>(this->shared_from_this());
        drainJob_.set(scheduler_->schedule([self] { self->drain(); }));
    }

private:
    // One drain at a time, even on a concurrent scheduler, so events keep their order and never overlap.
    void drain()
    {
        for (;;) {
            Event e;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty() || this->isStopped()) {
                    scheduled_ = false;
                    return;
                }
                e = std::move(queue_.front());
                queue_.pop_front();
            }
            if (e.value)
                this->forwardNext(*e.value);
            else if (e.error)
                this->forwardError(e.error);
            else
                this->forwardCompleted();
        }
    }

    const SchedulerPtr scheduler_;
    std::mutex mutex_;
    std::deque<Event> queue_;
    bool scheduled_ = false;
    SerialDisposable drainJob_;
};

}  // namespace detail

// Emits a value only after the source has been silent for `due` since it; each new value restarts the
// wait. A value still waiting when the source completes is emitted before the completion.
inline auto debounce(Duration due, SchedulerPtr scheduler)
{
    return [due, scheduler = std::move(scheduler)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, due, scheduler](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::DebounceSink<T>>(std::move(observer), due, scheduler);
            auto handle = sink->handle();
            sink->addResource(source.subscribe(Observer<T>{[sink](const T& v) { sink->onNext(v); },
                                                           [sink](std::exception_ptr e) { sink->onError(e); },
                                                           [sink] { sink->onCompleted(); }}));
            return handle;
        });
    };
}

// At most one value per window: the first value goes out at once (on the scheduler) and opens a window;
// with latest, the last value that arrived inside the window goes out when it ends and opens the next
// one; without, values inside a window are dropped.
inline auto throttle(Duration window, SchedulerPtr scheduler, bool latest = true)
{
    return [window, scheduler = std::move(scheduler), latest](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, window, scheduler, latest](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::ThrottleSink<T>>(std::move(observer), window, scheduler, latest);
            auto handle = sink->handle();
            sink->addResource(source.subscribe(Observer<T>{[sink](const T& v) { sink->onNext(v); },
                                                           [sink](std::exception_ptr e) { sink->onError(e); },
                                                           [sink] { sink->onCompleted(); }}));
            return handle;
        });
    };
}

// Fails with TimeoutError (on the scheduler) when no value arrives within `due` of the subscription or of
// the previous value.
inline auto timeout(Duration due, SchedulerPtr scheduler)
{
    return [due, scheduler = std::move(scheduler)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, due, scheduler](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::TimeoutSink<T>>(std::move(observer), due, scheduler);
            auto handle = sink->handle();
            sink->arm();
            sink->addResource(source.subscribe(Observer<T>{[sink](const T& v) { sink->onNext(v); },
                                                           [sink](std::exception_ptr e) { sink->onError(e); },
                                                           [sink] { sink->onCompleted(); }}));
            return handle;
        });
    };
}

// The source's values until `duration` has passed since the subscription, then completion (on the scheduler).
inline auto take(Duration duration, SchedulerPtr scheduler)
{
    return [duration, scheduler = std::move(scheduler)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, duration, scheduler](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto gate = std::make_shared<std::recursive_mutex>();
            auto handle = sink->handle();
            sink->addResource(scheduler->scheduleAfter(duration, [sink, gate] {
                std::lock_guard lock(*gate);
                sink->forwardCompleted();
            }));
            sink->addResource(source.subscribe(Observer<T>{[sink, gate](const T& v) {
                                                               std::lock_guard lock(*gate);
                                                               sink->forwardNext(v);
                                                           },
                                                           [sink, gate](std::exception_ptr e) {
                                                               std::lock_guard lock(*gate);
                                                               sink->forwardError(e);
                                                           },
                                                           [sink, gate] {
                                                               std::lock_guard lock(*gate);
                                                               sink->forwardCompleted();
                                                           }}));
            return handle;
        });
    };
}

// Delivers every event on the scheduler, in the source's order and one at a time.
inline auto observeOn(SchedulerPtr scheduler)
{
    return [scheduler = std::move(scheduler)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        using Sink = detail::ObserveOnSink<T>;
        using Event = typename Sink::Event;
        return Observable<T>([source, scheduler](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<Sink>(std::move(observer), scheduler);
            auto handle = sink->handle();
            sink->addResource(source.subscribe(Observer<T>{[sink](const T& v) {
                                                               sink->push(Event{v, nullptr, false});
                                                           },
                                                           [sink](std::exception_ptr e) {
                                                               sink->push(Event{std::nullopt, e, false});
                                                           },
                                                           [sink] {
                                                               sink->push(Event{std::nullopt, nullptr, true});
                                                           }}));
            return handle;
        });
    };
}

// Subscribes to the source on the scheduler. Values the source emits before that subscription is made are
// not seen.
inline auto subscribeOn(SchedulerPtr scheduler)
{
    return [scheduler = std::move(scheduler)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, scheduler](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto handle = sink->handle();
            sink->addResource(scheduler->schedule([sink, source] {
                if (sink->isStopped()) return;
                sink->addResource(
                    source.subscribe(detail::forwarding<T>(sink, [sink](const T& v) { sink->forwardNext(v); })));
            }));
            return handle;
        });
    };
}

// On an error, subscribes to the source again after `delay` (waiting on the scheduler) while fewer than
// maxCount errors have been retried; the error after that ends the stream. So a source that keeps failing
// is subscribed at most maxCount + 1 times.
inline auto delayRetry(Duration delay, long long maxCount, SchedulerPtr scheduler)
{
    return [delay, maxCount, scheduler = std::move(scheduler)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, delay, maxCount, scheduler](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::RetrySink<T>>(std::move(observer), source);
            SerialDisposable timer;
            sink->addResource(timer.asDisposable());
            std::weak_ptr<detail::RetrySink<T>> weak = sink;
            sink->onFailure = [weak, timer, delay, maxCount, scheduler](long long n, std::exception_ptr) {
                if (n >= maxCount) return false;
                auto s = weak.lock();
                if (!s) return true;
                // The pending attempt keeps the subscription alive: the failed source may have let it go.
                timer.set(scheduler->scheduleAfter(delay, [s] { s->subscribeNow(); }));
                return true;
            };
            auto handle = sink->handle();
            sink->subscribeNow();
            return handle;
        });
    };
}

inline auto delayRetry(double seconds, long long maxCount, SchedulerPtr scheduler)
{
    return delayRetry(rx::seconds(seconds), maxCount, std::move(scheduler));
}

}  // namespace vandrel::rx
