#include "model/key_kit.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

struct KeyKitTest : ::testing::Test {
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    PlatformInstallation installed{sim};
};

TEST_F(KeyKitTest, NamedKeysTakeTheKeyboardMapsNameOrTheirLinuxName)
{
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(116), "Pageup");  // the keyboard map's names come capitalized
    EXPECT_EQ(KeyKit::getCharFromKeyCode(116), "Page Up");
    EXPECT_EQ(KeyKit::getKeyNameFromKeyCode(61), "Right Option");
    EXPECT_EQ(KeyKit::getCharFromKeyCode(61), "Right Alt");
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

TEST_F(KeyKitTest, HotkeysAreWrittenInLinuxNamesInTheFixedOrder)
{
    constexpr std::uint64_t caps = EventFlags::maskAlphaShift, shift = EventFlags::maskShift,
                            super = EventFlags::maskCommand;
    const struct {
        std::uint16_t keyCode;
        std::uint64_t flags;
        const char* text;
    } rows[] = {
        {36, super | shift, "Shift+Super+Return"},
        {56, 0x1F0000, "Ctrl+Alt+Shift+Super+Caps Lock+"},  // a left-hand modifier adds no name of its own
        {36, caps, "Caps Lock+Return"},
        {49, caps, "Caps Lock+Space"},
        {51, caps, "Caps Lock+Backspace"},
        {43, shift | caps, "Shift+Caps Lock+,"},
        {14, caps, "Caps Lock+E"},
    };
    for (const auto& row : rows) EXPECT_EQ(KeyKit::getStringFromKeyCode(row.keyCode, row.flags), row.text);

    EXPECT_EQ(KeyKit::modifiersToString({55, 56, 57, 58, 59}), "Ctrl+Alt+Shift+Super+Caps Lock+");
    EXPECT_EQ(KeyKit::modifiersToString({57, 55}), "Super+Caps Lock+");
    EXPECT_EQ(KeyKit::modifiersToString({60, 1}), "");
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
