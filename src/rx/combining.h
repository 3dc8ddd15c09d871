// Operators over several streams. Sources may emit on different threads; the combined stream still emits
// one event at a time (each emission happens on the thread whose source caused it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "rx/basic_operators.h"
#include "rx/serial_disposable.h"
#include "rx/sink.h"

namespace vandrel::rx {

namespace detail {

// Observables pass as they are; subjects and relays through asObservable().
template <class S>
auto toObservable(const S& s)
{
    if constexpr (requires { s.asObservable(); }) {
        return s.asObservable();
    } else {
        return s;
    }
}

template <class S>
using ObservableOf = decltype(toObservable(std::declval<const S&>()));

template <class T>
class GatedSink : public Sink<T> {
public:
    using Sink<T>::Sink;
    std::recursive_mutex gate;
};

}  // namespace detail

// Every value of every source, as they come; completes when all sources have completed, fails on the first
// error.
template <class T>
Observable<T> merge(std::vector<Observable<T>> sources)
{
    return Observable<T>([sources = std::move(sources)](Observer<T> observer) -> Disposable {
        auto sink = std::make_shared<detail::GatedSink<T>>(std::move(observer));
        auto handle = sink->handle();
        auto active = std::make_shared<std::size_t>(sources.size());
        if (sources.empty()) sink->forwardCompleted();
        for (const auto& source : sources) {
            if (sink->isStopped()) break;
            sink->addResource(source.subscribe(Observer<T>{[sink](const T& v) {
                                                               std::lock_guard lock(sink->gate);
                                                               sink->forwardNext(v);
                                                           },
                                                           [sink](std::exception_ptr e) {
                                                               std::lock_guard lock(sink->gate);
                                                               sink->forwardError(e);
                                                           },
                                                           [sink, active] {
                                                               std::lock_guard lock(sink->gate);
                                                               if (--*active == 0) sink->forwardCompleted();
                                                           }}));
        }
        return handle;
    });
}

template <class First, class... Rest>
auto merge(const First& first, const Rest&... rest)
{
    using T = typename detail::ObservableOf<First>::value_type;
    return merge(std::vector<Observable<T>>{detail::toObservable(first), Observable<T>(detail::toObservable(rest))...});
}

namespace detail {

template <class... Ts>
class CombineLatestSink : public GatedSink<std::tuple<Ts...>> {
public:
    using GatedSink<std::tuple<Ts...>>::GatedSink;

    template <std::size_t I, class V>
    void onNext(const V& v)
    {
        std::lock_guard lock(this->gate);
        std::get<I>(values_) = v;
        emitIfComplete(std::index_sequence_for<Ts...>{});
    }

    template <std::size_t I>
    void onCompleted()
    {
        std::lock_guard lock(this->gate);
        // A source that ends without a value means no combination can ever be formed.
        if (!std::get<I>(values_).has_value() || ++done_ == sizeof...(Ts)) this->forwardCompleted();
    }

private:
    template <std::size_t... Is>
    void emitIfComplete(std::index_sequence<Is...>)
    {
        if ((std::get<Is>(values_).has_value() && ...)) this->forwardNext(std::tuple<Ts...>(*std::get<Is>(values_)...));
    }

