// Subjects and relays: hot observables that the owner pushes values into.
//
// PublishSubject<T>   forwards values (and an error or completion) to current subscribers.
// BehaviorSubject<T>  also holds the latest value and gives it to each new subscriber first.
// PublishRelay<T>, BehaviorRelay<T>  the same without error or completion: they never end.
//
// Emitting does not allocate: subscribers are kept in an immutable snapshot that subscribing replaces. A
// publish subject without subscribers takes no lock to emit (an atomic flag says there is nobody).
// A subscriber disposed during an emission receives nothing further, even from that emission.
// Values may be pushed from any thread; each subscriber sees them on the pushing thread. A new subscriber
// of a BehaviorSubject gets every value exactly once and in order: the current one first, then each later
// one, even when another thread pushes while it subscribes. A subscriber that comes after the end gets only
// the error or the completion.
#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "rx/observable.h"

namespace vandrel::rx {

namespace detail {

template <class T>
class SubjectCore : public std::enable_shared_from_this<SubjectCore<T>> {
public:
    SubjectCore() = default;
    explicit SubjectCore(T initial) : value_(std::move(initial)), quiet_(false) {}

    // Only for a core made with an initial value.
    T value() const
    {
        std::lock_guard lock(mutex_);
        return *value_;
    }

    void next(const T& v)
    {
        if (quiet_.load(std::memory_order_acquire)) return;
        std::shared_ptr<const Snapshot> snap;
        {
            std::lock_guard lock(mutex_);
            if (ended_) return;
            if (value_) *value_ = v;
            snap = snapshot_;
        }
        for (const auto& e : *snap) e->deliver(v);
    }

    void end(std::exception_ptr error)
    {
        std::shared_ptr<const Snapshot> snap;
        {
            std::lock_guard lock(mutex_);
            if (ended_) return;
            ended_ = true;
            error_ = error;
            snap = std::exchange(snapshot_, std::make_shared<const Snapshot>());
        }
        for (const auto& e : *snap) e->deliverEnd(error);
    }

    bool hasObservers() const
    {
        std::lock_guard lock(mutex_);
        return !snapshot_->empty();
    }

    Disposable subscribe(Observer<T> observer)
    {
        auto entry = std::make_shared<Entry>(std::move(observer));
        std::optional<T> first;
        std::exception_ptr endError;
        bool ended = false;
        {
            std::lock_guard lock(mutex_);
            if (ended_) {
                ended = true;
                endError = error_;
            } else {
                if (value_) {
                    // Values pushed before the first one has been delivered wait in the entry.
                    entry->primed.store(false, std::memory_order_relaxed);
                    first = value_;
                }
                auto next = std::make_shared<Snapshot>(*snapshot_);
                next->push_back(entry);
                snapshot_ = std::move(next);
                quiet_.store(false, std::memory_order_release);
            }
        }
        if (ended) {
            if (endError)
                entry->observer.error(endError);
            else
                entry->observer.completed();
            return {};
        }
        std::weak_ptr<SubjectCore> weakSelf = this->shared_from_this();
        std::weak_ptr<Entry> weakEntry = entry;
        auto handle = Disposable::create([weakSelf, weakEntry] {
            auto e = weakEntry.lock();
            if (!e) return;
            e->active.store(false, std::memory_order_release);
            if (auto self = weakSelf.lock()) self->remove(e);
        });
        if (first) entry->prime(*first);
        return handle;
    }

private:
    struct Entry {
        explicit Entry(Observer<T> o) : observer(std::move(o)) {}

        bool isActive() const { return active.load(std::memory_order_acquire); }

        void deliver(const T& v)
        {
            if (!isActive()) return;
            if (!primed.load(std::memory_order_acquire)) {
                std::lock_guard lock(pendingMutex);
                if (!primed.load(std::memory_order_relaxed)) {
                    pending.push_back(v);
                    return;
                }
            }
            observer.next(v);
        }

        void deliverEnd(std::exception_ptr error)
        {
            if (!isActive()) return;
            if (!primed.load(std::memory_order_acquire)) {
                std::lock_guard lock(pendingMutex);
                if (!primed.load(std::memory_order_relaxed)) {
                    pendingEnd = true;
                    pendingError = error;
                    return;
                }
            }
            if (error)
                observer.error(error);
            else
                observer.completed();
        }

        // Delivers the first value, then whatever arrived meanwhile, then opens the direct path.
        void prime(const T& first)
        {
            if (isActive()) observer.next(first);
            for (;;) {
                std::vector<T> batch;
                bool end = false;
                std::exception_ptr error;
                {
                    std::lock_guard lock(pendingMutex);
                    if (pending.empty() && !pendingEnd) {
                        primed.store(true, std::memory_order_release);
                        return;
                    }
                    batch.swap(pending);
                    end = std::exchange(pendingEnd, false);
                    error = std::exchange(pendingError, nullptr);
                }
                for (const auto& v : batch) {
                    if (isActive()) observer.next(v);
                }
                if (end) {
                    if (isActive()) {
                        if (error)
                            observer.error(error);
                        else
                            observer.completed();
                    }
                    primed.store(true, std::memory_order_release);
                    return;
                }
            }
        }

