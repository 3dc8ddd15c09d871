#include "app/watchdog.h"

#include <gtest/gtest.h>

#include <vector>

#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;

// Jobs of the main queue as the watchdog sees them: when each was due and when it starts; what it reports.
TEST(Watchdog, ReportsAJobStartedFourTenthsOfASecondLateOncePerStall)
{
    const auto clock = rx::VirtualTimeScheduler::make();
    std::vector<rx::Duration> reports;
    Watchdog watchdog(400ms, clock, [&](rx::Duration late) { reports.push_back(late); });
    const auto t0 = clock->now();
    const auto startJob = [&](rx::Duration dueAt, rx::Duration startsAt) {
        clock->advanceTo(t0 + startsAt);
        watchdog.jobStarting(t0 + dueAt);
    };

    startJob(0ms, 100ms);
    startJob(200ms, 599ms);
    EXPECT_TRUE(reports.empty()) << "a queue that keeps up";

    startJob(1000ms, 1500ms);
    EXPECT_EQ(reports, std::vector<rx::Duration>{500ms});
    startJob(1100ms, 1500ms);
    startJob(1400ms, 1900ms);
    EXPECT_EQ(reports.size(), 1u) << "jobs that queued up during the same stall";

    startJob(2000ms, 2400ms);
    EXPECT_EQ(reports, (std::vector<rx::Duration>{500ms, 400ms})) << "a later stall is reported again";
}

}  // namespace
}  // namespace vandrel
