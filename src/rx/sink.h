// The shared state of one subscription through an operator.
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <utility>

#include "rx/composite_disposable.h"
#include "rx/observable.h"

namespace vandrel::rx::detail {

// Holds the downstream observer and everything the subscription must release: upstream subscriptions and
// scheduled work. After a terminal event or dispose() nothing more goes downstream. The upstream observers
// own the sink; the handle given to the subscriber refers to it weakly, so a finished subscription held in
// a bag keeps nothing alive.
template <class Out>
class Sink : public std::enable_shared_from_this<Sink<Out>> {
public:
    explicit Sink(Observer<Out> observer) : observer_(std::move(observer)) {}
    virtual ~Sink() = default;
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    bool isStopped() const { return stopped_.load(std::memory_order_acquire); }

    void forwardNext(const Out& v)
    {
        if (!isStopped()) observer_.next(v);
    }

    void forwardError(std::exception_ptr e)
    {
        if (stopped_.exchange(true, std::memory_order_acq_rel)) return;
        auto keep = this->shared_from_this();
        observer_.error(std::move(e));
        resources_.dispose();
    }

    void forwardCompleted()
    {
        if (stopped_.exchange(true, std::memory_order_acq_rel)) return;
        auto keep = this->shared_from_this();
        observer_.completed();
        resources_.dispose();
    }

    // Ends the subscription from the subscriber's side: no further events, upstream and timers disposed.
    void dispose()
    {
        stopped_.store(true, std::memory_order_release);
        resources_.dispose();
    }

    void addResource(Disposable d) { resources_.add(std::move(d)); }

    Disposable handle()
    {
        std::weak_ptr<Sink> weak = this->shared_from_this();
        return Disposable::create([weak] {
            if (auto s = weak.lock()) s->dispose();
        });
    }

private:
    Observer<Out> observer_;
    std::atomic<bool> stopped_{false};
    CompositeDisposable resources_;
};

// An upstream observer that hands values to onNext and passes error and completion straight on.
template <class In, class SinkPtr, class OnNext>
Observer<In> forwarding(const SinkPtr& sink, OnNext onNext)
{
    return Observer<In>{std::move(onNext), [sink](std::exception_ptr e) { sink->forwardError(std::move(e)); },
                        [sink] { sink->forwardCompleted(); }};
}

}  // namespace vandrel::rx::detail