    std::tuple<std::optional<Ts>...> values_;
    std::size_t done_ = 0;
};

// Subscribes a combining sink to each source in turn, telling it which source a value or completion came
// from; an error of any source ends the stream.
template <template <class...> class CombiningSink, class... Ts, std::size_t... Is>
Disposable subscribeEach(Observer<std::tuple<Ts...>> observer, const std::tuple<Observable<Ts>...>& sources,
                         std::index_sequence<Is...>)
{
    auto sink = std::make_shared<CombiningSink<Ts...>>(std::move(observer));
    auto handle = sink->handle();
    auto subscribeOne = [&sink](auto index, const auto& source) {
        constexpr std::size_t I = decltype(index)::value;
        using V = ValueOf<decltype(source)>;
        if (sink->isStopped()) return;
        sink->addResource(source.subscribe(Observer<V>{[sink](const V& v) { sink->template onNext<I>(v); },
                                                       [sink](std::exception_ptr e) {
                                                           std::lock_guard lock(sink->gate);
                                                           sink->forwardError(e);
                                                       },
                                                       [sink] { sink->template onCompleted<I>(); }}));
    };
    (subscribeOne(std::integral_constant<std::size_t, Is>{}, std::get<Is>(sources)), ...);
    return handle;
}

}  // namespace detail

// The latest value of each source as a tuple, each time any of them emits once all have emitted.
// Completes when all sources have completed (or at once when one completes without ever emitting).
template <class... Ss>
auto combineLatest(const Ss&... sources)
{
    using Tuple = std::tuple<typename detail::ObservableOf<Ss>::value_type...>;
    auto all = std::make_tuple(detail::toObservable(sources)...);
    return Observable<Tuple>([all](Observer<Tuple> observer) {
        return detail::subscribeEach<detail::CombineLatestSink>(std::move(observer), all,
                                                                std::index_sequence_for<Ss...>{});
    });
}

namespace detail {

template <class... Ts>
class ZipSink : public GatedSink<std::tuple<Ts...>> {
public:
    using GatedSink<std::tuple<Ts...>>::GatedSink;

    template <std::size_t I, class V>
    void onNext(const V& v)
    {
        std::lock_guard lock(this->gate);
        std::get<I>(queues_).push_back(v);
        emitReady(std::index_sequence_for<Ts...>{});
    }

    template <std::size_t I>
    void onCompleted()
    {
        std::lock_guard lock(this->gate);
        done_[I] = true;
        if (std::get<I>(queues_).empty()) this->forwardCompleted();
    }

private:
    template <std::size_t... Is>
    void emitReady(std::index_sequence<Is...>)
    {
        while (!this->isStopped() && (!std::get<Is>(queues_).empty() && ...)) {
            std::tuple<Ts...> out(std::move(std::get<Is>(queues_).front())...);
            (std::get<Is>(queues_).pop_front(), ...);
            this->forwardNext(out);
        }
        // A finished source with nothing left queued can pair with nothing more.
        if (((done_[Is] && std::get<Is>(queues_).empty()) || ...)) this->forwardCompleted();
    }

    std::tuple<std::deque<Ts>...> queues_;
    std::array<bool, sizeof...(Ts)> done_{};
};

}  // namespace detail

// Pairs the n-th values of all sources as a tuple. `zip(relay, relay | skip(1))` gives (previous, current).
template <class... Ss>
auto zip(const Ss&... sources)
{
    using Tuple = std::tuple<typename detail::ObservableOf<Ss>::value_type...>;
    auto all = std::make_tuple(detail::toObservable(sources)...);
    return Observable<Tuple>([all](Observer<Tuple> observer) {
        return detail::subscribeEach<detail::ZipSink>(std::move(observer), all, std::index_sequence_for<Ss...>{});
    });
}

// Each value of the source combined with the latest value of `other` by f(value, latest); values that come
// before `other` has emitted are dropped. The stream ends with the source (or with an error of `other`).
template <class Other, class F>
auto withLatestFrom(const Other& other, F f)
{
    auto second = detail::toObservable(other);
    return [second, f = std::move(f)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        using U = typename decltype(second)::value_type;
        using R = std::decay_t<std::invoke_result_t<const F&, const T&, const U&>>;
        return Observable<R>([source, second, f](Observer<R> observer) -> Disposable {
            auto sink = std::make_shared<detail::GatedSink<R>>(std::move(observer));
            auto latest = std::make_shared<std::optional<U>>();
            auto handle = sink->handle();
            sink->addResource(second.subscribe(Observer<U>{[sink, latest](const U& u) {
                                                               std::lock_guard lock(sink->gate);
                                                               *latest = u;
                                                           },
                                                           [sink](std::exception_ptr e) {
                                                               std::lock_guard lock(sink->gate);
                                                               sink->forwardError(e);
                                                           },
                                                           {}}));
            if (sink->isStopped()) return handle;
            sink->addResource(source.subscribe(Observer<T>{[sink, latest, f](const T& v) {
                                                               std::lock_guard lock(sink->gate);
                                                               if (!*latest || sink->isStopped()) return;
                                                               std::optional<R> out;
                                                               try {
                                                                   out.emplace(f(v, **latest));
                                                               } catch (...) {
                                                                   sink->forwardError(std::current_exception());
                                                                   return;
                                                               }
                                                               sink->forwardNext(*out);
                                                           },
                                                           [sink](std::exception_ptr e) {
                                                               std::lock_guard lock(sink->gate);
                                                               sink->forwardError(e);
                                                           },
                                                           [sink] {
                                                               std::lock_guard lock(sink->gate);
                                                               sink->forwardCompleted();
                                                           }}));
            return handle;
        });
    };
}

// The latest value of `other` for each value of the source.
template <class Other>
auto withLatestFrom(const Other& other)
{
    return withLatestFrom(other, [](const auto&, const auto& latest) { return latest; });
}

namespace detail {

template <class U>
class FlatMapSink : public GatedSink<U> {
public:
    using GatedSink<U>::GatedSink;

