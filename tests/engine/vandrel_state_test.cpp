#include "engine/vandrel_state.h"

#include <gtest/gtest.h>

#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

TEST(VandrelState, StartsWithNoActionAsLastAction)
{
    VandrelState state(rx::VirtualTimeScheduler::make());
    // Before the catalogue registers "noAction" a stand-in of that name, the same one each time.
    ASSERT_NE(state.lastExecAction(), nullptr);
    EXPECT_EQ(state.lastExecAction()->idName(), "noAction");
    EXPECT_EQ(state.lastExecAction(), state.lastExecAction());

    auto noAction = VDAction::make("noAction", "No Action", VDActionGroup::noGroup)->appendToQueryDisc();
    EXPECT_EQ(state.lastExecAction(), noAction);
    auto other = VDAction::make("other", "Other", VDActionGroup::noGroup);
    state.setLastExecAction(other);
    EXPECT_EQ(state.lastExecAction(), other);
}

TEST(VandrelState, PressTimeAndResetTouchOnlyTheirOwnFields)
{
    auto clock = rx::VirtualTimeScheduler::make();
    VandrelState state(clock);
    clock->advanceBy(rx::seconds(5));
    state.updateLastPressedTime();
    EXPECT_DOUBLE_EQ(state.getPressingTimeInterval(), 0.0);
    clock->advanceBy(rx::milliseconds(250));
    EXPECT_NEAR(state.getPressingTimeInterval(), 0.25, 1e-9);

    state.setIsCapsDown(true);
    state.setHasRunAnyVdrAction(true);
    const auto last = state.lastExecAction();
    const auto pressed = state.lastPressedTime();
    state.resetStateWhileCapsUp();
    EXPECT_FALSE(state.hasRunAnyVdrAction());
    EXPECT_TRUE(state.isCapsDown());
    EXPECT_EQ(state.lastPressedTime(), pressed);
    EXPECT_EQ(state.lastExecAction(), last);
}

}  // namespace
}  // namespace vandrel
