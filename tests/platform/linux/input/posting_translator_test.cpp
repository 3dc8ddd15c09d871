#include "platform/linux/input/posting_translator.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace vandrel {
namespace {

constexpr std::uint64_t kCmd = EventFlags::maskCommand;
constexpr std::uint64_t kOpt = EventFlags::maskAlternate;
constexpr std::uint64_t kCtrl = EventFlags::maskControl;
constexpr std::uint64_t kShift = EventFlags::maskShift;
constexpr std::uint8_t S = EvdevStroke::shift;
constexpr std::uint8_t C = EvdevStroke::ctrl;
constexpr std::uint8_t A = EvdevStroke::alt;
constexpr std::uint8_t M = EvdevStroke::meta;

KeyEvent down(std::uint16_t code, std::uint64_t flags)
{
    return {KeyEventType::keyDown, code, flags};
}
KeyEvent up(std::uint16_t code, std::uint64_t flags)
{
    return {KeyEventType::keyUp, code, flags};
}

using Strokes = std::vector<EvdevStroke>;

Strokes normal(const KeyEvent& e)
{
    return PostingTranslator::translate(e, false).value();
}
Strokes terminal(const KeyEvent& e)
{
    return PostingTranslator::translate(e, true).value();
}

TEST(PostingTranslator, EditingIdiomsBecomeLinuxStrokes)
{
    EXPECT_EQ(normal(down(123, kCmd)), (Strokes{{KEY_HOME, true, 0}}));
    EXPECT_EQ(normal(up(123, kCmd)), (Strokes{{KEY_HOME, false, 0}}));
    EXPECT_EQ(normal(down(123, kCmd | kShift)), (Strokes{{KEY_HOME, true, S}}));
    EXPECT_EQ(normal(down(123, kOpt)), (Strokes{{KEY_LEFT, true, C}}));
    EXPECT_EQ(normal(down(124, kOpt | kShift)), (Strokes{{KEY_RIGHT, true, C | S}}));
    EXPECT_EQ(normal(down(126, kCmd)), (Strokes{{KEY_HOME, true, C}}));
    EXPECT_EQ(normal(down(125, kCmd | kShift)), (Strokes{{KEY_END, true, C | S}}));
    EXPECT_EQ(normal(down(117, kOpt)), (Strokes{{KEY_DELETE, true, C}}));
    // To the line start: select it, then delete the selection.
    EXPECT_EQ(normal(down(51, kCmd)), (Strokes{{KEY_HOME, true, S}, {KEY_HOME, false, S}, {KEY_BACKSPACE, true, 0}}));
    EXPECT_EQ(normal(up(51, kCmd)), (Strokes{{KEY_BACKSPACE, false, 0}}));
    EXPECT_EQ(normal(down(8, kCmd)), (Strokes{{KEY_C, true, C}}));
    EXPECT_EQ(normal(down(7, kCmd)), (Strokes{{KEY_X, true, C}}));
    EXPECT_EQ(normal(down(0, kCmd)), (Strokes{{KEY_A, true, C}}));
    EXPECT_EQ(normal(down(6, kCmd | kShift)), (Strokes{{KEY_Z, true, C | S}}));
    // Plain keys and the terminal conventions of the actions pass as they are.
    EXPECT_EQ(normal(down(126, 0)), (Strokes{{KEY_UP, true, 0}}));
    EXPECT_EQ(normal(down(33, kCtrl)), (Strokes{{KEY_LEFTBRACE, true, C}}));
    EXPECT_EQ(normal(down(2, kOpt)), (Strokes{{KEY_D, true, A}}));
    EXPECT_EQ(normal(down(36, kCmd)), (Strokes{{KEY_ENTER, true, M}}));
}

TEST(PostingTranslator, TerminalsGetTheirOwnClipboardKeys)
{
    EXPECT_EQ(terminal(down(8, kCmd)), (Strokes{{KEY_C, true, C | S}}));
    EXPECT_EQ(terminal(down(7, kCmd)), (Strokes{{KEY_C, true, C | S}}));  // cut can only copy
    EXPECT_EQ(terminal(down(9, kCmd)), (Strokes{{KEY_V, true, C | S}}));
    EXPECT_TRUE(terminal(down(6, kCmd)).empty());  // Ctrl+Z would suspend the program in it
    EXPECT_EQ(terminal(down(123, kCmd)), (Strokes{{KEY_HOME, true, 0}}));
    EXPECT_TRUE(PostingTranslator::dependsOnTerminal(down(8, kCmd)));
    EXPECT_TRUE(PostingTranslator::dependsOnTerminal(up(9, kCmd)));
    EXPECT_FALSE(PostingTranslator::dependsOnTerminal(down(123, kCmd)));
    EXPECT_FALSE(PostingTranslator::dependsOnTerminal(down(8, kCtrl)));
}

// Each terminal gets its own clipboard keys, and never a Ctrl stroke it would hand to the program inside as
// a control character.
TEST(PostingTranslator, EachTerminalsClipboardKeysByTheTerminalTable)
{
    struct Case {
        const char* wmClass;
        Strokes copy, cut, paste, selectAll;
    };
    const Strokes none;
    const Case cases[] = {
        {"konsole", {{KEY_C, true, C | S}}, {{KEY_C, true, C | S}}, {{KEY_V, true, C | S}}, {{KEY_A, true, C | S}}},
        {"Gnome-terminal",
         {{KEY_C, true, C | S}},
         {{KEY_C, true, C | S}},
         {{KEY_V, true, C | S}},
         {{KEY_A, true, C | S}}},
        {"URxvt", {{KEY_C, true, C | A}}, {{KEY_C, true, C | A}}, {{KEY_V, true, C | A}}, none},
        {"XTerm", none, none, {{KEY_INSERT, true, S}}, none},
        {"UXTerm", none, none, {{KEY_INSERT, true, S}}, none},
        {"aterm", none, none, {{KEY_INSERT, true, S}}, none},
        // A terminal the user named in the settings: the common keys.
        {"com.example.MyTerm",
         {{KEY_C, true, C | S}},
         {{KEY_C, true, C | S}},
         {{KEY_V, true, C | S}},
         {{KEY_A, true, C | S}}},
    };
    for (const auto& c : cases) {
        RunningApplication app;
        app.bundleIdentifier = c.wmClass;
        const auto keys = TerminalApplications::clipboardKeys(app);
        auto strokes = [&](std::uint16_t code) { return PostingTranslator::translate(down(code, kCmd), keys).value(); };
        EXPECT_EQ(strokes(8), c.copy) << c.wmClass;
        EXPECT_EQ(strokes(7), c.cut) << c.wmClass;
        EXPECT_EQ(strokes(9), c.paste) << c.wmClass;
        EXPECT_EQ(strokes(0), c.selectAll) << c.wmClass;
        EXPECT_TRUE(strokes(6).empty()) << c.wmClass;  // Ctrl+Z would suspend the program
        for (std::uint16_t code : {8, 7, 9, 0, 6})
            for (const auto& stroke : strokes(code))
                EXPECT_NE(stroke.modifiers, C) << c.wmClass << " would get a control character";
        EXPECT_EQ(PostingTranslator::translate(up(9, kCmd), keys).value().back().down, false) << c.wmClass;
    }
}

TEST(PostingTranslator, ModifierKeysRecordedKeysAndUnknownKeys)
{
    // The Command key down around Command+Left only repeats the flags of the key it accompanies.
    EXPECT_TRUE(normal(down(55, 0)).empty());
    EXPECT_TRUE(normal(up(56, 0)).empty());
    EXPECT_EQ(PostingTranslator::translate(down(313, 0), false), std::nullopt);
    EXPECT_EQ(PostingTranslator::translateRecorded(down(313, 0)), std::nullopt);
    // Recorded keys keep their own key and modifiers.
    EXPECT_EQ(PostingTranslator::translateRecorded(down(8, kCmd)), (Strokes{{KEY_C, true, M}}));
    EXPECT_EQ(PostingTranslator::translateRecorded(up(123, kCmd | kShift)), (Strokes{{KEY_LEFT, false, M | S}}));
    EXPECT_EQ(PostingTranslator::translateRecorded(down(56, 0)), (Strokes{{KEY_LEFTSHIFT, true, 0}}));
    EXPECT_EQ(PostingTranslator::translateRecorded({KeyEventType::flagsChanged, 58, kOpt}),
              (Strokes{{KEY_LEFTALT, true, A}}));
    EXPECT_EQ(PostingTranslator::translateRecorded({KeyEventType::flagsChanged, 58, 0}),
              (Strokes{{KEY_LEFTALT, false, 0}}));
}

}  // namespace
}  // namespace vandrel
