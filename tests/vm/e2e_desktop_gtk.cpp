// Runs inside the test VM on a real desktop (see desktop_suite.h): the program's keys in a GTK 3 application,
// the GTK probe's GtkTextView ("edit") and GtkEntry ("line").
// - A paste of extra clipboard 1 followed at once by typing: GTK asks X for the pasted text after the Ctrl+V and
//   inserts it when it comes, yet the keys typed after the paste land after the pasted text, round after round;
//   the user's own pastes stroked while the program puts the clipboard back each paste the user's text, in order.
// - Select Current Word selects the word the cursor touches from its start, middle and end, and at a line's
//   start and end.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <chrono>
#include <thread>

#include "desktop_suite.h"
#include "harness/text_lines.h"

namespace vandrel::vmtest {
namespace {

class DesktopGtk : public DesktopScenario {
protected:
    void SetUp() override
    {
        DesktopScenario::SetUp();
        if (HasFatalFailure()) return;
        ProbeClient* gtk = DesktopEnvironment::current()->gtkProbe();
        ASSERT_NE(gtk, nullptr);
        useProbe(*gtk);
    }
};

std::string widgetName(const ::testing::TestParamInfo<ProbeWidget>& info)
{
    return info.param == ProbeWidget::edit ? "TextView" : "Entry";
}

// How soon a person who pastes goes on typing after letting go of Caps: at once, or at a quick typist's pace.
// On a fast machine the application fetches the paste within the quick pace, so only "at once" shows a paste
// that lets later keys go before its content arrived. In the last round the person first pastes their own
// clipboard twice (Ctrl+V, 30 ms apart) while the program is still putting it back.
struct PasteRound {
    std::chrono::milliseconds pace;
    int ownPastes;
};
constexpr PasteRound kPasteRounds[] = {{0ms, 0}, {50ms, 0}, {0ms, 0}, {50ms, 0}, {0ms, 2}};

class DesktopGtkPaste : public DesktopGtk, public ::testing::WithParamInterface<ProbeWidget> {};

TEST_P(DesktopGtkPaste, KeysTypedRightAfterAPasteLandAfterThePastedText)
{
    const ProbeWidget widget = GetParam();
    // A text of this widget's own: the program takes only new content into its history.
    const std::string own = std::string("the user's text before pasting into the ") + nameOf(widget);
    userCopies(own);
    put(ProbeWidget::edit, "^pasted board|");
    std::size_t before = restores();
    capsChord({}, KEY_C);
    ASSERT_TRUE(restoredAfter(before)) << lastLines(program().log(), 40, "  ");

    int round = 0;
    for (const auto& [pace, ownPastes] : kPasteRounds) {
        ++round;
        put(widget, "|");
        before = restores();
        capsChord({}, KEY_V);
        std::this_thread::sleep_for(pace);
        std::string pasted = "pasted board";
        for (int i = 0; i < ownPastes; ++i) {
            if (i > 0) std::this_thread::sleep_for(30ms);
            ASSERT_TRUE(keyboard().chord({KEY_LEFTCTRL}, KEY_V));
            pasted += own;
        }
        ASSERT_TRUE(keyboard().typeText("xyz"));
        EXPECT_EQ(settle(widget).text, TextState::marked(pasted + "xyz|"))
            << "round " << round << "; X received: " << ::testing::PrintToString(newKeyLog());
        // The program puts the user's text back on X's clipboard before the next round.
        ASSERT_TRUE(restoredAfter(before)) << lastLines(program().log(), 40, "  ");
    }
}

INSTANTIATE_TEST_SUITE_P(Widgets, DesktopGtkPaste, ::testing::Values(ProbeWidget::edit, ProbeWidget::line), widgetName);

// Caps+, in one of the GTK widgets: the text and cursor before, the selection after.
struct WordPosition {
    const char* name;
    ProbeWidget widget;
    const char* before;
    const char* after;
};

std::ostream& operator<<(std::ostream& out, const WordPosition& position)
{
    return out << position.name;
}

const WordPosition kWordPositions[] = {
    {"TextViewWordStart", ProbeWidget::edit, "one two\nthree |four five\nsix", "one two\nthree ^four| five\nsix"},
    {"TextViewWordMiddle", ProbeWidget::edit, "one two\nthree fo|ur five\nsix", "one two\nthree ^four| five\nsix"},
    {"TextViewWordEnd", ProbeWidget::edit, "one two\nthree four| five\nsix", "one two\nthree ^four| five\nsix"},
    {"TextViewLineStart", ProbeWidget::edit, "one two\n|three four five\nsix", "one two\n^three| four five\nsix"},
    {"TextViewLineEnd", ProbeWidget::edit, "one two\nthree four five|\nsix", "one two\nthree four ^five|\nsix"},
    {"EntryWordStart", ProbeWidget::line, "three |four five", "three ^four| five"},
    {"EntryLineStart", ProbeWidget::line, "|three four five", "^three| four five"},
    {"EntryLineEnd", ProbeWidget::line, "three four five|", "three four ^five|"},
};

class DesktopGtkSelectWord : public DesktopGtk, public ::testing::WithParamInterface<WordPosition> {};

TEST_P(DesktopGtkSelectWord, SelectsTheWordTheCursorTouches)
{
    const WordPosition& position = GetParam();
    put(position.widget, position.before);
    capsChord({}, KEY_COMMA);
    EXPECT_EQ(settle(position.widget).text, TextState::marked(position.after))
        << position.name << "; X received: " << ::testing::PrintToString(newKeyLog());
}

INSTANTIATE_TEST_SUITE_P(Positions, DesktopGtkSelectWord, ::testing::ValuesIn(kWordPositions),
                         [](const ::testing::TestParamInfo<WordPosition>& info) { return info.param.name; });

}  // namespace
}  // namespace vandrel::vmtest
