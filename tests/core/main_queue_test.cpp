#include "core/main_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"

using namespace vandrel;

namespace {

// Runs the event loop until done() holds, for a bounded number of turns; a ticking timer wakes each turn.
template <class Pred>
bool pumpUntil(Pred done, int maxTurns = 2000)
{
    QTimer tick;
    tick.start(10);
    for (int i = 0; i < maxTurns && !done(); ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

}  // namespace

TEST(MainQueue, JobsFromAWorkerThreadRunOnTheMainThreadInOrder)
{
    ASSERT_TRUE(MainQueue::isMainThread());
    auto main = MainQueue::shared();
    std::vector<int> order;
    std::atomic<bool> offMain{false};
    std::string label;
    std::thread worker([&] {
        EXPECT_FALSE(MainQueue::isMainThread());
        for (int i = 0; i < 100; ++i)
            main->async([&, i] {
                if (!MainQueue::isMainThread()) offMain = true;
                order.push_back(i);
                label = std::string(currentThreadLabel());
            });
    });
    worker.join();
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 100; }));
    for (int i = 0; i < 100; ++i) ASSERT_EQ(order[i], i);
    EXPECT_FALSE(offMain.load());
    EXPECT_EQ(label, "main");
}

TEST(MainQueue, AJobNeverRunsInsideTheCallThatQueuedItAndCanBeCancelled)
{
    auto main = MainQueue::shared();
    std::vector<std::string> order;
    main->async([&] { order.push_back("first"); });
    auto cancelled = main->async([&] { order.push_back("cancelled"); });
    auto later = main->asyncAfter(std::chrono::hours(1), [&] { order.push_back("later"); });
    main->asyncAfter(rx::Duration::zero(), [&] {
        order.push_back("second");
        // Queued from a running job: it waits for a later turn.
        main->async([&] { order.push_back("nested"); });
        EXPECT_EQ(order.back(), "second");
    });
    EXPECT_TRUE(order.empty());
    cancelled.dispose();
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "nested"}));
    later.dispose();

    // The observer hears of each job, with the time it was due, just before it runs.
    std::vector<std::string> seen;
    rx::TimePoint dueSeen{};
    main->setJobObserver([&](rx::TimePoint due) {
        seen.push_back("observed");
        dueSeen = due;
    });
    const rx::TimePoint queuedAt = main->now();
    main->asyncAfter(rx::milliseconds(1), [&] {
        order.push_back("due");
        seen.push_back("ran");
    });
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 4; }));
    main->setJobObserver(nullptr);
    EXPECT_EQ(order.back(), "due");
    EXPECT_EQ(seen, (std::vector<std::string>{"observed", "ran"}));
    EXPECT_GE(dueSeen, queuedAt + rx::milliseconds(1));
}

TEST(MainQueue, SyncFromAWorkerWaitsForTheMainThread)
{
    auto main = MainQueue::shared();
    EXPECT_EQ(main->sync([] { return 5; }), 5);  // on the main thread: at once
    std::atomic<int> result{0};
    std::atomic<bool> threw{false};
    std::thread worker([&] {
        result = main->sync([] { return MainQueue::isMainThread() ? 1 : -1; });
        try {
            main->sync([] { throw std::runtime_error("x"); });
        } catch (const std::runtime_error&) {
            threw = true;
        }
    });
    ASSERT_TRUE(pumpUntil([&] { return threw.load(); }));
    worker.join();
    EXPECT_EQ(result.load(), 1);
}
