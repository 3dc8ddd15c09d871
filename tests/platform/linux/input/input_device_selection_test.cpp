// Which devices the backend takes over, and grabs that meet a device another program holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "input_rig.h"
#include "platform/linux/input/input_device_kind.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;

InputDeviceCapabilities mouse()
{
    auto d = InputDeviceCapabilities::keysOnly({BTN_LEFT, BTN_RIGHT, BTN_MIDDLE});
    d.types.set(EV_REL);
    d.relative.set(REL_X).set(REL_Y).set(REL_WHEEL);
    return d;
}

InputDeviceCapabilities keypad()
{
    return InputDeviceCapabilities::keysOnly({KEY_NUMLOCK, KEY_KP0, KEY_KP1, KEY_KP2, KEY_KP3, KEY_KP4, KEY_KP5,
                                              KEY_KP6, KEY_KP7, KEY_KP8, KEY_KP9, KEY_KPENTER, KEY_KPPLUS, KEY_KPMINUS,
                                              KEY_KPDOT, KEY_BACKSPACE});
}

// The second node of a keyboard: its extra keys, here the navigation block and the upper function keys.
InputDeviceCapabilities secondNode()
{
    return InputDeviceCapabilities::keysOnly(
        {KEY_HOME, KEY_END, KEY_PAGEUP, KEY_PAGEDOWN, KEY_F13, KEY_F14, KEY_F15, KEY_VOLUMEUP, KEY_MUTE});
}

TEST(InputDeviceKind, KeyboardPartsAreTakenAndEverythingElseLeftOutWithItsReason)
{
    EXPECT_EQ(judgeInputDevice(InputDeviceCapabilities::fullKeyboard()).what,
              "letters, digits, keypad, editing keys, function keys");
    EXPECT_EQ(judgeInputDevice(keypad()).what, "keypad, editing keys");
    EXPECT_TRUE(judgeInputDevice(keypad()).take);
    EXPECT_TRUE(judgeInputDevice(secondNode()).take);
    EXPECT_TRUE(judgeInputDevice(InputDeviceCapabilities::keysOnly({KEY_F13, KEY_F14, KEY_F15})).take)  // macro pad
        << "function keys only";

    struct Case {
        const char* name;
        InputDeviceCapabilities device;
        const char* why;
    };
    auto touchpad = InputDeviceCapabilities::keysOnly({BTN_LEFT, BTN_TOOL_FINGER, BTN_TOUCH});
    touchpad.types.set(EV_ABS);
    touchpad.absolute.set(ABS_X).set(ABS_Y);
    touchpad.properties.set(INPUT_PROP_POINTER);
    auto gamepad = InputDeviceCapabilities::keysOnly({BTN_SOUTH, BTN_EAST, BTN_START, KEY_ENTER});
    gamepad.absolute.set(ABS_X);
    auto comboWithPointer = InputDeviceCapabilities::fullKeyboard();
    comboWithPointer.relative.set(REL_X).set(REL_Y);
    auto lid = InputDeviceCapabilities::keysOnly({KEY_F20, KEY_MICMUTE});
    lid.types.set(EV_SW);
    auto ours = InputDeviceCapabilities::fullKeyboard();
    ours.ours = true;
    InputDeviceCapabilities noKeys;
    noKeys.types.set(EV_SYN).set(EV_SND);
    const Case cases[] = {
        {"mouse", mouse(), "a pointer"},
        {"touchpad", touchpad, "a touchpad"},
        {"game pad", gamepad, "a joystick or game pad"},
        {"keyboard with a pointer", comboWithPointer, "a pointer"},
        {"hotkeys with a tablet switch", lid, "a device with switches (lid, tablet mode, jack)"},
        {"power button", InputDeviceCapabilities::keysOnly({KEY_POWER}), "no keyboard keys (buttons only)"},
        {"video bus", InputDeviceCapabilities::keysOnly({KEY_BRIGHTNESSUP, KEY_BRIGHTNESSDOWN, KEY_SWITCHVIDEOMODE}),
         "no keyboard keys (buttons only)"},
        {"our own keyboard", ours, "our own virtual keyboard"},
        {"speaker", noKeys, "no keys"},
    };
    for (const auto& c : cases) {
        const auto verdict = judgeInputDevice(c.device);
        EXPECT_FALSE(verdict.take) << c.name;
        EXPECT_EQ(verdict.what, c.why) << c.name;
    }
}

constexpr const char* kKeypad = "/dev/input/event4";
constexpr const char* kSecondNode = "/dev/input/event5";
constexpr const char* kMouse = "/dev/input/event6";

std::vector<std::uint16_t> keyDowns(const InputRig::Recorder& recorder)
{
    std::vector<std::uint16_t> codes;
    for (const auto& e : recorder.seen)
        if (e.type == KeyEventType::keyDown) codes.push_back(e.keyCode);
    return codes;
}

