#include "rx/combining.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "rx/creation.h"
#include "rx/subjects.h"
#include "rx/time_operators.h"
#include "rx/virtual_time_scheduler.h"

using namespace vandrel::rx;

TEST(Combining, MergeInterleavesAndCompletesWhenAllHave)
{
    PublishSubject<int> a, b;
    std::vector<int> seen;
    bool completed = false;
    merge(a, b.asObservable()).subscribe([&](int v) { seen.push_back(v); }, {}, [&] { completed = true; });
    a.onNext(1);
    b.onNext(2);
    a.onCompleted();
    b.onNext(3);
    EXPECT_FALSE(completed);
    b.onCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(Combining, CombineLatestWaitsForEveryoneThenEmitsOnEachChange)
{
    BehaviorRelay<int> key(0);
    PublishSubject<std::string> action;
    PublishSubject<int> params;
    std::vector<std::tuple<int, std::string, int>> seen;
    auto d = (combineLatest(key, action, params) | skip(1)).subscribe([&](const std::tuple<int, std::string, int>& t) {
        seen.push_back(t);
    });
    action.onNext("a");
    params.onNext(1);  // the first full combination: skipped
    key.accept(5);
    action.onNext("b");
    EXPECT_EQ(seen, (std::vector<std::tuple<int, std::string, int>>{{5, "a", 1}, {5, "b", 1}}));

    PublishSubject<int> silent, other;
    bool completed = false;
    combineLatest(silent, other).subscribe([](const auto&) {}, {}, [&] { completed = true; });
    silent.onCompleted();  // never emitted: no combination is possible any more
    EXPECT_TRUE(completed);
}

TEST(Combining, ZipWithItselfGivesPreviousAndCurrent)
{
    BehaviorRelay<std::string> name("first");
    std::vector<std::pair<std::string, std::string>> renames;
    auto d = zip(name, name | skip(1)).subscribe([&](const std::tuple<std::string, std::string>& t) {
        renames.emplace_back(std::get<0>(t), std::get<1>(t));
    });
    EXPECT_TRUE(renames.empty());
    name.accept("second");
    name.accept("third");
    EXPECT_EQ(renames, (std::vector<std::pair<std::string, std::string>>{{"first", "second"}, {"second", "third"}}));
}

TEST(Combining, WithLatestFromPairsTicksWithTheLatestValue)
{
    PublishSubject<int> ticks;
    BehaviorRelay<int> cached(7);
    std::vector<std::pair<int, int>> pairs;
    auto d = (ticks | withLatestFrom(cached, [](int t, int c) {
                  return std::make_pair(t, c);
              })).subscribe([&](const std::pair<int, int>& p) { pairs.push_back(p); });
    ticks.onNext(1);
    cached.accept(8);
    ticks.onNext(2);
    EXPECT_EQ(pairs, (std::vector<std::pair<int, int>>{{1, 7}, {2, 8}}));

    PublishSubject<int> unset;
    std::vector<int> latest;
    auto e = (ticks | withLatestFrom(unset)).subscribe([&](int v) { latest.push_back(v); });
    ticks.onNext(3);  // nothing from `unset` yet: dropped
    unset.onNext(4);
    ticks.onNext(5);
    EXPECT_EQ(latest, std::vector<int>{4});
}

TEST(Combining, FlatMapRunsInnerStreamsSideBySideAndCompletesAfterAll)
{
    auto s = VirtualTimeScheduler::make();
    PublishSubject<bool> overload;
    std::vector<long long> ticks;
    bool completed = false;
    auto d = (overload | filter([](bool b) { return b; }) |
              flatMap([s](bool) { return interval(milliseconds(3), s) | take(milliseconds(10), s); }))
                 .subscribe([&](std::int64_t) { ticks.push_back(s->now().time_since_epoch().count() / 1000000); }, {},
                            [&] { completed = true; });
    overload.onNext(true);
    s->advanceBy(milliseconds(5));
    overload.onNext(true);  // a second burst alongside the first
    s->advanceBy(milliseconds(20));
    EXPECT_EQ(ticks, (std::vector<long long>{3, 6, 8, 9, 11, 14}));
    overload.onCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(s->pendingCount(), 0u);
}

TEST(Combining, SourcesOnSeveralThreadsNeverOverlapDownstream)
{
    struct OverlapCheck {
        std::atomic<int> inside{0};
        std::atomic<bool> overlapped{false};
        int count = 0;
        void enter()
        {
            if (inside.fetch_add(1) != 0) overlapped = true;
            ++count;
            inside.fetch_sub(1);
        }
    } merged, combined;
    PublishSubject<int> a, b;
    auto m = merge(a, b).subscribe([&](int) { merged.enter(); });
    auto c = combineLatest(a, b).subscribe([&](const std::tuple<int, int>&) { combined.enter(); });
    std::thread ta([&] {
        for (int i = 0; i < 20000; ++i) a.onNext(i);
    });
    std::thread tb([&] {
        for (int i = 0; i < 20000; ++i) b.onNext(i);
    });
    ta.join();
    tb.join();
    EXPECT_FALSE(merged.overlapped.load());
    EXPECT_FALSE(combined.overlapped.load());
    EXPECT_EQ(merged.count, 40000);
    EXPECT_GE(combined.count, 20000);  // values before both sources have emitted form no pair
}
