#include "rx/time_operators.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "rx/creation.h"
#include "rx/subjects.h"
#include "rx/virtual_time_scheduler.h"

using namespace vandrel::rx;

namespace {

struct TimedRecorder {
    explicit TimedRecorder(std::shared_ptr<VirtualTimeScheduler> c) : clock(std::move(c)) {}
    std::shared_ptr<VirtualTimeScheduler> clock;
    std::vector<std::pair<long long, int>> values;  // (ms, value)
    std::exception_ptr error;
    long long completedAt = -1;
    long long ms() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock->now().time_since_epoch()).count();
    }
    template <class T>
    Observer<T> observer()
    {
        return Observer<T>{[this](const T& v) { values.emplace_back(ms(), static_cast<int>(v)); },
                           [this](std::exception_ptr e) { error = e; }, [this] { completedAt = ms(); }};
    }
};

using Timeline = std::vector<std::pair<long long, int>>;

class TimeOperators : public ::testing::Test {
protected:
    std::shared_ptr<VirtualTimeScheduler> s = VirtualTimeScheduler::make();
    TimedRecorder r{s};
    PublishSubject<int> subject;
    void at(long long ms, int v)
    {
        s->advanceTo(TimePoint(milliseconds(ms)));
        subject.onNext(v);
    }
    void to(long long ms) { s->advanceTo(TimePoint(milliseconds(ms))); }
};

}  // namespace

TEST_F(TimeOperators, DebounceEmitsAfterSilenceAndFlushesOnCompletion)
{
    (subject | debounce(milliseconds(100), s)).subscribe(r.observer<int>());
    at(0, 1);
    at(50, 2);   // restarts the wait
    at(200, 3);  // 2 went out at 150
    at(250, 4);
    subject.onCompleted();  // 4 is still waiting: out with the completion
    to(1000);
    EXPECT_EQ(r.values, (Timeline{{150, 2}, {250, 4}}));
    EXPECT_EQ(r.completedAt, 250);
}

TEST_F(TimeOperators, ThrottleLetsTheFirstThroughAndTheLatestAtTheEndOfTheWindow)
{
    (subject | throttle(milliseconds(100), s)).subscribe(r.observer<int>());
    at(0, 1);  // out at once (on the scheduler)
    at(10, 2);
    at(20, 3);   // 2 is dropped, 3 goes out at 100
    at(150, 4);  // window of 3 (100..200): 4 waits until 200
    at(400, 5);  // long after: out at once
    to(1000);
    EXPECT_EQ(r.values, (Timeline{{0, 1}, {100, 3}, {200, 4}, {400, 5}}));

    TimedRecorder leading{s};
    PublishSubject<int> other;
    (other | throttle(milliseconds(100), s, false)).subscribe(leading.observer<int>());
    other.onNext(1);
    s->advanceBy(milliseconds(50));
    other.onNext(2);  // inside the window: dropped without `latest`
    s->advanceBy(milliseconds(60));
    other.onNext(3);
    s->runDue();
    EXPECT_EQ(leading.values, (Timeline{{1000, 1}, {1110, 3}}));

    // Completion waits for the value the window still holds.
    at(1200, 6);
    at(1210, 7);
    subject.onCompleted();
    EXPECT_EQ(r.completedAt, -1);
    to(2000);
    EXPECT_EQ(r.values.back(), (std::pair<long long, int>{1300, 7}));
    EXPECT_EQ(r.completedAt, 1300);
}

TEST_F(TimeOperators, TimeoutFailsAfterSilenceAndRestartsWithEachValue)
{
    (subject | timeout(milliseconds(300), s)).subscribe(r.observer<int>());
    at(200, 1);
    at(450, 2);
    to(749);
    EXPECT_FALSE(r.error);
    to(750);
    ASSERT_TRUE(r.error);
    EXPECT_THROW(std::rethrow_exception(r.error), TimeoutError);
    EXPECT_FALSE(subject.hasObservers());
    EXPECT_EQ(r.values, (Timeline{{200, 1}, {450, 2}}));
}

