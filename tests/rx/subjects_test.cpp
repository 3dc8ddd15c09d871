#include "rx/subjects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

using namespace vandrel::rx;

namespace {
std::exception_ptr failure()
{
    return std::make_exception_ptr(std::runtime_error("boom"));
}
}  // namespace

TEST(PublishSubject, DeliversInSubscriptionOrderAndStopsAtOnceOnDispose)
{
    PublishSubject<int> subject;
    std::vector<std::string> seen;
    Disposable second;
    auto first = subject.subscribe([&](int v) {
        seen.push_back("a" + std::to_string(v));
        if (v == 2) second.dispose();  // disposed during an emission: gets nothing more, not even this one
    });
    second = subject.subscribe([&](int v) { seen.push_back("b" + std::to_string(v)); });
    subject.onNext(1);
    subject.onNext(2);
    subject.onNext(3);
    EXPECT_EQ(seen, (std::vector<std::string>{"a1", "b1", "a2", "a3"}));
    first.dispose();
    EXPECT_FALSE(subject.hasObservers());
}

TEST(PublishSubject, EndsOnceAndTellsLateSubscribersHowItEnded)
{
    PublishSubject<int> subject;
    int values = 0, errors = 0, completions = 0;
    subject.subscribe([&](int) { ++values; }, [&](std::exception_ptr) { ++errors; }, [&] { ++completions; });
    subject.onNext(1);
    subject.onError(failure());
    subject.onNext(2);
    subject.onCompleted();
    EXPECT_EQ(values, 1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(completions, 0);
    EXPECT_FALSE(subject.hasObservers());

    std::exception_ptr late;
    subject.subscribe([&](int) { ++values; }, [&](std::exception_ptr e) { late = e; });
    ASSERT_TRUE(late);
    EXPECT_THROW(std::rethrow_exception(late), std::runtime_error);

    PublishSubject<int> completed;
    completed.onCompleted();
    completed.subscribe([&](int) { ++values; }, {}, [&] { ++completions; });
    EXPECT_EQ(completions, 1);
}

TEST(BehaviorSubject, GivesTheCurrentValueFirstAndOnlyTheEndAfterTheEnd)
{
    BehaviorSubject<int> subject(1);
    std::vector<int> seen;
    auto d = subject.subscribe([&](int v) { seen.push_back(v); });
    subject.onNext(2);
    EXPECT_EQ(subject.value(), 2);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));

    // A subscriber that pushes a new value while receiving its first one gets it after the first.
    std::vector<int> nested;
    auto n = subject.subscribe([&](int v) {
        nested.push_back(v);
        if (v == 2) subject.onNext(3);
    });
    EXPECT_EQ(nested, (std::vector<int>{2, 3}));

    subject.onCompleted();
    bool completed = false;
    std::vector<int> late;
    subject.subscribe([&](int v) { late.push_back(v); }, {}, [&] { completed = true; });
    EXPECT_TRUE(late.empty());
    EXPECT_TRUE(completed);
    EXPECT_EQ(subject.value(), 3);
}

TEST(Subjects, ValuesFromSeveralThreadsReachEverySubscriberExactlyOnce)
{
    PublishSubject<int> subject;
    constexpr int threads = 4, perThread = 5000;
    std::vector<std::atomic<int>> counts(threads * perThread);
    std::atomic<int> total{0};
    auto d1 = subject.subscribe([&](int v) { counts[v].fetch_add(1); });
    auto d2 = subject.subscribe([&](int) { total.fetch_add(1); });
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) subject.onNext(t * perThread + i);
        });
    for (auto& w : workers) w.join();
    EXPECT_EQ(total.load(), threads * perThread);
    for (auto& c : counts) ASSERT_EQ(c.load(), 1);
}

TEST(BehaviorSubject, ASubscriberRacingWithAWriterSeesEachValueOnceAndInOrder)
{
    constexpr int rounds = 100, values = 200;
    for (int round = 0; round < rounds; ++round) {
        BehaviorSubject<int> subject(0);
        std::atomic<bool> go{false};
        std::thread writer([&] {
            while (!go.load()) {
            }
            for (int i = 1; i <= values; ++i) subject.onNext(i);
        });
        std::vector<int> seen;
        go.store(true);
        auto d = subject.subscribe([&](int v) { seen.push_back(v); });
        writer.join();
        ASSERT_FALSE(seen.empty());
        for (std::size_t i = 1; i < seen.size(); ++i) ASSERT_EQ(seen[i], seen[i - 1] + 1) << "round " << round;
        ASSERT_EQ(seen.back(), values);
    }
}

TEST(BehaviorSubject, ValuesPushedByAnotherThreadWhileTheFirstIsDeliveredFollowIt)
{
    BehaviorSubject<int> subject(0);
    std::vector<int> seen;
    bool wrote = false;
    auto d = subject.subscribe([&](int v) {
        if (!std::exchange(wrote, true)) {
            std::thread writer([&] {
                for (int i = 1; i <= 3; ++i) subject.onNext(i);
            });
            writer.join();
        }
        seen.push_back(v);
    });
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
}

TEST(ObservableCreate, KeepsTheContractWhateverTheSourceDoes)
{
    std::vector<int> seen;
    int completions = 0;
    bool sourceDisposed = false;
    Observer<int> leaked;
    auto source = Observable<int>::create([&](Observer<int> o) {
        leaked = o;
        o.next(1);
        o.completed();
        o.next(2);  // after completion: dropped
        o.completed();
        return Disposable::create([&] { sourceDisposed = true; });
    });
    source.subscribe([&](int v) { seen.push_back(v); }, {}, [&] { ++completions; });
    EXPECT_EQ(seen, std::vector<int>{1});
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(sourceDisposed);  // a terminal event ends the source's resources

    std::vector<int> afterDispose;
    auto quiet = Observable<int>::create([&](Observer<int> o) {
        leaked = o;
        return Disposable{};
    });
    auto d = quiet.subscribe([&](int v) { afterDispose.push_back(v); });
    leaked.next(1);
    d.dispose();
    leaked.next(2);
    EXPECT_EQ(afterDispose, std::vector<int>{1});
}
