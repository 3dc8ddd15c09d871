// Observables and observers. Emission is synchronous on the emitting thread, in subscription order.
#pragma once

#include <exception>
#include <functional>
#include <memory>
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
    explicit Observable(SubscribeFn fn) : subscribe_(std::make_shared<SubscribeFn>(std::move(fn))) {}

    static Observable create(SubscribeFn fn) { return Observable(std::move(fn)); }

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

}  // namespace vandrel::rx