        Observer<T> observer;
        std::atomic<bool> active{true};
        std::atomic<bool> primed{true};
        std::mutex pendingMutex;
        std::vector<T> pending;
        bool pendingEnd = false;
        std::exception_ptr pendingError;
    };
    using Snapshot = std::vector<std::shared_ptr<Entry>>;

    void remove(const std::shared_ptr<Entry>& e)
    {
        std::shared_ptr<const Snapshot> old;  // released outside the lock
        std::lock_guard lock(mutex_);
        if (std::find(snapshot_->begin(), snapshot_->end(), e) == snapshot_->end()) return;
        auto next = std::make_shared<Snapshot>(*snapshot_);
        std::erase(*next, e);
        if (next->empty() && !value_) quiet_.store(true, std::memory_order_release);
        old = std::exchange(snapshot_, std::move(next));
    }

    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> snapshot_ = std::make_shared<const Snapshot>();
    std::optional<T> value_;
    // Nobody to tell and no value to keep: emitting does nothing.
    std::atomic<bool> quiet_{true};
    bool ended_ = false;
    std::exception_ptr error_;
};

}  // namespace detail

template <class T>
class PublishSubject {
public:
    PublishSubject() : core_(std::make_shared<detail::SubjectCore<T>>()) {}

    void onNext(const T& value) const { core_->next(value); }
    // The first error or completion ends the subject; later calls are ignored.
    void onError(std::exception_ptr e) const
    {
        core_->end(e ? e : std::make_exception_ptr(std::runtime_error("error")));
    }
    void onCompleted() const { core_->end(nullptr); }

    Observable<T> asObservable() const
    {
        auto core = core_;
        return Observable<T>([core](Observer<T> o) { return core->subscribe(std::move(o)); });
    }

    Disposable subscribe(std::function<void(const T&)> onNext, std::function<void(std::exception_ptr)> onError = {},
                         std::function<void()> onCompleted = {}) const
    {
        return core_->subscribe(Observer<T>{std::move(onNext), std::move(onError), std::move(onCompleted)});
    }
    Disposable subscribe(Observer<T> observer) const { return core_->subscribe(std::move(observer)); }

    template <class Op>
    auto operator|(Op&& op) const
    {
        return asObservable() | std::forward<Op>(op);
    }

    bool hasObservers() const { return core_->hasObservers(); }

private:
    std::shared_ptr<detail::SubjectCore<T>> core_;
};

template <class T>
class BehaviorSubject {
public:
    explicit BehaviorSubject(T initial) : core_(std::make_shared<detail::SubjectCore<T>>(std::move(initial))) {}

    // The latest value; after the end, the last value before it.
    T value() const { return core_->value(); }

    void onNext(const T& v) const { core_->next(v); }
    void onError(std::exception_ptr e) const
    {
        core_->end(e ? e : std::make_exception_ptr(std::runtime_error("error")));
    }
    void onCompleted() const { core_->end(nullptr); }

    Observable<T> asObservable() const
    {
        auto core = core_;
        return Observable<T>([core](Observer<T> o) { return core->subscribe(std::move(o)); });
    }

    Disposable subscribe(std::function<void(const T&)> onNext, std::function<void(std::exception_ptr)> onError = {},
                         std::function<void()> onCompleted = {}) const
    {
        return core_->subscribe(Observer<T>{std::move(onNext), std::move(onError), std::move(onCompleted)});
    }
    Disposable subscribe(Observer<T> observer) const { return core_->subscribe(std::move(observer)); }

    template <class Op>
    auto operator|(Op&& op) const
    {
        return asObservable() | std::forward<Op>(op);
    }

    bool hasObservers() const { return core_->hasObservers(); }

private:
    std::shared_ptr<detail::SubjectCore<T>> core_;
};

template <class T>
class PublishRelay {
public:
    void accept(const T& v) const { subject_.onNext(v); }
    Observable<T> asObservable() const { return subject_.asObservable(); }
    Disposable subscribe(std::function<void(const T&)> onNext) const { return subject_.subscribe(std::move(onNext)); }
    template <class Op>
    auto operator|(Op&& op) const
    {
        return asObservable() | std::forward<Op>(op);
    }
    bool hasObservers() const { return subject_.hasObservers(); }

private:
    PublishSubject<T> subject_;
};

template <class T>
class BehaviorRelay {
public:
    explicit BehaviorRelay(T initial) : subject_(std::move(initial)) {}
    void accept(const T& v) const { subject_.onNext(v); }
    T value() const { return subject_.value(); }
    Observable<T> asObservable() const { return subject_.asObservable(); }
    Disposable subscribe(std::function<void(const T&)> onNext) const { return subject_.subscribe(std::move(onNext)); }
    template <class Op>
    auto operator|(Op&& op) const
    {
        return asObservable() | std::forward<Op>(op);
    }
    bool hasObservers() const { return subject_.hasObservers(); }

private:
    BehaviorSubject<T> subject_;
};

}  // namespace vandrel::rx
