// The platform services over the input backend: posting with idiom translation, recorded keys, the key
// mapping in HID usages, and the Caps Lock lock state.
#include <gtest/gtest.h>

#include "input_rig.h"
#include "platform/hid_usage.h"
#include "platform/linux/input/linux_event_tap_service.h"
#include "platform/linux/input/linux_hid_keyboard.h"
#include "platform/linux/input/uinput_writer.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;
using Strings = std::vector<std::string>;

struct Services {
    InputRig rig;
    std::shared_ptr<InputBackend> backend;
    bool terminal = false;
    int terminalQueries = 0;
    std::unique_ptr<LinuxEventTapService> taps;

    Services()
    {
        // The services share the rig's backend.
        backend = std::shared_ptr<InputBackend>(rig.backend.get(), [](InputBackend*) {});
        taps = std::make_unique<LinuxEventTapService>(backend, [this] {
            ++terminalQueries;
            return terminal;
        });
    }

    void stroke(std::uint16_t keyCode, std::uint64_t flags)
    {
        taps->postEvent({KeyEventType::keyDown, keyCode, flags});
        taps->postEvent({KeyEventType::keyUp, keyCode, flags});
    }
};

class FakeIndicator final : public InputCapsLockIndicator {
public:
    std::optional<bool> locked = false;
    bool settable = true;
    std::optional<bool> isLocked() override { return locked; }
    bool setLocked(bool on) override
    {
        if (settable) locked = on;
        return settable;
    }
};

TEST(InputLinuxServices, PostedIdiomsInANormalAndATerminalLikeApplication)
{
    Services s;
    // Command+C from the actions, with the Command key events that accompany it.
    s.taps->postEvent({KeyEventType::keyDown, 55, 0});
    s.stroke(8, EventFlags::maskCommand);
    s.taps->postEvent({KeyEventType::keyUp, 55, 0});
    s.rig.pump();
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_LEFTCTRL down", "KEY_C down", "KEY_C up", "KEY_LEFTCTRL up"}));

    s.terminal = true;
    s.stroke(9, EventFlags::maskCommand);
    s.rig.pump();
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_LEFTSHIFT down", "KEY_LEFTCTRL down", "KEY_V down", "KEY_V up",
                                       "KEY_LEFTSHIFT up", "KEY_LEFTCTRL up"}));

    // Line movement does not depend on the application, so nobody is asked.
    const int queries = s.terminalQueries;
    s.stroke(123, EventFlags::maskCommand | EventFlags::maskShift);
    s.rig.pump();
    EXPECT_EQ(s.terminalQueries, queries);
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_LEFTSHIFT down", "KEY_HOME down", "KEY_HOME up", "KEY_LEFTSHIFT up"}));

    // A key-up releases what its key-down pressed, even when the frontmost application changed between.
    s.terminal = false;
    s.taps->postEvent({KeyEventType::keyDown, 8, EventFlags::maskCommand});
    s.terminal = true;
    s.taps->postEvent({KeyEventType::keyUp, 8, EventFlags::maskCommand});
    s.rig.clock->advanceBy(UinputWriter::strokeInterval);
    s.rig.pump();
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_LEFTCTRL down", "KEY_C down", "KEY_C up", "KEY_LEFTCTRL up"}));
}

TEST(InputLinuxServices, PostingAroundPhysicallyHeldModifiers)
{
    Services s;
    auto recorder = s.rig.record();
    s.rig.source->press(kKeyboard, KEY_LEFTSHIFT);
    s.rig.source->press(kKeyboard, KEY_RIGHTALT);
    s.rig.pump();
    std::vector<input_event> seen = s.rig.rawOutput();
    s.stroke(124, EventFlags::maskAlternate);  // word right: Ctrl+Right, nothing else held
    s.rig.pump();
    // Right Alt went down last, with nothing after it: a guard tap comes before it goes up. Both go down again
    // after the stroke, as the user still holds them, and Right Alt, alone since, gets a guard tap before its
    // release.
    const std::vector<input_event> stroke = s.rig.rawOutput();
    EXPECT_EQ(
        testing::describeKeys(stroke),
        (Strings{"KEY_UNKNOWN down", "KEY_UNKNOWN up", "KEY_LEFTSHIFT up", "KEY_RIGHTALT up", "KEY_LEFTCTRL down",
                 "KEY_RIGHT down", "KEY_RIGHT up", "KEY_LEFTCTRL up", "KEY_LEFTSHIFT down", "KEY_RIGHTALT down"}));
    s.rig.source->release(kKeyboard, KEY_RIGHTALT);
    s.rig.source->release(kKeyboard, KEY_LEFTSHIFT);
    s.rig.pump();
    const std::vector<input_event> released = s.rig.rawOutput();
    EXPECT_EQ(testing::describeKeys(released),
              (Strings{"KEY_UNKNOWN down", "KEY_UNKNOWN up", "KEY_RIGHTALT up", "KEY_LEFTSHIFT up"}));
    seen.insert(seen.end(), stroke.begin(), stroke.end());
    seen.insert(seen.end(), released.begin(), released.end());
    EXPECT_EQ(testing::loneModifierTaps(seen), Strings{});

    // A lone tap the user types goes out as typed.
    s.rig.source->tap(kKeyboard, KEY_LEFTMETA);
    s.rig.pump();
    EXPECT_EQ(testing::loneModifierTaps(s.rig.rawOutput()), Strings{"KEY_LEFTMETA"});
}

