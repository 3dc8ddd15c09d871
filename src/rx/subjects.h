// Subjects and relays: hot observables that the owner pushes values into.
//
// PublishSubject<T>   forwards values (and an error or completion) to current subscribers.
// BehaviorSubject<T>  also holds the latest value and gives it to each new subscriber first.
// PublishRelay<T>, BehaviorRelay<T>  the same without error or completion: they never end.
//
// Emitting does not allocate: subscribers are kept in an immutable snapshot that subscribing replaces.
// A subscriber disposed during an emission receives nothing further, even from that emission.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "rx/observable.h"

namespace vandrel::rx {

namespace detail {

template <class T>
class SubscriberList : public std::enable_shared_from_this<SubscriberList<T>> {
public:
    struct Entry {
        Observer<T> observer;
        std::atomic<bool> active{true};
        explicit Entry(Observer<T> o) : observer(std::move(o)) {}
    };
    using Snapshot = std::vector<std::shared_ptr<Entry>>;

    Disposable add(Observer<T> observer)
    {
        auto entry = std::make_shared<Entry>(std::move(observer));
        {
            std::lock_guard lock(mutex_);
            auto next = std::make_shared<Snapshot>(*snapshot_);
            next->push_back(entry);
            snapshot_ = std::move(next);
        }
        std::weak_ptr<SubscriberList> weakSelf = this->shared_from_this();
        std::weak_ptr<Entry> weakEntry = entry;
        return Disposable::create([weakSelf, weakEntry] {
            auto e = weakEntry.lock();
            if (!e) return;
            e->active.store(false, std::memory_order_release);
            if (auto self = weakSelf.lock()) self->remove(e);
        });
    }

    std::shared_ptr<const Snapshot> snapshot() const
    {
        std::lock_guard lock(mutex_);
        return snapshot_;
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        snapshot_ = std::make_shared<Snapshot>();
    }

    template <class F>
    void forEach(F&& f) const
    {
        const auto snap = snapshot();
        for (const auto& e : *snap) {
            if (e->active.load(std::memory_order_acquire)) f(e->observer);
        }
    }

private:
    void remove(const std::shared_ptr<Entry>& e)
    {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<Snapshot>(*snapshot_);
        std::erase(*next, e);
        snapshot_ = std::move(next);
    }

    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> snapshot_ = std::make_shared<Snapshot>();
};

}  // namespace detail

template <class T>
class PublishSubject {
public:
    PublishSubject() : list_(std::make_shared<detail::SubscriberList<T>>()), ended_(std::make_shared<End>()) {}

    void onNext(const T& value) const
    {
        if (ended_->done.load(std::memory_order_acquire)) return;
        list_->forEach([&](const Observer<T>& o) { o.next(value); });
    }
    void onError(std::exception_ptr e) const
    {
        if (ended_->done.exchange(true)) return;
        ended_->error = e;
        list_->forEach([&](const Observer<T>& o) { o.error(e); });
        list_->clear();
    }
    void onCompleted() const
    {
        if (ended_->done.exchange(true)) return;
        list_->forEach([&](const Observer<T>& o) { o.completed(); });
        list_->clear();
    }

    Observable<T> asObservable() const
    {
        auto list = list_;
        auto ended = ended_;
        return Observable<T>([list, ended](Observer<T> o) -> Disposable {
            if (ended->done.load(std::memory_order_acquire)) {
                if (ended->error) o.error(ended->error);
                else o.completed();
                return {};
            }
            return list->add(std::move(o));
        });
    }

    Disposable subscribe(std::function<void(const T&)> onNext) const { return asObservable().subscribe(std::move(onNext)); }

    template <class Op>
    auto operator|(Op&& op) const
    {
        return asObservable() | std::forward<Op>(op);
    }

    bool hasObservers() const { return !list_->snapshot()->empty(); }

private:
    struct End {
        std::atomic<bool> done{false};
        std::exception_ptr error;
    };
    std::shared_ptr<detail::SubscriberList<T>> list_;
    std::shared_ptr<End> ended_;
};

template <class T>
class BehaviorSubject {
public:
    explicit BehaviorSubject(T initial) : state_(std::make_shared<State>(std::move(initial))) {}

    T value() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->value;
    }

    void onNext(const T& v) const
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->value = v;
        }
        state_->subject.onNext(v);
    }
    void onError(std::exception_ptr e) const { state_->subject.onError(std::move(e)); }
    void onCompleted() const { state_->subject.onCompleted(); }

    Observable<T> asObservable() const
    {
        auto state = state_;
        return Observable<T>([state](Observer<T> o) -> Disposable {
            // Hold the value lock across the first emission and the registration, so a concurrent onNext
            // is seen either as the first value or as a later one, never lost.
            std::unique_lock lock(state->mutex);
            T current = state->value;
            auto sub = state->subject.asObservable().subscribe(o);
            lock.unlock();
            o.next(current);
            return sub;
        });
    }

    Disposable subscribe(std::function<void(const T&)> onNext) const { return asObservable().subscribe(std::move(onNext)); }

    template <class Op>
    auto operator|(Op&& op) const
    {
        return asObservable() | std::forward<Op>(op);
    }

private:
    struct State {
        explicit State(T v) : value(std::move(v)) {}
        std::mutex mutex;
        T value;
        PublishSubject<T> subject;
    };
    std::shared_ptr<State> state_;
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

private:
    BehaviorSubject<T> subject_;
};

}  // namespace vandrel::rx