TEST(InputBackend, AKeypadAndASecondNodeAreTakenOverAndAMouseIsNot)
{
    // The keypad and the mouse are there at start; the second node comes by hotplug.
    InputRig::Setup setup;
    setup.devices = [](testing::FakeKeyboardSource& source) {
        source.addNode(kKeypad, false, 0, true, keypad());
        source.addNode(kMouse, false, 0, true, mouse());
    };
    InputRig rig(setup);
    auto recorder = rig.record([](KeyEvent&) { return TapResult::swallow; });
    rig.source->addNode(kSecondNode, true, 0, true, secondNode());
    rig.pump();

    EXPECT_EQ(rig.backend->keyboardCount(), 3u);
    auto grabbed = rig.backend->grabbedPaths();
    std::sort(grabbed.begin(), grabbed.end());
    EXPECT_EQ(grabbed, (std::vector<std::string>{kKeyboard, kKeypad, kSecondNode}));
    EXPECT_FALSE(rig.source->isGrabbed(kMouse));
    EXPECT_EQ(rig.source->grabAttempts(kMouse), 0);

    // Their keys reach the taps, which can swallow them: nothing leaks to the output.
    rig.source->tap(kKeypad, KEY_KP1);
    rig.source->tap(kSecondNode, KEY_PAGEDOWN);
    rig.source->tap(kSecondNode, KEY_F13);
    rig.pump();
    EXPECT_EQ(keyDowns(*recorder), (std::vector<std::uint16_t>{83, 121, 105}));
    EXPECT_EQ(rig.output(), std::vector<std::string>{});
    // A key the program cannot name still passes when the taps let everything pass.
    recorder->decide = nullptr;
    rig.source->tap(kSecondNode, KEY_MUTE);
    rig.pump();
    EXPECT_EQ(rig.output(), (std::vector<std::string>{"KEY_MUTE down", "KEY_MUTE up"}));

    // A pointer plugged in later is left alone too.
    rig.source->addNode("/dev/input/event9", true, 0, true, mouse());
    rig.pump();
    EXPECT_EQ(rig.backend->keyboardCount(), 3u);
}

// The main keyboard, and a keypad another program holds at start.
InputRig::Setup keypadHeldByAnotherProgram()
{
    InputRig::Setup setup;
    setup.devices = [](testing::FakeKeyboardSource& source) {
        source.addNode(kKeypad, false, 0, true, keypad());
        source.setBusy(kKeypad, true);
    };
    return setup;
}

TEST(InputBackend, AKeyboardAnotherProgramHoldsIsGrabbedOnceItIsLetGo)
{
    InputRig rig(keypadHeldByAnotherProgram());
    auto recorder = rig.record([](KeyEvent&) { return TapResult::swallow; });
    EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));  // the others are not held up
    EXPECT_FALSE(rig.source->isGrabbed(kKeypad));
    EXPECT_EQ(rig.source->grabAttempts(kKeypad), 1);

    // Tried again with growing delays: 100 ms, 200, 400, 800, 1600, 3200, then every 5 s.
    for (int i = 0; i < 100; ++i) {
        rig.clock->advanceBy(rx::milliseconds(100));
        rig.pump();
    }
    EXPECT_EQ(rig.source->grabAttempts(kKeypad), 7);
    // A key typed on it meanwhile goes to whoever holds it, not through our taps.
    rig.source->tap(kKeypad, KEY_KP5);
    rig.pump();
    EXPECT_TRUE(keyDowns(*recorder).empty());

    rig.source->setBusy(kKeypad, false);
    for (int i = 0; i < 50 && !rig.source->isGrabbed(kKeypad); ++i) {
        rig.clock->advanceBy(rx::milliseconds(100));
        rig.pump();
    }
    EXPECT_TRUE(rig.source->isGrabbed(kKeypad));
    rig.source->tap(kKeypad, KEY_KP5);
    rig.pump();
    EXPECT_EQ(keyDowns(*recorder), (std::vector<std::uint16_t>{87}));
}

TEST(InputBackend, AKeyboardHeldForAMinuteIsLeftToItsHolderUntilTheGrabsAreRenewed)
{
    InputRig rig(keypadHeldByAnotherProgram());
    auto recorder = rig.record();
    for (int i = 0; i < 70; ++i) {
        rig.clock->advanceBy(rx::seconds(1));
        rig.pump();
    }
    const int attempts = rig.source->grabAttempts(kKeypad);
    EXPECT_LE(attempts, 20);
    rig.clock->advanceBy(rx::seconds(60));
    rig.pump();
    EXPECT_EQ(rig.source->grabAttempts(kKeypad), attempts);  // given up
    rig.source->setBusy(kKeypad, false);
    rig.clock->advanceBy(rx::seconds(60));
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeypad));

    // Taps made again (the engine restarting them) try afresh.
    recorder.reset();
    rig.pump();
    auto again = rig.record();
    EXPECT_TRUE(rig.source->isGrabbed(kKeypad));
}

}  // namespace
}  // namespace vandrel
