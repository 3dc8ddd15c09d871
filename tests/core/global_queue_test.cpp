#include "core/global_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace vandrel;

TEST(GlobalQueue, JobsMayRunAtTheSameTime)
{
    EXPECT_EQ(GlobalQueue::shared(), GlobalQueue::shared());
    // Workers start as jobs arrive: two jobs queued back to back, and a job that queues another and waits for it,
    // can only finish when they run side by side.
    GlobalQueue queue(2, "test.side");
    std::mutex mutex;
    std::condition_variable cv;
    int arrived = 0, finished = 0;
    bool bothMet = true;
    for (int i = 0; i < 2; ++i)
        queue.async([&] {
            std::unique_lock lock(mutex);
            ++arrived;
            cv.notify_all();
            if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return arrived == 2; })) bothMet = false;
            ++finished;
            cv.notify_all();
        });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return finished == 2; }));
    EXPECT_TRUE(bothMet);
    lock.unlock();

    bool inner = false, outer = false;
    queue.async([&] {
        queue.async([&] {
            std::lock_guard guard(mutex);
            inner = true;
            cv.notify_all();
        });
        std::unique_lock wait(mutex);
        outer = cv.wait_for(wait, std::chrono::seconds(10), [&] { return inner; });
        cv.notify_all();
    });
    lock.lock();
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return outer; }));
}

TEST(GlobalQueue, EveryJobRunsOnAPoolThreadAndCancelledOnesDoNot)
{
    GlobalQueue queue(3, "test.pool");
    std::mutex mutex;
    std::condition_variable cv;
    int done = 0;
    std::atomic<int> offPool{0};
    std::atomic<bool> cancelledRan{false};
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> released = token;
    auto cancelled = queue.asyncAfter(std::chrono::hours(1), [&, token] { cancelledRan = true; });
    token.reset();
    cancelled.dispose();
    EXPECT_TRUE(released.expired());  // cancelling lets go of the job at once
    for (int i = 0; i < 200; ++i)
        queue.async([&] {
            if (!queue.isCurrent()) ++offPool;
            std::lock_guard lock(mutex);
            ++done;
            cv.notify_all();
        });
    queue.asyncAfter(rx::milliseconds(3), [&] {
        std::lock_guard lock(mutex);
        done += 1000;
        cv.notify_all();
    });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done == 1200; }));
    EXPECT_EQ(offPool.load(), 0);
    EXPECT_FALSE(cancelledRan.load());
}
