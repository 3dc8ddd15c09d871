#include "model/key_kit.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

struct KeyKitTest : ::testing::Test {
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    PlatformInstallation installed{sim};
};

TEST_F(KeyKitTest, NamesAndSymbolsComeFromTheMapsCapitalizedOrUpperCased)
{
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(60), "Right Shift");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(60), "⇧");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(56), "");  // left modifiers have no name of their own
    EXPECT_EQ(KeyKit::getCharFromKeyCode(56), "");
}

TEST_F(KeyKitTest, OtherKeysTakeWhatTheCurrentLayoutTypes)
{
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(0), "A");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(0), "A");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(10), "");  // no key of the layout

    sim->keyboardLayout().setCharacters({{0, "q"}, {41, "é"}, {50, "dead key"}});
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(0), "Q");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(41), "É");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(41), "É");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(50), "Dead Key");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(50), "DEAD KEY");

    PlatformInstallation none(nullptr);
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(0), "");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(36), "Enter");
}

TEST_F(KeyKitTest, ModifiersAreNamedAsOnLinuxInTheFixedOrder)
{
    EXPECT_EQ(KeyKit::modifiersToString({55, 56, 57, 58, 59}), "Ctrl+Alt+Shift+Super+Caps Lock+");
    EXPECT_EQ(KeyKit::modifiersToString({57, 55}), "Super+Caps Lock+");
    EXPECT_EQ(KeyKit::modifiersToString({57, 56}, ModifierNotation::compact), "Shift+Caps+");
    EXPECT_EQ(KeyKit::modifiersToString({60, 1}), "");
    EXPECT_EQ(KeyKit::getStringFromKeyCode(36, EventFlags::maskCommand | EventFlags::maskShift), "Shift+Super+Enter");
    EXPECT_EQ(KeyKit::getStringFromKeyCode(56, 0x1F0000), "Ctrl+Alt+Shift+Super+Caps Lock+");
}

TEST_F(KeyKitTest, KeystrokesFromEvents)
{
    const auto stroke = KeyKit::cgeventToKeystroke(
        KeyEvent{KeyEventType::keyDown, 80, EventFlags::maskShift | EventFlags::maskCommand});
    EXPECT_EQ(stroke, (Keystroke{true, true, false, false, true, 80}));
    EXPECT_EQ(stroke.keyName(), "F19");
    EXPECT_FALSE(KeyKit::cgeventToKeystroke(KeyEvent{KeyEventType::keyUp, 0, 0}).vdr);
    EXPECT_EQ((Keystroke{false, false, false, false, false, 70000}).keyName(), std::nullopt);
}

}  // namespace
}  // namespace vandrel