    // Call with the gate held.
    std::uint64_t beginInner()
    {
        ++active_;
        return nextId_++;
    }
    void setInner(std::uint64_t id, Disposable d)
    {
        std::lock_guard lock(this->gate);
        if (finished_.erase(id) > 0 || this->isStopped()) {
            d.dispose();
            return;
        }
        inners_.emplace(id, std::move(d));
    }
    void innerCompleted(std::uint64_t id)
    {
        std::lock_guard lock(this->gate);
        if (inners_.erase(id) == 0) finished_.insert(id);
        if (--active_ == 0) this->forwardCompleted();
    }
    void outerCompleted()
    {
        std::lock_guard lock(this->gate);
        if (--active_ == 0) this->forwardCompleted();
    }
    void disposeInners()
    {
        std::map<std::uint64_t, Disposable> old;
        {
            std::lock_guard lock(this->gate);
            old.swap(inners_);
        }
        for (auto& [id, d] : old) d.dispose();
    }

private:
    std::size_t active_ = 1;  // the outer stream counts as one
    std::uint64_t nextId_ = 0;
    std::map<std::uint64_t, Disposable> inners_;
    std::set<std::uint64_t> finished_;
};

}  // namespace detail

// Each value turned into a stream by f; the values of all those streams merged. Completes when the source
// and every stream made from it have completed.
template <class F>
auto flatMap(F f)
{
    return [f = std::move(f)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        using Inner = detail::ObservableOf<std::invoke_result_t<const F&, const T&>>;
        using U = typename Inner::value_type;
        return Observable<U>([source, f](Observer<U> observer) -> Disposable {
            auto sink = std::make_shared<detail::FlatMapSink<U>>(std::move(observer));
            auto handle = sink->handle();
            std::weak_ptr<detail::FlatMapSink<U>> weak = sink;
            sink->addResource(Disposable::create([weak] {
                if (auto s = weak.lock()) s->disposeInners();
            }));
            sink->addResource(source.subscribe(Observer<T>{
                [sink, f](const T& v) {
                    if (sink->isStopped()) return;
                    std::optional<Inner> inner;
                    try {
                        inner.emplace(detail::toObservable(f(v)));
                    } catch (...) {
                        std::lock_guard lock(sink->gate);
                        sink->forwardError(std::current_exception());
                        return;
                    }
                    std::uint64_t id;
                    {
                        std::lock_guard lock(sink->gate);
                        id = sink->beginInner();
                    }
                    sink->setInner(id, inner->subscribe(Observer<U>{[sink](const U& u) {
                                                                        std::lock_guard lock(sink->gate);
                                                                        sink->forwardNext(u);
                                                                    },
                                                                    [sink](std::exception_ptr e) {
                                                                        std::lock_guard lock(sink->gate);
                                                                        sink->forwardError(e);
                                                                    },
                                                                    [sink, id] { sink->innerCompleted(id); }}));
                },
                [sink](std::exception_ptr e) {
                    std::lock_guard lock(sink->gate);
                    sink->forwardError(e);
                },
                [sink] { sink->outerCompleted(); }}));
            return handle;
        });
    };
}

}  // namespace vandrel::rx
