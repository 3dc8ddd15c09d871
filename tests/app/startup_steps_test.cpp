#include "app/startup_steps.h"

#include <gtest/gtest.h>

#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;

TEST(StartupSteps, SummaryListsEachStepsDurationInTheOrderTheyRan)
{
    const auto clock = rx::VirtualTimeScheduler::make();
    StartupSteps steps(clock);
    steps.measure("database", [&] { clock->advanceBy(2500us); });
    steps.measure("tray menu", [] {});
    steps.add("engine start", 41ms);
    EXPECT_EQ(steps.summary(), "database 2.5 ms, tray menu 0.0 ms, engine start 41.0 ms");
    ASSERT_EQ(steps.steps().size(), 3u);
    EXPECT_EQ(steps.steps()[0].duration, 2500us);

    // This test process was exec'd a moment ago, not before the machine booted.
    const auto since = StartupSteps::sinceExec();
    ASSERT_TRUE(since);
    EXPECT_GE(*since, rx::Duration::zero());
    EXPECT_LT(*since, std::chrono::hours(1));
}

}  // namespace
}  // namespace vandrel