TEST(InputLinuxServices, RecordedKeysArePostedAsRecorded)
{
    Services s;
    s.taps->postRecordedEvent({KeyEventType::keyDown, 8, EventFlags::maskCommand});
    s.taps->postRecordedEvent({KeyEventType::keyUp, 8, EventFlags::maskCommand});
    s.rig.pump();
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_LEFTMETA down", "KEY_C down", "KEY_C up", "KEY_LEFTMETA up"}));
    EXPECT_FALSE(s.taps->postEvent({KeyEventType::keyDown, 313, 0}));
    EXPECT_TRUE(s.taps->postEvent({KeyEventType::keyDown, 55, 0}));  // nothing to write, nothing wrong
}

TEST(InputLinuxServices, PostingAtTheHidLocationRunsThroughTheTaps)
{
    Services s;
    auto recorder = s.rig.record([](KeyEvent& e) { return e.keyCode == 11 ? TapResult::swallow : TapResult::pass; });
    s.taps->postEvent({KeyEventType::keyDown, 11, 0}, EventTapLocation::hid);
    s.taps->postEvent({KeyEventType::keyDown, 0, 0}, EventTapLocation::hid);
    s.rig.pump();
    EXPECT_EQ(recorder->seen.size(), 2u);
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_A down"}));
}

TEST(InputLinuxServices, KeyMappingInUsagesAndTheLockState)
{
    Services s;
    auto indicator = std::make_unique<FakeIndicator>();
    auto* fake = indicator.get();
    LinuxHidKeyboard hid(s.backend, std::move(indicator));
    auto recorder = s.rig.record();

    hid.setUserKeyMapping({{HidUsage::keyboardUsage(HidUsage::capsLock), HidUsage::keyboardUsage(HidUsage::f19)}});
    s.rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    s.rig.pump();
    ASSERT_EQ(recorder->seen.size(), 2u);
    EXPECT_EQ(recorder->seen[0].keyCode, 80);
    hid.setUserKeyMapping({{HidUsage::keyboardUsage(HidUsage::capsLock), HidUsage::keyboardUsage(HidUsage::capsLock)}});
    recorder->seen.clear();
    s.rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    s.rig.pump();
    ASSERT_EQ(recorder->seen.size(), 1u);
    EXPECT_EQ(recorder->seen[0].keyCode, 57);
    s.rig.output();

    // The desktop's lock when it has one.
    EXPECT_EQ(hid.capsLockLockState(), false);
    EXPECT_TRUE(hid.setCapsLockLockState(true));
    EXPECT_EQ(fake->locked, true);
    s.rig.pump();
    EXPECT_TRUE(s.rig.output().empty());

    // Otherwise the keyboard light tells, and Caps Lock is typed when it must change.
    fake->locked = std::nullopt;
    fake->settable = false;
    EXPECT_EQ(hid.capsLockLockState(), std::nullopt);
    EXPECT_FALSE(hid.setCapsLockLockState(true));
    s.rig.source->setCapsLed(kKeyboard, false);
    EXPECT_EQ(hid.capsLockLockState(), false);
    EXPECT_TRUE(hid.setCapsLockLockState(false));
    s.rig.pump();
    EXPECT_TRUE(s.rig.output().empty());
    EXPECT_TRUE(hid.setCapsLockLockState(true));
    s.rig.pump();
    EXPECT_EQ(s.rig.output(), (Strings{"KEY_CAPSLOCK down", "KEY_CAPSLOCK up"}));
}

TEST(InputLinuxServices, ObservingKeysNeedsAKeyboard)
{
    Services s;
    LinuxHidKeyboard hid(s.backend, nullptr);
    EXPECT_TRUE(hid.startObservingKeys());

    InputRig empty(InputRig::Setup{.keyboard = false});
    LinuxHidKeyboard none(std::shared_ptr<InputBackend>(empty.backend.get(), [](InputBackend*) {}), nullptr);
    EXPECT_FALSE(none.startObservingKeys());
}

}  // namespace
}  // namespace vandrel
