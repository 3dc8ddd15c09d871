#include "rx/basic_operators.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "rx/creation.h"
#include "rx/subjects.h"

using namespace vandrel::rx;

namespace {

// Records what a stream delivered.
template <class T>
struct Recorder {
    std::vector<T> values;
    int errors = 0;
    int completions = 0;
    Observer<T> observer()
    {
        return Observer<T>{[this](const T& v) { values.push_back(v); }, [this](std::exception_ptr) { ++errors; },
                           [this] { ++completions; }};
    }
};

}  // namespace

TEST(BasicOperators, MapFilterSkipAndTakeKeepOrderAndEndUpstream)
{
    PublishSubject<int> subject;
    Recorder<std::string> r;
    (subject | skip(1) | filter([](int v) { return v % 2 == 1; }) | map([](int v) { return std::to_string(v * 10); }) |
     take(2))
        .subscribe(r.observer());
    for (int v : {1, 2, 3, 4, 5, 7}) subject.onNext(v);
    EXPECT_EQ(r.values, (std::vector<std::string>{"30", "50"}));
    EXPECT_EQ(r.completions, 1);
    EXPECT_FALSE(subject.hasObservers());  // take ended the upstream subscription

    Recorder<int> none;
    (subject | take(0)).subscribe(none.observer());
    EXPECT_EQ(none.completions, 1);
    EXPECT_FALSE(subject.hasObservers());
}

TEST(BasicOperators, SkipWhileAndTakeWhileSwitchOnceForGood)
{
    PublishSubject<int> subject;
    Recorder<int> skipped, taken;
    (subject | skipWhile([](int v) { return v < 3; })).subscribe(skipped.observer());
    (subject | takeWhile([](int v) { return v < 3; })).subscribe(taken.observer());
    for (int v : {1, 2, 3, 1, 4}) subject.onNext(v);
    EXPECT_EQ(skipped.values, (std::vector<int>{3, 1, 4}));
    EXPECT_EQ(taken.values, (std::vector<int>{1, 2}));
    EXPECT_EQ(taken.completions, 1);  // the first failing value completes without being emitted
}

TEST(BasicOperators, DistinctUntilChangedComparesWithThePreviousValueOnly)
{
    PublishSubject<int> subject;
    Recorder<int> plain, byParity;
    (subject | distinctUntilChanged()).subscribe(plain.observer());
    (subject | distinctUntilChanged([](int a, int b) { return a % 2 == b % 2; })).subscribe(byParity.observer());
    for (int v : {1, 1, 2, 2, 1, 3, 4}) subject.onNext(v);
    EXPECT_EQ(plain.values, (std::vector<int>{1, 2, 1, 3, 4}));
    EXPECT_EQ(byParity.values, (std::vector<int>{1, 2, 1, 4}));
}

TEST(BasicOperators, StartWithFilterNilAndCatchAndReturn)
{
    BehaviorRelay<std::optional<int>> optional(std::nullopt);
    Recorder<int> present;
    (optional | filterNil() | startWith(-1, 0)).subscribe(present.observer());
    optional.accept(5);
    optional.accept(std::nullopt);
    optional.accept(6);
    EXPECT_EQ(present.values, (std::vector<int>{-1, 0, 5, 6}));

    BehaviorRelay<std::shared_ptr<int>> pointer(nullptr);
    int pointers = 0;
    auto d = (pointer | filterNil()).subscribe([&](const std::shared_ptr<int>& p) { pointers += *p; });
    pointer.accept(std::make_shared<int>(3));
    EXPECT_EQ(pointers, 3);

    PublishSubject<int> failing;
    Recorder<int> recovered;
    (failing | catchAndReturn(42)).subscribe(recovered.observer());
    failing.onNext(1);
    failing.onError(std::make_exception_ptr(std::runtime_error("x")));
    EXPECT_EQ(recovered.values, (std::vector<int>{1, 42}));
    EXPECT_EQ(recovered.errors, 0);
    EXPECT_EQ(recovered.completions, 1);
}

TEST(BasicOperators, AThrowingFunctionEndsTheStreamWithItsError)
{
    PublishSubject<int> subject;
    Recorder<int> r;
    (subject | map([](int v) {
         if (v == 2) throw std::runtime_error("bad");
         return v;
     })).subscribe(r.observer());
    subject.onNext(1);
    subject.onNext(2);
    subject.onNext(3);
    EXPECT_EQ(r.values, std::vector<int>{1});
    EXPECT_EQ(r.errors, 1);
    EXPECT_FALSE(subject.hasObservers());
}

TEST(BasicOperators, DisposingAChainReachesTheSourceAndRunsDoOnDisposeOnce)
{
    PublishSubject<int> subject;
    int ended = 0;
    std::vector<int> seen;
    DisposeBag bag;
    (subject | map([](int v) { return v + 1; }) | doOnDispose([&] { ++ended; }))
        .subscribe([&](int v) { seen.push_back(v); })
        .disposed(bag);
    subject.onNext(1);
    bag = DisposeBag();
    subject.onNext(2);
    EXPECT_EQ(seen, std::vector<int>{2});
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(subject.hasObservers());

    // Disposed from inside its own handler: nothing further arrives.
    Disposable self;
    self = (subject | filter([](int) { return true; })).subscribe([&](int v) {
        seen.push_back(v);
        self.dispose();
    });
    subject.onNext(3);
    subject.onNext(4);
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));

    // Completion ends it too, after the completion was delivered.
    std::vector<std::string> order;
    (just(1) | doOnDispose([&] {
         order.push_back("disposed");
     })).subscribe([&](int) { order.push_back("next"); }, {}, [&] { order.push_back("completed"); });
    EXPECT_EQ(order, (std::vector<std::string>{"next", "completed", "disposed"}));
}

TEST(BasicOperators, SubscriptionsDoNotKeepTheirHandlersAliveAfterTheyEnd)
{
    PublishSubject<int> subject;
    auto owner = std::make_shared<int>(0);
    std::weak_ptr<int> weak = owner;
    auto d = (subject | map([](int v) { return v; }) | take(1)).subscribe([owner](int) {});
    owner.reset();
    EXPECT_FALSE(weak.expired());
    subject.onNext(1);  // take(1) completes: the chain lets go of the handler
    EXPECT_TRUE(weak.expired());
}

TEST(Retry, ResubscribesUpToTheAttemptCountWithoutRecursing)
{
    int subscriptions = 0;
    auto failing = Observable<int>::create([&](Observer<int> o) {
        ++subscriptions;
        o.next(subscriptions);
        o.error(std::make_exception_ptr(std::runtime_error("x")));
        return Disposable{};
    });
    Recorder<int> r;
    (failing | retry(3)).subscribe(r.observer());
    EXPECT_EQ(subscriptions, 3);
    EXPECT_EQ(r.values, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(r.errors, 1);

    // A long run of synchronous failures must not grow the stack.
    subscriptions = 0;
    Recorder<int> many;
    (failing | retry(100000)).subscribe(many.observer());
    EXPECT_EQ(subscriptions, 100000);
    EXPECT_EQ(many.errors, 1);
}
