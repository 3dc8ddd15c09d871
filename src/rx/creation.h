// Streams made from nothing: single values, the empty and silent streams, errors, and timers.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

#include "rx/observable.h"
#include "rx/scheduler.h"
#include "rx/sink.h"

namespace vandrel::rx {

// One value, then completion, on the subscribing thread.
template <class T>
Observable<T> just(T value)
{
    return Observable<T>([value = std::move(value)](Observer<T> o) -> Disposable {
        o.next(value);
        o.completed();
        return {};
    });
}

template <class T>
Observable<T> empty()
{
    return Observable<T>([](Observer<T> o) -> Disposable {
        o.completed();
        return {};
    });
}

template <class T>
Observable<T> never()
{
    return Observable<T>([](Observer<T>) -> Disposable { return {}; });
}

template <class T>
Observable<T> error(std::exception_ptr e)
{
    return Observable<T>([e = std::move(e)](Observer<T> o) -> Disposable {
        o.error(e);
        return {};
    });
}

// 0, 1, 2, ... one every period on the scheduler, the first one period after subscribing. Each
// subscription runs its own timer.
inline Observable<std::int64_t> interval(Duration period, SchedulerPtr scheduler)
{
    return Observable<std::int64_t>([period, scheduler](Observer<std::int64_t> observer) -> Disposable {
        auto sink = std::make_shared<detail::Sink<std::int64_t>>(std::move(observer));
        auto handle = sink->handle();
        auto counter = std::make_shared<std::int64_t>(0);  // ticks of one periodic job never overlap
        sink->addResource(scheduler->schedulePeriodic(period, [sink, counter] { sink->forwardNext((*counter)++); }));
        return handle;
    });
}

// 0 once, `due` after subscribing, on the scheduler, then completion.
inline Observable<std::int64_t> timer(Duration due, SchedulerPtr scheduler)
{
    return Observable<std::int64_t>([due, scheduler](Observer<std::int64_t> observer) -> Disposable {
        auto sink = std::make_shared<detail::Sink<std::int64_t>>(std::move(observer));
        auto handle = sink->handle();
        sink->addResource(scheduler->scheduleAfter(due, [sink] {
            sink->forwardNext(0);
            sink->forwardCompleted();
        }));
        return handle;
    });
}

}  // namespace vandrel::rx
