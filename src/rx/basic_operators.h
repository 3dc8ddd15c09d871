// Operators on one stream that involve no time: they emit synchronously on the thread that emits upstream.
//
//   relay | rx::skip(1) | rx::filter(pred) | rx::map(f) | rx::distinctUntilChanged()
//
// A function given to an operator that throws ends the stream with that exception as its error.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "rx/observable.h"
#include "rx/serial_disposable.h"
#include "rx/sink.h"

namespace vandrel::rx {

namespace detail {
template <class Source>
using ValueOf = typename std::decay_t<Source>::value_type;

// A stream of Out fed value by value from source: per subscription, makeOnNext(sink) gives the function that
// each upstream value goes to while the sink is live; errors and completion pass straight on.
template <class Out, class In, class MakeOnNext>
Observable<Out> follow(const Observable<In>& source, MakeOnNext makeOnNext)
{
    return Observable<Out>([source, makeOnNext](Observer<Out> observer) -> Disposable {
        auto sink = std::make_shared<Sink<Out>>(std::move(observer));
        auto handle = sink->handle();
        sink->addResource(source.subscribe(forwarding<In>(sink, [sink, onNext = makeOnNext(sink)](const In& v) {
            if (!sink->isStopped()) onNext(v);
        })));
        return handle;
    });
}

// f(v), or nothing when f throws: the exception then ends the stream as its error.
template <class SinkPtr, class F, class T>
auto attempt(const SinkPtr& sink, const F& f, const T& v)
    -> std::optional<std::decay_t<std::invoke_result_t<const F&, const T&>>>
{
    try {
        return f(v);
    } catch (...) {
        sink->forwardError(std::current_exception());
        return std::nullopt;
    }
}

// pred(v) as a bool, or nothing when pred throws (the stream then ends with the error).
template <class SinkPtr, class P, class T>
std::optional<bool> holds(const SinkPtr& sink, const P& pred, const T& v)
{
    return attempt(
        sink, [&pred](const T& x) { return static_cast<bool>(pred(x)); }, v);
}
}  // namespace detail

// Each value turned into f(value).
template <class F>
auto map(F f)
{
    return [f = std::move(f)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        using U = std::decay_t<std::invoke_result_t<const F&, const T&>>;
        return detail::follow<U>(source, [f](const auto& sink) {
            return [sink, f](const T& v) {
                if (auto out = detail::attempt(sink, f, v)) sink->forwardNext(*out);
            };
        });
    };
}

// Only the values for which pred is true.
template <class P>
auto filter(P pred)
{
    return [pred = std::move(pred)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return detail::follow<T>(source, [pred](const auto& sink) {
            return [sink, pred](const T& v) {
                if (detail::holds(sink, pred, v).value_or(false)) sink->forwardNext(v);
            };
        });
    };
}

// Drops the first n values.
inline auto skip(long long n)
{
    return [n](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return detail::follow<T>(source, [n](const auto& sink) {
            auto remaining = std::make_shared<std::atomic<long long>>(n);
            return [sink, remaining](const T& v) {
                if (remaining->load(std::memory_order_relaxed) > 0 && remaining->fetch_sub(1) > 0) return;
                sink->forwardNext(v);
            };
        });
    };
}

// Drops values while pred holds; from the first value for which it is false on, passes everything.
template <class P>
auto skipWhile(P pred)
{
    return [pred = std::move(pred)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return detail::follow<T>(source, [pred](const auto& sink) {
            auto passing = std::make_shared<std::atomic<bool>>(false);
            return [sink, pred, passing](const T& v) {
                if (!passing->load(std::memory_order_acquire)) {
                    const std::optional<bool> skipping = detail::holds(sink, pred, v);
                    if (!skipping || *skipping) return;
                    passing->store(true, std::memory_order_release);
                }
                sink->forwardNext(v);
            };
        });
    };
}

// The first n values, then completion (and the upstream subscription ends). take(0) completes at once.
inline auto take(long long n)
{
    return [n](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, n](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto handle = sink->handle();
            if (n <= 0) {
                sink->forwardCompleted();
                return handle;
            }
            auto taken = std::make_shared<std::atomic<long long>>(0);
            sink->addResource(source.subscribe(detail::forwarding<T>(sink, [sink, taken, n](const T& v) {
                const long long k = taken->fetch_add(1) + 1;
                if (k > n) return;
                sink->forwardNext(v);
                if (k == n) sink->forwardCompleted();
            })));
            return handle;
        });
    };
}

