#include "platform/sim/scenario.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vandrel {
namespace {

TEST(ScenarioTest, StepsDriveTheKeyboardAndTheClock)
{
    auto clock = rx::VirtualTimeScheduler::make();
    auto sim = SimPlatform::make(clock);
    Scenario s(*sim, clock);
    s.run("ctrl down, #0 tap, wait 0.25, ctrl up,, enter tap");
    EXPECT_EQ(s.passed(), "ctrl flags [ctrl], a down [ctrl], a up [ctrl], ctrl flags, return down, return up");
    EXPECT_EQ(clock->now(), rx::TimePoint{} + rx::milliseconds(250));
    EXPECT_EQ(sim->keyboard().passedEvents()[3].timestamp, rx::TimePoint{} + rx::milliseconds(250));
}

TEST(ScenarioTest, UnreadableStepsAreRefusedByName)
{
    auto sim = SimPlatform::make();
    Scenario s(*sim);
    EXPECT_THROW(s.run("capslok down"), std::invalid_argument);
    EXPECT_THROW(s.run("wait 1"), std::invalid_argument);  // no clock
    EXPECT_THROW(s.run("#70000 down"), std::invalid_argument);
}

TEST(ScenarioTest, KeyNamesReadBackAsTheyAreWritten)
{
    for (std::uint16_t code = 0; code < 130; ++code) {
        const auto name = Scenario::nameOfKeyCode(code);
        EXPECT_EQ(Scenario::keyCodeNamed(name), code) << name;
    }
    EXPECT_EQ(Scenario::keyCodeNamed("alt"), 58);
    EXPECT_EQ(Scenario::describe(KeyEvent{KeyEventType::keyDown, 38, 0x1F0000, true}),
              "j down [ctrl+opt+shift+cmd+caps] (repeat)");
}

}  // namespace
}  // namespace vandrel
