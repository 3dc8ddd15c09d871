#include "platform/sim/sim_keyboard.h"

#include <gtest/gtest.h>

#include "platform/hid_usage.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

const KeyMappingEntry kCapsToF19{HidUsage::keyboardUsage(HidUsage::capsLock), HidUsage::keyboardUsage(HidUsage::f19)};
const KeyMappingEntry kCapsToCaps{HidUsage::keyboardUsage(HidUsage::capsLock),
                                  HidUsage::keyboardUsage(HidUsage::capsLock)};

struct SimKeyboardTest : ::testing::Test {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    SimKeyboard& keyboard = sim->keyboard();
    Scenario scenario{*sim, clock};
};

TEST_F(SimKeyboardTest, CapsLockSendsF19WhileMappedAndTogglesTheLockOnceUnmapped)
{
    keyboard.setUserKeyMapping({kCapsToF19});
    scenario.run("capslock down, capslock repeat, capslock up");
    EXPECT_EQ(scenario.passed(), "f19 down, f19 down (repeat), f19 up");
    EXPECT_EQ(keyboard.capsLockLockState(), false);

    scenario.clear();
    keyboard.setUserKeyMapping({kCapsToCaps});
    EXPECT_EQ(keyboard.userKeyMapping(), std::vector<KeyMappingEntry>{kCapsToCaps});
    scenario.run("capslock tap, a tap, capslock tap, a tap");
    EXPECT_EQ(scenario.passed(), "capslock flags [caps], a down [caps], a up [caps], capslock flags, a down, a up");
    EXPECT_EQ(keyboard.capsLockLockState(), false);
    EXPECT_EQ(keyboard.userKeyMappingApplyCount(), 2);
}

TEST_F(SimKeyboardTest, KeyReleasedAfterTheMappingChangedKeepsItsPressTimeCode)
{
    keyboard.setUserKeyMapping({kCapsToF19});
    keyboard.press(57);
    keyboard.setUserKeyMapping({kCapsToCaps});
    keyboard.release(57);
    EXPECT_EQ(scenario.passed(), "f19 down, f19 up");
}

TEST_F(SimKeyboardTest, ModifiersMakeFlagsChangedEventsAndFlagTheKeysPressedWithThem)
{
    scenario.run("shift down, rshift down, shift up, cmd down, left tap, rshift up, cmd up, fn tap");
    EXPECT_EQ(scenario.passed(),
              "shift flags [shift], rshift flags [shift], shift flags [shift], cmd flags [shift+cmd], "
              "left down [shift+cmd], left up [shift+cmd], rshift flags [cmd], cmd flags, fn flags [fn], fn flags");
}

TEST_F(SimKeyboardTest, TapsRunInListOrderRewriteAndSwallow)
{
    std::vector<std::string> seen;
    auto tail = keyboard.createTap(
        KeyEventType::keyDown,
        [&](KeyEvent& e) {
            seen.push_back("tail " + Scenario::describe(e));
            return e.keyCode == 0 ? TapResult::swallow : TapResult::pass;
        },
        TapPlacement::tailAppend);
    auto head = keyboard.createTap(KeyEventType::keyDown, [&](KeyEvent& e) {
        seen.push_back("head " + Scenario::describe(e));
        if (e.keyCode == 80) {
            e.keyCode = 57;
            e.flags |= EventFlags::maskAlphaShift;
        }
        return TapResult::pass;
    });
    ASSERT_TRUE(head && tail);
    EXPECT_EQ(keyboard.tapCount(KeyEventType::keyDown), 2u);

    scenario.run("f19 down, a down, a up");
    EXPECT_EQ(seen,
              (std::vector<std::string>{"head f19 down", "tail capslock down [caps]", "head a down", "tail a down"}));
    // The rewritten event reaches the applications; the swallowed one does not; key-ups have no tap.
    EXPECT_EQ(scenario.passed(), "capslock down [caps], a up");

    head.reset();
    EXPECT_EQ(keyboard.tapCount(KeyEventType::keyDown), 1u);
}