// Values while pred holds; the first value for which it is false completes the stream without being emitted.
template <class P>
auto takeWhile(P pred)
{
    return [pred = std::move(pred)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return detail::follow<T>(source, [pred](const auto& sink) {
            return [sink, pred](const T& v) {
                const std::optional<bool> pass = detail::holds(sink, pred, v);
                if (!pass) return;
                if (*pass)
                    sink->forwardNext(v);
                else
                    sink->forwardCompleted();
            };
        });
    };
}

// Drops a value that equals the one before it; equal(a, b) decides (operator== by default).
template <class Eq>
auto distinctUntilChanged(Eq equal)
{
    return [equal = std::move(equal)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        struct State {
            std::mutex mutex;
            std::optional<T> last;
        };
        return detail::follow<T>(source, [equal](const auto& sink) {
            return [sink, equal, state = std::make_shared<State>()](const T& v) {
                {
                    std::lock_guard lock(state->mutex);
                    try {
                        if (state->last && equal(*state->last, v)) return;
                    } catch (...) {
                        sink->forwardError(std::current_exception());
                        return;
                    }
                    state->last = v;
                }
                sink->forwardNext(v);
            };
        });
    };
}

inline auto distinctUntilChanged()
{
    return distinctUntilChanged([](const auto& a, const auto& b) { return a == b; });
}

// Emits the given values first, then those of the source.
template <class... Vs>
auto startWith(Vs... values)
{
    return [... values = std::move(values)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, values...](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto handle = sink->handle();
            (sink->forwardNext(T(values)), ...);
            if (sink->isStopped()) return handle;
            sink->addResource(
                source.subscribe(detail::forwarding<T>(sink, [sink](const T& v) { sink->forwardNext(v); })));
            return handle;
        });
    };
}

// From a stream of optionals (or pointers), the present values only: std::optional<U> gives U, a
// pointer-like value passes when it is not null.
inline auto filterNil()
{
    return [](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        if constexpr (requires(const T& t) {
                          t.has_value();
                          t.value();
                      }) {
            using U = std::decay_t<decltype(std::declval<const T&>().value())>;
            return Observable<U>([source](Observer<U> observer) -> Disposable {
                auto sink = std::make_shared<detail::Sink<U>>(std::move(observer));
                auto handle = sink->handle();
                sink->addResource(source.subscribe(detail::forwarding<T>(sink, [sink](const T& v) {
                    if (v.has_value()) sink->forwardNext(*v);
                })));
                return handle;
            });
        } else {
            return source | filter([](const T& v) { return static_cast<bool>(v); });
        }
    };
}

// An error becomes the value v followed by completion.
template <class V>
auto catchAndReturn(V v)
{
    return [v = std::move(v)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, v](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto handle = sink->handle();
            sink->addResource(source.subscribe(Observer<T>{[sink](const T& x) { sink->forwardNext(x); },
                                                           [sink, v](std::exception_ptr) {
                                                               sink->forwardNext(T(v));
                                                               sink->forwardCompleted();
                                                           },
                                                           [sink] { sink->forwardCompleted(); }}));
            return handle;
        });
    };
}

// Runs f once when the subscription ends: disposed by the subscriber, completed or failed (after the
// terminal event has been delivered).
template <class F>
auto doOnDispose(F f)
{
    return [f = std::move(f)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, f](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto handle = sink->handle();
            sink->addResource(Disposable::create(f));
            sink->addResource(
                source.subscribe(detail::forwarding<T>(sink, [sink](const T& v) { sink->forwardNext(v); })));
            return handle;
        });
    };
}

