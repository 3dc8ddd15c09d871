// Observables and observers. Emission is synchronous on the emitting thread, in subscription order.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "rx/disposable.h"

namespace vandrel::rx {

template <class T>
struct Observer {
    std::function<void(const T&)> onNext;
    std::function<void(std::exception_ptr)> onError;
    std::function<void()> onCompleted;

    void next(const T& v) const
    {
        if (onNext) onNext(v);
    }
    void error(std::exception_ptr e) const
    {
        if (onError) onError(std::move(e));
    }
    void completed() const
    {
        if (onCompleted) onCompleted();
    }
};

// A cold or hot stream of T, type-erased behind its subscribe function.
template <class T>
class Observable {
public:
    using value_type = T;
    using SubscribeFn = std::function<Disposable(Observer<T>)>;

    Observable() = default;
    // A trusted source: fn must itself keep the contract (no events after a terminal event or after the
    // returned disposable was disposed). Operators and subjects use this form.
    explicit Observable(SubscribeFn fn) : subscribe_(std::make_shared<SubscribeFn>(std::move(fn))) {}

    // A source written by hand: whatever fn does, the subscriber gets no event after the first error or
    // completion, nor after it disposed the subscription; a terminal event disposes what fn returned.
    static Observable create(SubscribeFn fn);

    Disposable subscribe(Observer<T> observer) const
    {
        if (!subscribe_) return {};
        return (*subscribe_)(std::move(observer));
    }

    Disposable subscribe(std::function<void(const T&)> onNext, std::function<void(std::exception_ptr)> onError = {},
                         std::function<void()> onCompleted = {}) const
    {
        return subscribe(Observer<T>{std::move(onNext), std::move(onError), std::move(onCompleted)});
    }

    // Operators: `observable | rx::map(f) | rx::filter(p)`; see operators.h.
    template <class Op>
    auto operator|(Op&& op) const
    {
        return std::forward<Op>(op)(*this);
    }

private:
    std::shared_ptr<SubscribeFn> subscribe_;
};

namespace detail {

template <class T>
class AnonymousSink : public std::enable_shared_from_this<AnonymousSink<T>> {
public:
    explicit AnonymousSink(Observer<T> o) : downstream_(std::move(o)) {}

    Observer<T> observer()
    {
        auto self = this->shared_from_this();
        return Observer<T>{[self](const T& v) { self->next(v); },
                           [self](std::exception_ptr e) { self->error(std::move(e)); }, [self] { self->completed(); }};
    }

    void setUpstream(Disposable d)
    {
        {
            std::lock_guard lock(mutex_);
            if (!disposed_) {
                upstream_ = std::move(d);
                return;
            }
        }
        d.dispose();
    }

    void dispose()
    {
        stopped_.store(true, std::memory_order_release);
        Disposable d;
        {
            std::lock_guard lock(mutex_);
            if (disposed_) return;
            disposed_ = true;
            d = std::move(upstream_);
        }
        d.dispose();
    }

    Disposable handle()
    {
        std::weak_ptr<AnonymousSink> weak = this->shared_from_this();
        return Disposable::create([weak] {
            if (auto s = weak.lock()) s->dispose();
        });
    }

private:
    void next(const T& v)
    {
        if (stopped_.load(std::memory_order_acquire)) return;
        auto keep = this->shared_from_this();  // the source may drop its observer while we deliver
        downstream_.next(v);
    }
    void error(std::exception_ptr e)
    {
        if (stopped_.exchange(true, std::memory_order_acq_rel)) return;
        auto keep = this->shared_from_this();
        downstream_.error(std::move(e));
        dispose();
    }
    void completed()
    {
        if (stopped_.exchange(true, std::memory_order_acq_rel)) return;
        auto keep = this->shared_from_this();
        downstream_.completed();
        dispose();
    }

    Observer<T> downstream_;
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    bool disposed_ = false;
    Disposable upstream_;
};

}  // namespace detail

template <class T>
Observable<T> Observable<T>::create(SubscribeFn fn)
{
    return Observable([fn = std::move(fn)](Observer<T> observer) -> Disposable {
        auto sink = std::make_shared<detail::AnonymousSink<T>>(std::move(observer));
        auto handle = sink->handle();
        sink->setUpstream(fn(sink->observer()));
        return handle;
    });
}

}  // namespace vandrel::rx