TEST_F(SimKeyboardTest, DisabledTapLetsEventsThroughUntouchedUntilEnabled)
{
    int calls = 0;
    auto tap = keyboard.createTap(KeyEventType::flagsChanged, [&](KeyEvent& e) {
        ++calls;
        e.flags = 0;
        return TapResult::swallow;
    });
    keyboard.disableTaps(KeyEventType::flagsChanged);
    EXPECT_FALSE(tap->isEnabled());
    scenario.run("shift down");
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(scenario.passed(), "shift flags [shift]");

    tap->setEnabled(true);
    scenario.run("shift up");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(scenario.passed(), "shift flags [shift]");
}

TEST_F(SimKeyboardTest, SessionPostsBypassTheTapsAndHidPostsRunThroughThem)
{
    int tapped = 0;
    auto tap = keyboard.createTap(KeyEventType::keyDown, [&](KeyEvent&) {
        ++tapped;
        return TapResult::pass;
    });
    clock->advanceBy(rx::seconds(2));
    KeyEvent cmdLeft{KeyEventType::keyDown, 123, EventFlags::maskCommand};
    EXPECT_TRUE(keyboard.postEvent(cmdLeft));
    EXPECT_EQ(tapped, 0);
    EXPECT_TRUE(keyboard.postEvent(KeyEvent{KeyEventType::keyDown, 80, 0}, EventTapLocation::hid));
    EXPECT_EQ(tapped, 1);

    EXPECT_EQ(scenario.posted(), "left down [cmd], hid f19 down");
    EXPECT_EQ(scenario.passed(), "f19 down");
    EXPECT_EQ(keyboard.postedEvents().front().event.timestamp, rx::TimePoint{} + rx::seconds(2));

    keyboard.setPostingFails(true);
    EXPECT_FALSE(keyboard.postEvent(cmdLeft));
    keyboard.clearEvents();
    EXPECT_EQ(scenario.posted(), "");
    EXPECT_EQ(scenario.passed(), "");
}

TEST_F(SimKeyboardTest, RawReportsFollowThePhysicalKeysOnceObserving)
{
    std::vector<HidKeyReport> reports;
    auto sub = keyboard.keyReports().subscribe([&](const HidKeyReport& r) { reports.push_back(r); });
    keyboard.setUserKeyMapping({kCapsToF19});
    scenario.run("capslock tap");
    EXPECT_TRUE(reports.empty());

    ASSERT_TRUE(keyboard.startObservingKeys());
    scenario.run("capslock down, shift down, rshift down, shift up");
    EXPECT_TRUE(keyboard.isPhysicallyDown(57));
    EXPECT_EQ(reports, (std::vector<HidKeyReport>{{7, 0x39, 1}, {7, 0xE1, 1}, {7, 0xE5, 1}, {7, 0xE1, 0}}));
}

TEST_F(SimKeyboardTest, PlatformFailuresAreReportedToTheCaller)
{
    keyboard.setTapCreationFails(true);
    EXPECT_EQ(keyboard.createTap(KeyEventType::keyDown, [](KeyEvent&) { return TapResult::pass; }), nullptr);
    keyboard.setCapsLockStateFails(true);
    EXPECT_EQ(keyboard.capsLockLockState(), std::nullopt);
    EXPECT_FALSE(keyboard.setCapsLockLockState(true));
    keyboard.setKeyObserverOpenFails(true);
    EXPECT_FALSE(keyboard.startObservingKeys());
}

TEST_F(SimKeyboardTest, TypingAndChordsPressShiftWhereNeeded)
{
    keyboard.typeText("Hi!");
    EXPECT_EQ(scenario.passed(),
              "shift flags [shift], h down [shift], h up [shift], shift flags, i down, i up, "
              "shift flags [shift], 1 down [shift], 1 up [shift], shift flags");
    scenario.clear();
    keyboard.chord({VirtualKeyCode::control, VirtualKeyCode::option}, 0);
    EXPECT_EQ(scenario.passed(),
              "ctrl flags [ctrl], option flags [ctrl+opt], a down [ctrl+opt], a up [ctrl+opt], "
              "option flags [ctrl], ctrl flags");
}

}  // namespace
}  // namespace vandrel