// Traces every event of the stream to standard output, each line starting with label.
inline auto debug(std::string label)
{
    return [label = std::move(label)](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        auto text = [](const T& v) -> std::string {
            if constexpr (requires(std::ostream & os) { os << v; }) {
                std::ostringstream os;
                os << v;
                return os.str();
            } else {
                return "<value>";
            }
        };
        return Observable<T>([source, label, text](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::Sink<T>>(std::move(observer));
            auto handle = sink->handle();
            std::cout << label << " -> subscribed" << std::endl;
            sink->addResource(Disposable::create([label] { std::cout << label << " -> isDisposed" << std::endl; }));
            sink->addResource(source.subscribe(Observer<T>{[sink, label, text](const T& v) {
                                                               std::cout << label << " -> Event next(" << text(v) << ")"
                                                                         << std::endl;
                                                               sink->forwardNext(v);
                                                           },
                                                           [sink, label](std::exception_ptr e) {
                                                               std::cout << label << " -> Event error" << std::endl;
                                                               sink->forwardError(e);
                                                           },
                                                           [sink, label] {
                                                               std::cout << label << " -> Event completed" << std::endl;
                                                               sink->forwardCompleted();
                                                           }}));
            return handle;
        });
    };
}

namespace detail {

// Resubscribes after errors; `again` decides, for the error numbered n from 0, whether to try once more and
// arms the next attempt through `resubscribe` (at once, or later on a scheduler).
template <class T>
class RetrySink : public Sink<T> {
public:
    RetrySink(Observer<T> o, Observable<T> source) : Sink<T>(std::move(o)), source_(std::move(source))
    {
        this->addResource(attempt_.asDisposable());
    }

    // Subscribes now. An attempt that fails while it is being subscribed is retried by the loop here
    // rather than by recursion, so a source that always fails at once cannot exhaust the stack.
    void subscribeNow()
    {
        {
            std::lock_guard lock(mutex_);
            if (subscribing_) {
                again_ = true;
                return;
            }
            subscribing_ = true;
        }
        for (;;) {
            if (this->isStopped()) break;
            auto self = std::static_pointer_cast<RetrySink>(this->shared_from_this());
            attempt_.set(source_.subscribe(Observer<T>{[self](const T& v) { self->forwardNext(v); },
                                                       [self](std::exception_ptr e) { self->failed(std::move(e)); },
                                                       [self] { self->forwardCompleted(); }}));
            std::lock_guard lock(mutex_);
            if (!again_) {
                subscribing_ = false;
                return;
            }
            again_ = false;
        }
        std::lock_guard lock(mutex_);
        subscribing_ = false;
    }

    std::function<bool(long long, std::exception_ptr)> onFailure;  // true when a new attempt was arranged

private:
    void failed(std::exception_ptr e)
    {
        if (this->isStopped()) return;
        const long long n = errors_++;
        if (!onFailure(n, e)) this->forwardError(std::move(e));
    }

    Observable<T> source_;
    SerialDisposable attempt_;
    std::mutex mutex_;
    bool subscribing_ = false;
    bool again_ = false;
    std::atomic<long long> errors_{0};
};

}  // namespace detail

// Subscribes again after an error, up to maxAttemptCount subscriptions in all; the error of the last one
// ends the stream. retry() tries for ever.
inline auto retry(long long maxAttemptCount = -1)
{
    return [maxAttemptCount](const auto& source) {
        using T = detail::ValueOf<decltype(source)>;
        return Observable<T>([source, maxAttemptCount](Observer<T> observer) -> Disposable {
            auto sink = std::make_shared<detail::RetrySink<T>>(std::move(observer), source);
            std::weak_ptr<detail::RetrySink<T>> weak = sink;
            sink->onFailure = [weak, maxAttemptCount](long long n, std::exception_ptr) {
                if (maxAttemptCount >= 0 && n + 1 >= maxAttemptCount) return false;
                if (auto s = weak.lock()) s->subscribeNow();
                return true;
            };
            auto handle = sink->handle();
            sink->subscribeNow();
            return handle;
        });
    };
}

}  // namespace vandrel::rx
