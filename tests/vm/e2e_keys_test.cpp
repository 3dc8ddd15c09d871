// Runs inside the test VM: the real program on the kernel's input stack. One program run serves every test
// here; each test leaves no key down.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

class ProgramKeys : public ProgramSuite<ProgramKeys> {};

TEST_F(ProgramKeys, PlainTypingPassesThroughUnchangedAndInOrder)
{
    // A few characters at a time, read in between: a reader's kernel buffer holds only about 64 events.
    const std::string_view text = "The quick brown fox jumps over 13 lazy dogs.\t{Caps}: \"yes\"!\n";
    std::vector<Key> typed;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const std::string_view chunk = text.substr(at, 4);
        ASSERT_TRUE(keyboard().typeText(chunk));
        const std::vector<Key> keys = keysOf(run().output().readKeyEvents(expectedKeys(chunk).size(), kKeyTimeout));
        typed.insert(typed.end(), keys.begin(), keys.end());
    }
    EXPECT_EQ(typed, expectedKeys(text));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{}) << "nothing more";
    // Modifiers and keys the program has no name for pass as well.
    ASSERT_TRUE(keyboard().chord({KEY_LEFTCTRL, KEY_LEFTALT}, KEY_T));
    ASSERT_TRUE(keyboard().tap(KEY_VOLUMEUP));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), (std::vector<Key>{{KEY_LEFTCTRL, 1},
                                                                      {KEY_LEFTALT, 1},
                                                                      {KEY_T, 1},
                                                                      {KEY_T, 0},
                                                                      {KEY_LEFTALT, 0},
                                                                      {KEY_LEFTCTRL, 0},
                                                                      {KEY_VOLUMEUP, 1},
                                                                      {KEY_VOLUMEUP, 0}}));
    EXPECT_EQ(run().output().droppedEvents(), 0);
}

TEST_F(ProgramKeys, NothingTypedWhileCapsIsHeldReachesApplications)
{
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    // Keys the default layout leaves unbound, a shifted one, and one still down when Caps goes up.
    for (int key : {KEY_Q, KEY_Z, KEY_M, KEY_RIGHTBRACE}) ASSERT_TRUE(keyboard().tap(key));
    ASSERT_TRUE(keyboard().chord({KEY_LEFTSHIFT}, KEY_Q));
    ASSERT_TRUE(keyboard().press(KEY_BACKSLASH));
    run().runActionInHold(keyboard());
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().release(KEY_BACKSLASH));
    // Only the action's stroke came out.
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});

    // Afterwards typing is plain again.
    ASSERT_TRUE(keyboard().typeText("qz"));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), expectedKeys("qz"));
}

TEST_F(ProgramKeys, ShiftHeldBeforeCapsAndReleasedDuringTheHoldIsReleasedOnTheOutput)
{
    ASSERT_TRUE(keyboard().press(KEY_LEFTSHIFT));
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().release(KEY_LEFTSHIFT));
    // Still holding Caps: Shift must already be up for applications.
    EXPECT_EQ(keysOf(run().output().readKeyEvents(2, kKeyTimeout)),
              (std::vector<Key>{{KEY_LEFTSHIFT, 1}, {KEY_LEFTSHIFT, 0}}));
    EXPECT_FALSE(run().output().isKeyDown(KEY_LEFTSHIFT));
    // The hold goes on as usual: Caps+E is a plain Up, with no Shift left over.
    run().runActionInHold(keyboard());
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});
}

TEST_F(ProgramKeys, ASecondKeyboardPluggedInLaterIsTakenOverToo)
{
    Result<UinputKeyboard> second = plugKeyboard("Vandrel E2E Second Keyboard");
    ASSERT_TRUE(second) << second.error();
    Result<InputDevice> node = InputDevice::waitForName(second->name(), kKeyTimeout);
    ASSERT_TRUE(node) << node.error();
    ASSERT_TRUE(run().waitForOutputCount("Keyboard grabbed -> " + second->name(), 1)) << run().log();
    Result<bool> grabbed = node->isGrabbedByOther();
    ASSERT_TRUE(grabbed) << grabbed.error();
    EXPECT_TRUE(grabbed.value());

    // Its keys come out of the program's keyboard, and its Caps Lock is the program's too.
    ASSERT_TRUE(second->typeText("hot"));
    EXPECT_EQ(run().keysBeforeSentinel(*second), expectedKeys("hot"));
    ASSERT_TRUE(second->press(KEY_CAPSLOCK));
    ASSERT_TRUE(second->tap(KEY_Q));
    run().runActionInHold(*second);
    ASSERT_TRUE(second->release(KEY_CAPSLOCK));
    EXPECT_EQ(run().keysBeforeSentinel(*second), std::vector<Key>{});

    // Unplugged again, the first keyboard goes on working.
    second = Result<UinputKeyboard>::failure("unplugged");
    ASSERT_TRUE(keyboard().typeText("ok"));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), expectedKeys("ok"));
}

TEST_F(ProgramKeys, KeyLatencyThroughTheProgram)
{
    // From a write on the physical keyboard to the event on the program's keyboard, 10,000 events. Printed
    // only: the figure depends on the machine and the emulator.
    constexpr int kEvents = 10'000;
    const KeyLatency latency = measureKeyLatency(keyboard(), run().output(), kEvents, kKeyTimeout);
    ASSERT_EQ(latency.lost, 0) << "events missing or out of order";
    const double median = latency.median();
    const double p99 = latency.p99();
    std::cout << "physical keyboard -> program -> output keyboard over " << latency.micros.size() << " events: median "
              << median << " us, p99 " << p99 << " us, max " << latency.max() << " us" << std::endl;
    RecordProperty("latency_median_us", std::to_string(median));
    RecordProperty("latency_p99_us", std::to_string(p99));
}

}  // namespace
}  // namespace vandrel::vmtest
