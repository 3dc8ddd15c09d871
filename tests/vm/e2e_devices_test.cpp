// Runs inside the test VM: which devices the real program takes over on the kernel's input stack. A separate
// numeric keypad is a keyboard part: taken, and its keys reach the command layer; a mouse is left alone.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

class ProgramDevices : public ProgramSuite<ProgramDevices> {};

Result<UinputKeyboard> plugDevice(std::string_view name, UinputKeyboard::Options options)
{
    return UinputKeyboard::create(
        DeviceIdentity{name, kPhysicalKeyboard.bustype, kPhysicalKeyboard.vendor, kPhysicalKeyboard.product},
        std::move(options));
}

TEST_F(ProgramDevices, ASeparateKeypadIsTakenOverAndItsKeysReachTheCommandLayer)
{
    UinputKeyboard::Options keypadKeys;
    keypadKeys.keys = {KEY_NUMLOCK, KEY_KP0,    KEY_KP1,     KEY_KP2,        KEY_KP3,     KEY_KP4,
                       KEY_KP5,     KEY_KP6,    KEY_KP7,     KEY_KP8,        KEY_KP9,     KEY_KPDOT,
                       KEY_KPENTER, KEY_KPPLUS, KEY_KPMINUS, KEY_KPASTERISK, KEY_KPSLASH, KEY_BACKSPACE};
    Result<UinputKeyboard> keypad = plugDevice("Vandrel E2E Keypad", keypadKeys);
    ASSERT_TRUE(keypad) << keypad.error();
    Result<InputDevice> node = InputDevice::waitForName(keypad->name(), kKeyTimeout);
    ASSERT_TRUE(node) << node.error();
    ASSERT_TRUE(run().waitForOutputCount("Keyboard grabbed -> " + keypad->name(), 1)) << run().log();
    Result<bool> grabbed = node->isGrabbedByOther();
    ASSERT_TRUE(grabbed) << grabbed.error();
    EXPECT_TRUE(grabbed.value());

    // Its keys come out of the program's keyboard ...
    ASSERT_TRUE(keypad->tap(KEY_KP1));
    EXPECT_EQ(run().readKeys(2), tapOf(KEY_KP1));
    // ... and while Caps is held on the main keyboard they are the command layer's, not the application's.
    // The two devices are read apart: the hold is seen to run (an action's strokes) before the keypad is used.
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    run().runActionInHold(keyboard());
    ASSERT_TRUE(keypad->tap(KEY_KP7));
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});
}

TEST_F(ProgramDevices, AMouseIsLeftAlone)
{
    UinputKeyboard::Options mouse;
    mouse.keys = {BTN_SIDE};
    mouse.pointer = true;
    Result<UinputKeyboard> pointer = plugDevice("Vandrel E2E Mouse", mouse);
    ASSERT_TRUE(pointer) << pointer.error();
    Result<InputDevice> node = InputDevice::waitForName(pointer->name(), kKeyTimeout);
    ASSERT_TRUE(node) << node.error();
    ASSERT_TRUE(run().waitForOutputCount("Input device left out -> " + pointer->name(), 1)) << run().log();
    EXPECT_NE(run().log().find(pointer->name() + " (" + pointer->devnode() + "): a pointer"), std::string::npos)
        << run().log();
    Result<bool> grabbed = node->isGrabbedByOther();
    ASSERT_TRUE(grabbed) << grabbed.error();
    EXPECT_FALSE(grabbed.value());
}

}  // namespace
}  // namespace vandrel::vmtest
