#include "core/serial_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/log.h"
#include "rx/operators.h"
#include "rx/subjects.h"

using namespace vandrel;

namespace {

// Waits (without sleeping) until `count` signals arrived; false after a generous bound.
class Signal {
public:
    void notify()
    {
        std::lock_guard lock(mutex_);
        ++count_;
        cv_.notify_all();
    }
    bool waitFor(int count)
    {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return count_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_ = 0;
};

}  // namespace

TEST(SerialQueue, RunsJobsOneAtATimeInQueueOrderFromAnyThread)
{
    auto queue = SerialQueue::make("test.serial");
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    auto job = [&](int v) {
        return [&, v] {
            if (inside.fetch_add(1) != 0) overlapped = true;
            order.push_back(v);
            inside.fetch_sub(1);
        };
    };
    for (int i = 0; i < 500; ++i) queue->async(job(i));
    std::vector<std::thread> producers;
    std::atomic<int> extra{0};
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&] {
            for (int i = 0; i < 250; ++i)
                queue->async([&] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    ++extra;
                    inside.fetch_sub(1);
                });
        });
    for (auto& p : producers) p.join();
    queue->sync([] {});
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(order[i], i);
    EXPECT_EQ(extra.load(), 1000);
    EXPECT_FALSE(overlapped.load());
}

TEST(SerialQueue, DelayedJobsWaitForTheirDeadlineAndCanBeCancelled)
{
    auto queue = SerialQueue::make("test.delayed");
    std::vector<std::string> order;
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> released = token;
    auto later = queue->asyncAfter(std::chrono::hours(1), [&, token] { order.push_back("later"); });
    token.reset();
    queue->async([&] { order.push_back("now"); });  // not held up by the delayed job queued before it
    queue->sync([] {});
    EXPECT_EQ(order, std::vector<std::string>{"now"});
    later.dispose();
    EXPECT_TRUE(released.expired());  // cancelling lets go of the job at once

    Signal done;
    queue->asyncAfter(rx::milliseconds(1), [&] {
        order.push_back("due");
        done.notify();
    });
    ASSERT_TRUE(done.waitFor(1));
    EXPECT_EQ(order, (std::vector<std::string>{"now", "due"}));
}

TEST(SerialQueue, SyncReturnsResultsRethrowsAndRunsInlineOnItsOwnThread)
{
    auto queue = SerialQueue::make("tqm.Vandrel.test");
    EXPECT_EQ(queue->label(), "tqm.Vandrel.test");
    EXPECT_EQ(queue->sync([] { return 41 + 1; }), 42);
    EXPECT_THROW(queue->sync([]() -> int { throw std::runtime_error("x"); }), std::runtime_error);
    const auto [nested, label, current] = queue->sync([&] {
        return std::make_tuple(queue->sync([] { return 7; }), std::string(currentThreadLabel()), queue->isCurrent());
    });
    EXPECT_EQ(nested, 7);
    EXPECT_EQ(label, "tqm.Vandrel.test");
    EXPECT_TRUE(current);
    EXPECT_FALSE(queue->isCurrent());
}

TEST(SerialQueue, AFailingJobIsLoggedAndTheQueueGoesOn)
{
    auto queue = SerialQueue::make("test.failing");
    queue->async([] { throw std::runtime_error("job failed"); });
    EXPECT_EQ(queue->sync([] { return 1; }), 1);
}

TEST(SerialQueue, DestructionRunsDueJobsDropsLaterOnesAndMayHappenOnItsOwnThread)
{
    std::atomic<int> ran{0};
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> weak = token;
    {
        auto queue = SerialQueue::make("test.shutdown");
        queue->async([&] { ++ran; });
        queue->asyncAfter(std::chrono::hours(1), [&, token] { ran += 100; });
        token.reset();
    }  // does not wait an hour
    EXPECT_EQ(ran.load(), 1);
    EXPECT_TRUE(weak.expired());

    Signal released, done;
    {
        auto queue = SerialQueue::make("test.selfrelease");
        queue->async([q = queue, &released, &done]() mutable {
            released.waitFor(1);
            q.reset();  // the last owner lets go on the queue's own thread
            done.notify();
        });
    }
    released.notify();
    EXPECT_TRUE(done.waitFor(1));
}

TEST(SerialQueue, ObserveOnDeliversOnTheQueueThreadInOrder)
{
    auto queue = SerialQueue::make("test.observe");
    rx::PublishSubject<int> subject;
    std::vector<int> seen;
    std::atomic<bool> offQueue{false};
    Signal completed;
    auto d = (subject | rx::observeOn(queue))
                 .subscribe(
                     [&](int v) {
                         if (!queue->isCurrent()) offQueue = true;
                         seen.push_back(v);
                     },
                     {}, [&] { completed.notify(); });
    for (int i = 0; i < 1000; ++i) subject.onNext(i);
    subject.onCompleted();
    ASSERT_TRUE(completed.waitFor(1));
    EXPECT_FALSE(offQueue.load());
    ASSERT_EQ(seen.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(seen[i], i);
}
