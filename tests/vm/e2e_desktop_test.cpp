// Runs inside the test VM on a real desktop (see desktop_suite.h): what the program's keys do in a Qt
// application's QTextEdit and QLineEdit, and what X itself receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktop_suite.h"

namespace vandrel::vmtest {
namespace {

// Three lines with the cursor inside "epsilon" of the middle one; the widget's font is fixed-pitch, so Up and
// Down keep the column.
constexpr const char* kThreeLines = "alpha beta gamma\ndelta eps|ilon zeta\neta theta iota";

class DesktopTyping : public DesktopScenario {};

TEST_F(DesktopTyping, ATypedParagraphArrivesUnchanged)
{
    const std::string paragraph =
        "Dear Ada,\n"
        "The quick brown fox jumps over 13 lazy dogs; then it naps (twice!) at 4:30 pm.\n"
        "Prices: $5 & 10% off -- \"quoted\" <tags> {braces} [brackets] a?b ~tilde `tick` under_score\n"
        "\tplus+equals=slash/back\\slash 'single' #hash @at *star.\n";
    put(ProbeWidget::edit, "|");
    type(ProbeWidget::edit, paragraph);
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_EQ(state.text.text, paragraph);
    EXPECT_EQ(state.text.cursor, static_cast<int>(paragraph.size()));
    EXPECT_EQ(state.quits, 0);
}

// One binding of the default Caps layout, applied to a text in the QTextEdit.
struct CapsBinding {
    const char* name;
    std::vector<int> modifiers;  // held with Caps; Super is the layout's Command
    int key;
    const char* before;
    const char* after;
};

std::ostream& operator<<(std::ostream& out, const CapsBinding& binding)
{
    return out << binding.name;
}

class DesktopCapsLayout : public DesktopScenario, public ::testing::WithParamInterface<CapsBinding> {};

TEST_P(DesktopCapsLayout, EditsTheTextEditAsExpected)
{
    const CapsBinding& binding = GetParam();
    put(ProbeWidget::edit, binding.before);
    capsChord(binding.modifiers, binding.key);
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_EQ(state.text, TextState::marked(binding.after))
        << binding.name << "; X received: " << ::testing::PrintToString(newKeyLog());
}

const CapsBinding kCapsBindings[] = {
    // Movement.
    {"Up", {}, KEY_E, kThreeLines, "alpha bet|a gamma\ndelta epsilon zeta\neta theta iota"},
    {"Down", {}, KEY_D, kThreeLines, "alpha beta gamma\ndelta epsilon zeta\neta theta| iota"},
    {"Left", {}, KEY_S, kThreeLines, "alpha beta gamma\ndelta ep|silon zeta\neta theta iota"},
    {"Right", {}, KEY_F, kThreeLines, "alpha beta gamma\ndelta epsi|lon zeta\neta theta iota"},
    {"FiveLeft", {KEY_LEFTMETA}, KEY_S, kThreeLines, "alpha beta gamma\ndelt|a epsilon zeta\neta theta iota"},
    {"FiveRight", {KEY_LEFTMETA}, KEY_F, kThreeLines, "alpha beta gamma\ndelta epsilon |zeta\neta theta iota"},
    {"WordLeft", {}, KEY_A, kThreeLines, "alpha beta gamma\ndelta |epsilon zeta\neta theta iota"},
    {"WordRight", {}, KEY_G, kThreeLines, "alpha beta gamma\ndelta epsilon |zeta\neta theta iota"},
    {"LineStart", {}, KEY_P, kThreeLines, "alpha beta gamma\n|delta epsilon zeta\neta theta iota"},
    {"LineEnd", {}, KEY_SEMICOLON, kThreeLines, "alpha beta gamma\ndelta epsilon zeta|\neta theta iota"},
    {"PageStart", {KEY_LEFTMETA}, KEY_P, kThreeLines, "|alpha beta gamma\ndelta epsilon zeta\neta theta iota"},
    {"PageEnd", {KEY_LEFTMETA}, KEY_SEMICOLON, kThreeLines, "alpha beta gamma\ndelta epsilon zeta\neta theta iota|"},
    {"Return", {}, KEY_SPACE, kThreeLines, "alpha beta gamma\ndelta eps\n|ilon zeta\neta theta iota"},
    // Selection.
    {"SelectUp", {}, KEY_I, kThreeLines, "alpha bet|a gamma\ndelta eps^ilon zeta\neta theta iota"},
    {"SelectDown", {}, KEY_K, kThreeLines, "alpha beta gamma\ndelta eps^ilon zeta\neta theta| iota"},
    {"SelectLeft", {}, KEY_J, kThreeLines, "alpha beta gamma\ndelta ep|s^ilon zeta\neta theta iota"},
    {"SelectRight", {}, KEY_L, kThreeLines, "alpha beta gamma\ndelta eps^i|lon zeta\neta theta iota"},
    {"SelectWordLeft", {}, KEY_H, kThreeLines, "alpha beta gamma\ndelta |eps^ilon zeta\neta theta iota"},
    {"SelectWordRight", {}, KEY_DOT, kThreeLines, "alpha beta gamma\ndelta eps^ilon |zeta\neta theta iota"},
    // QTextEdit's words take the space after them; the selection is made from the word's end back to its start.
    {"SelectWord", {}, KEY_COMMA, kThreeLines, "alpha beta gamma\ndelta |epsilon ^zeta\neta theta iota"},
    {"SelectWordFromItsStart", {}, KEY_COMMA, "one\nthree |four five\nsix", "one\nthree |four ^five\nsix"},
    {"SelectWordFromItsEnd", {}, KEY_COMMA, "one\nthree four| five\nsix", "one\nthree |four ^five\nsix"},
    {"SelectWordAtLineStart", {}, KEY_COMMA, "one\n|three four five\nsix", "one\n|three ^four five\nsix"},
    // Never the line break, which a word move from a line's end crosses.
    {"SelectWordAtLineEnd", {}, KEY_COMMA, "one\nthree four five|\nsix", "one\nthree four |five^\nsix"},
    {"SelectWordOnAnEmptyLine", {}, KEY_COMMA, "one\n|\nsix", "one\n|\nsix"},
    {"SelectLine", {KEY_LEFTMETA}, KEY_COMMA, kThreeLines, "alpha beta gamma\n^delta epsilon zeta|\neta theta iota"},
    {"SelectToLineStart", {}, KEY_U, kThreeLines, "alpha beta gamma\n|delta eps^ilon zeta\neta theta iota"},
    {"SelectToLineEnd", {}, KEY_O, kThreeLines, "alpha beta gamma\ndelta eps^ilon zeta|\neta theta iota"},
    {"SelectToPageStart", {KEY_LEFTMETA}, KEY_U, kThreeLines, "|alpha beta gamma\ndelta eps^ilon zeta\neta theta iota"},
    // Deletion and insertion.
    {"Backspace", {}, KEY_W, kThreeLines, "alpha beta gamma\ndelta ep|ilon zeta\neta theta iota"},
    {"ForwardDelete", {}, KEY_R, kThreeLines, "alpha beta gamma\ndelta eps|lon zeta\neta theta iota"},
    {"DeleteWord", {KEY_LEFTMETA}, KEY_W, kThreeLines, "alpha beta gamma\ndelta |ilon zeta\neta theta iota"},
    {"ForwardDeleteWord", {KEY_LEFTMETA}, KEY_R, kThreeLines, "alpha beta gamma\ndelta eps|zeta\neta theta iota"},
    {"DeleteToLineStart", {}, KEY_LEFTBRACE, kThreeLines, "alpha beta gamma\n|ilon zeta\neta theta iota"},
    {"DeleteToLineEnd", {}, KEY_SLASH, kThreeLines, "alpha beta gamma\ndelta eps|\neta theta iota"},
    {"DeleteToPageStart", {KEY_LEFTMETA}, KEY_LEFTBRACE, kThreeLines, "|ilon zeta\neta theta iota"},
    {"DeleteToPageEnd", {KEY_LEFTMETA}, KEY_SLASH, kThreeLines, "alpha beta gamma\ndelta eps|"},
    {"DeleteLine", {}, KEY_BACKSPACE, kThreeLines, "alpha beta gamma\n|\neta theta iota"},
    {"DeleteAll", {KEY_LEFTMETA}, KEY_BACKSPACE, kThreeLines, "|"},
    {"InsertLineBelow", {}, KEY_ENTER, kThreeLines, "alpha beta gamma\ndelta epsilon zeta\n|\neta theta iota"},
};

INSTANTIATE_TEST_SUITE_P(DefaultLayout, DesktopCapsLayout, ::testing::ValuesIn(kCapsBindings),
                         [](const ::testing::TestParamInfo<CapsBinding>& info) { return info.param.name; });

// "line 01" to "line 40", one per line, with the cursor after "line" on line `line` (1-based).
TextState fortyLinesAt(int line)
{
    std::string text;
    for (int i = 1; i <= 40; ++i) {
        if (i > 1) text += '\n';
        text += (i < 10 ? "line 0" : "line ") + std::to_string(i);
    }
    const int position = (line - 1) * 8 + 4;
    return {text, position, position};
}

class DesktopLongMoves : public DesktopScenario {
protected:
    // In the 40-line document, from line `from` the binding must land on line `to`, in the same column.
    void expectMove(const char* what, const std::vector<int>& modifiers, int key, int from, int to)
    {
        put(ProbeWidget::edit, fortyLinesAt(from));
        capsChord(modifiers, key);
        const ProbeState state = settle(ProbeWidget::edit);
        const std::vector<std::string> received = newKeyLog();
        EXPECT_EQ(state.text, fortyLinesAt(to))
            << what << ": the cursor is on line " << state.text.cursor / 8 + 1 << "; X received "
            << std::count(received.begin(), received.end(), to < from ? "+Up" : "+Down") << " of "
            << std::abs(to - from) << " strokes";
    }
};

TEST_F(DesktopLongMoves, TenLineMovesLandExactlyTenLinesAway)
{
    expectMove("Caps+T", {}, KEY_T, 40, 30);
    expectMove("Caps+B", {}, KEY_B, 30, 40);
}

TEST_F(DesktopLongMoves, ThirtyLineMovesLandExactlyThirtyLinesAway)
{
    expectMove("Caps+Super+T", {KEY_LEFTMETA}, KEY_T, 40, 10);
    expectMove("Caps+Super+B", {KEY_LEFTMETA}, KEY_B, 10, 40);
}

class DesktopCapsKey : public DesktopScenario {};

TEST_F(DesktopCapsKey, ACapsTapIsEscapeAndLocksNothing)
{
    put(ProbeWidget::edit, "one two|");
    ASSERT_TRUE(keyboard().tap(KEY_CAPSLOCK));
    EXPECT_TRUE(waitForProgramStrokes()) << "no Escape came out";
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_EQ(state.text, TextState::marked("one two|"));
    EXPECT_EQ(scenarioKeyLog(), (std::vector<std::string>{"+Escape", "-Escape"}));
    const Result<bool> locked = desktop().capsLockLocked();
    ASSERT_TRUE(locked) << locked.error();
    EXPECT_FALSE(*locked);
}

TEST_F(DesktopCapsKey, ShiftCapsTogglesTheCapsLockLockOfX)
{
    const auto locked = [this] {
        const Result<bool> state = desktop().capsLockLocked();
        return state && *state;
    };
    put(ProbeWidget::line, "|");
    ASSERT_FALSE(locked());
    ASSERT_TRUE(keyboard().chord({KEY_LEFTSHIFT}, KEY_CAPSLOCK));
    ASSERT_TRUE(eventually(locked, kDesktopTimeout)) << "XKB's Caps Lock lock did not turn on";
    // X applies it: a plain a types A.
    type(ProbeWidget::line, "a");
    EXPECT_EQ(settle(ProbeWidget::line).text.text, "A");

    ASSERT_TRUE(keyboard().chord({KEY_LEFTSHIFT}, KEY_CAPSLOCK));
    ASSERT_TRUE(eventually([&] { return !locked(); }, kDesktopTimeout)) << "XKB's Caps Lock lock did not turn off";
    type(ProbeWidget::line, "a");
    EXPECT_EQ(settle(ProbeWidget::line).text.text, "Aa");
}

TEST_F(DesktopCapsKey, AQuickChordWithAnUnboundKeyIsNoTap)
{
    const auto locked = [this] {
        const Result<bool> state = desktop().capsLockLocked();
        return state && *state;
    };
    put(ProbeWidget::line, "ab|");
    // Caps+Z is bound to nothing: pressed and let go at once it is still a chord, never a tap. No Escape; with
    // Shift held around it, no Caps Lock lock.
    capsChord({}, KEY_Z, Strokes::none);
    ASSERT_TRUE(keyboard().press(KEY_LEFTSHIFT));
    capsChord({}, KEY_Z, Strokes::none);
    ASSERT_TRUE(keyboard().release(KEY_LEFTSHIFT));
    type(ProbeWidget::line, "c");
    EXPECT_EQ(settle(ProbeWidget::line).text, TextState::marked("abc|"));
    const std::vector<std::string> received = scenarioKeyLog();
    for (const auto& key : received) {
        EXPECT_EQ(key.find("Escape"), std::string::npos) << "X received " << ::testing::PrintToString(received);
        EXPECT_EQ(key.find("Caps_Lock"), std::string::npos) << "X received " << ::testing::PrintToString(received);
    }
    EXPECT_FALSE(locked());
}

class DesktopLayouts : public DesktopScenario {};

TEST_F(DesktopLayouts, OnAFrenchLayoutDeleteAllEmptiesTheFieldAndNothingQuits)
{
    setLayout("fr");
    put(ProbeWidget::line, "bonjour|");
    // X types with the French layout now: the key at the US position of Q is a.
    ASSERT_TRUE(keyboard().tap(KEY_Q));
    ASSERT_EQ(settle(ProbeWidget::line).text, TextState::marked("bonjoura|"));

    capsChord({KEY_LEFTMETA}, KEY_BACKSPACE);
    const ProbeState state = settle(ProbeWidget::line);
    EXPECT_EQ(state.text, TextState::marked("|"));
    EXPECT_EQ(state.quits, 0) << "the application received its Quit shortcut";
    EXPECT_TRUE(program().process().running());
}

}  // namespace
}  // namespace vandrel::vmtest
