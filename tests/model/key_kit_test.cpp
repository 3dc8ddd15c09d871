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
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(36), "Enter");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(36), "↩");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(116), "Pageup");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(116), "⇞");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(57), "Capslock");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(60), "Right Shift");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(60), "⇧");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(63), "Function");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(63), "⌘");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(122), "F1");
    for (std::uint16_t leftModifier : {55, 56, 58, 59}) {
        EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(leftModifier), "");
        EXPECT_EQ(KeyKit::getCharFromKeyCode(leftModifier), "");
    }
    ASSERT_EQ(KeyKit::keyNameMap().size(), 46u);
    EXPECT_EQ(KeyKit::keyNameMap().front().first, 36);
    EXPECT_EQ(KeyKit::keySymbolMap().back(), (std::pair<int, std::string_view>{126, "↑"}));
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

TEST_F(KeyKitTest, GlyphsFollowTheFixedOrder)
{
    EXPECT_EQ(KeyKit::modifiersToString({55, 56, 57, 58, 59}), "⌃⌥⇧⌘⇪");
    EXPECT_EQ(KeyKit::modifiersToString({57, 55}), "⌘⇪");
    EXPECT_EQ(KeyKit::modifiersToString({}), "");
    EXPECT_EQ(KeyKit::modifiersToString({60, 1}), "");
    EXPECT_EQ(KeyKit::getStringFromKeyCode(36, EventFlags::maskCommand | EventFlags::maskShift), "⇧⌘Enter");
    EXPECT_EQ(KeyKit::getStringFromKeyCode(56, 0x1F0000), "⌃⌥⇧⌘⇪");
}

TEST_F(KeyKitTest, FlagPredicatesAndKeystrokes)
{
    EXPECT_TRUE(KeyKit::isShiftDown(0x30000));
    EXPECT_FALSE(KeyKit::isCtrlDown(0x30000));
    EXPECT_FALSE(KeyKit::isOptDown(0x30000));
    EXPECT_FALSE(KeyKit::isCmdDown(0x30000));

    const auto stroke = KeyKit::cgeventToKeystroke(
        KeyEvent{KeyEventType::keyDown, 80, EventFlags::maskShift | EventFlags::maskCommand});
    EXPECT_EQ(stroke, (Keystroke{true, true, false, false, true, 80}));
    EXPECT_EQ(stroke.keyName(), "F19");
    EXPECT_FALSE(KeyKit::cgeventToKeystroke(KeyEvent{KeyEventType::keyUp, 0, 0}).vdr);
    EXPECT_EQ(Keystroke{}.keyName(), std::nullopt);
    EXPECT_EQ((Keystroke{false, false, false, false, false, 70000}).keyName(), std::nullopt);
}

}  // namespace
}  // namespace vandrel
