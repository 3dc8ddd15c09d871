#include "rx/scheduler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "rx/virtual_time_scheduler.h"

using namespace vandrel::rx;

TEST(VirtualTimeScheduler, RunsJobsInTimeThenQueueOrderOnlyWhenAdvanced)
{
    auto s = VirtualTimeScheduler::make();
    std::vector<int> order;
    s->scheduleAfter(milliseconds(20), [&] { order.push_back(3); });
    s->schedule([&] { order.push_back(1); });
    s->scheduleAfter(milliseconds(-5), [&] { order.push_back(2); });  // negative: as soon as possible
    auto cancelled = s->scheduleAfter(milliseconds(10), [&] { order.push_back(99); });
    s->scheduleAfter(milliseconds(10), [&] {
        order.push_back(4);
        // Work scheduled from a job that falls inside the window runs in the same advance.
        s->scheduleAfter(milliseconds(5), [&] { order.push_back(5); });
    });
    EXPECT_TRUE(order.empty());
    cancelled.dispose();
    s->runDue();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    s->advanceBy(milliseconds(20));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 4, 5, 3}));
    EXPECT_EQ(s->now().time_since_epoch(), milliseconds(20));
    EXPECT_EQ(s->pendingCount(), 0u);
}

TEST(VirtualTimeScheduler, HugeDelaysSaturateInsteadOfOverflowing)
{
    auto s = VirtualTimeScheduler::make();
    bool ran = false;
    s->scheduleAfter(milliseconds(1), [] {});
    s->advanceBy(milliseconds(1));
    s->scheduleAfter(Duration::max(), [&] { ran = true; });
    s->advanceBy(seconds(1e6));
    EXPECT_FALSE(ran);
    EXPECT_EQ(s->pendingCount(), 1u);
    EXPECT_EQ(seconds(std::numeric_limits<double>::quiet_NaN()), Duration::zero());
    EXPECT_EQ(seconds(std::numeric_limits<double>::infinity()), Duration::max());
    EXPECT_EQ(seconds(-1e300), Duration::min());
}

TEST(VirtualTimeScheduler, CancellingAJobWhoseCapturesCancelAnotherDoesNotDeadlock)
{
    auto s = VirtualTimeScheduler::make();
    auto other = s->scheduleAfter(seconds(2), [] {});
    auto guard = std::shared_ptr<int>(new int(0), [other](int* p) {
        other.dispose();
        delete p;
    });
    auto first = s->scheduleAfter(seconds(1), [guard] {});
    guard.reset();
    first.dispose();
    EXPECT_EQ(s->pendingCount(), 0u);
}

TEST(Scheduler, PeriodicWorkKeepsToItsGridAndStopsWhenDisposed)
{
    auto s = VirtualTimeScheduler::make();
    std::vector<long long> ticks;
    auto d = s->schedulePeriodic(milliseconds(100), [&] {
        ticks.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(s->now().time_since_epoch()).count());
    });
    s->advanceBy(milliseconds(350));
    EXPECT_EQ(ticks, (std::vector<long long>{100, 200, 300}));
    d.dispose();
    s->advanceBy(seconds(1));
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_EQ(s->pendingCount(), 0u);

    // Disposing from inside the work ends it too.
    int count = 0;
    Disposable self;
    self = s->schedulePeriodic(milliseconds(10), [&] {
        if (++count == 2) self.dispose();
    });
    s->advanceBy(seconds(1));
    EXPECT_EQ(count, 2);
}

TEST(Scheduler, PeriodicWorkIsReleasedWithItsScheduler)
{
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> weak = token;
    {
        auto s = VirtualTimeScheduler::make();
        s->schedulePeriodic(seconds(1), [token] {});
        token.reset();
        EXPECT_FALSE(weak.expired());
    }
    EXPECT_TRUE(weak.expired());
}