TEST_F(TimeOperators, IntervalTimerAndTakeForADuration)
{
    (interval(milliseconds(100), s) | take(milliseconds(350), s)).subscribe(r.observer<std::int64_t>());
    TimedRecorder once{s};
    timer(milliseconds(250), s).subscribe(once.observer<std::int64_t>());
    to(1000);
    EXPECT_EQ(r.values, (Timeline{{100, 0}, {200, 1}, {300, 2}}));
    EXPECT_EQ(r.completedAt, 350);
    EXPECT_EQ(once.values, (Timeline{{250, 0}}));
    EXPECT_EQ(once.completedAt, 250);
    EXPECT_EQ(s->pendingCount(), 0u);  // the interval stopped with take
}

TEST_F(TimeOperators, DisposingCancelsEveryScheduledJob)
{
    DisposeBag bag;
    (subject | debounce(milliseconds(100), s)).subscribe(r.observer<int>()).disposed(bag);
    (subject | throttle(milliseconds(100), s)).subscribe(r.observer<int>()).disposed(bag);
    TimedRecorder passedThrough{s};  // timeout passes values on at once
    (subject | timeout(milliseconds(100), s)).subscribe(passedThrough.observer<int>()).disposed(bag);
    (subject | observeOn(s)).subscribe(r.observer<int>()).disposed(bag);
    interval(milliseconds(10), s).subscribe(r.observer<std::int64_t>()).disposed(bag);
    subject.onNext(1);
    subject.onNext(2);
    EXPECT_GT(s->pendingCount(), 0u);
    bag = DisposeBag();
    EXPECT_EQ(s->pendingCount(), 0u);
    EXPECT_FALSE(subject.hasObservers());
    to(1000);
    EXPECT_TRUE(r.values.empty());
    EXPECT_FALSE(r.error);
    EXPECT_FALSE(passedThrough.error);
}

TEST_F(TimeOperators, ObserveOnKeepsOrderAndSubscribeOnDefersTheSubscription)
{
    (subject | observeOn(s)).subscribe(r.observer<int>());
    subject.onNext(1);
    subject.onNext(2);
    subject.onCompleted();
    EXPECT_TRUE(r.values.empty());  // nothing until the scheduler runs
    s->runDue();
    EXPECT_EQ(r.values, (Timeline{{0, 1}, {0, 2}}));
    EXPECT_EQ(r.completedAt, 0);

    PublishSubject<int> later;
    TimedRecorder deferred{s};
    (later | subscribeOn(s)).subscribe(deferred.observer<int>());
    later.onNext(1);  // before the subscription is made: not seen
    s->runDue();
    later.onNext(2);
    EXPECT_EQ(deferred.values, (Timeline{{0, 2}}));
}

TEST_F(TimeOperators, DelayRetryResubscribesAfterTheDelayAndGivesUpAfterMaxCount)
{
    std::vector<long long> subscribedAt;
    auto failing = Observable<int>::create([&](Observer<int> o) {
        subscribedAt.push_back(r.ms());
        o.error(std::make_exception_ptr(std::runtime_error("x")));
        return Disposable{};
    });
    (failing | delayRetry(0.05, 5, s)).subscribe(r.observer<int>());
    to(1000);
    EXPECT_EQ(subscribedAt, (std::vector<long long>{0, 50, 100, 150, 200, 250}));
    EXPECT_TRUE(r.error);

    subscribedAt.clear();
    TimedRecorder noRetry{s};
    (failing | delayRetry(0.05, 0, s)).subscribe(noRetry.observer<int>());
    EXPECT_EQ(subscribedAt.size(), 1u);
    EXPECT_TRUE(noRetry.error);

    // A source that recovers ends the retrying; disposing while waiting cancels the next attempt.
    int attempts = 0;
    auto flaky = Observable<int>::create([&](Observer<int> o) {
        if (++attempts < 3)
            o.error(std::make_exception_ptr(std::runtime_error("x")));
        else
            o.next(attempts);
        return Disposable{};
    });
    TimedRecorder recovered{s};
    (flaky | delayRetry(milliseconds(10), 5, s)).subscribe(recovered.observer<int>());
    to(2000);
    EXPECT_EQ(recovered.values, (Timeline{{1020, 3}}));
    attempts = 0;
    auto d = (flaky | delayRetry(milliseconds(10), 5, s)).subscribe(recovered.observer<int>());
    d.dispose();
    to(3000);
    EXPECT_EQ(attempts, 1);
}
