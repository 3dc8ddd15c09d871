// Runs inside the test VM on a real desktop (see desktop_suite.h): modifiers follow the hands around Caps
// actions. A modifier held through an action, or pressed or let go while Caps is held, is down for X as the
// user holds it when the next key comes, so Ctrl+C after a Caps action copies and Shift typed during the hold
// types capitals. Super or Alt held around a Caps combination never reaches X as a lone tap.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "desktop_suite.h"
#include "harness/probe_protocol.h"

namespace vandrel::vmtest {
namespace {

struct Step {
    enum Kind { press, release, tap, strokes } kind;
    int code;
};

struct HeldModifierCase {
    const char* name;
    const char* before;
    std::vector<Step> steps;
    const char* after;
    const char* clipboard;  // X's clipboard afterwards; null: not looked at
};

std::ostream& operator<<(std::ostream& out, const HeldModifierCase& c)
{
    return out << c.name;
}

class DesktopHeldModifiers : public DesktopScenario, public ::testing::WithParamInterface<HeldModifierCase> {
protected:
    std::string clipboard()
    {
        const auto reply = probe().request("clipboard");
        if (!reply) return "<no reply: " + reply.error() + ">";
        const auto text = replyField(*reply, "text");
        return text ? unescapeLine(*text).value_or("<bad text>") : "<no text>";
    }
};

TEST_P(DesktopHeldModifiers, TheApplicationGetsWhatTheHandsDid)
{
    const HeldModifierCase& c = GetParam();
    if (c.clipboard) {
        ASSERT_TRUE(probe().request("clipboard-set the user's text"));
    }
    put(ProbeWidget::edit, c.before);
    program().output().drain();
    for (const Step& step : c.steps) {
        switch (step.kind) {
            case Step::press:
                ASSERT_TRUE(keyboard().press(step.code));
                break;
            case Step::release:
                ASSERT_TRUE(keyboard().release(step.code));
                break;
            case Step::tap:
                ASSERT_TRUE(keyboard().tap(step.code));
                break;
            case Step::strokes:
                // A person goes on once the action's effect shows.
                ASSERT_TRUE(waitForProgramStrokes(step.code)) << "the program posted no key " << step.code;
                break;
        }
    }
    EXPECT_EQ(settle(ProbeWidget::edit).text, TextState::marked(c.after));
    if (c.clipboard) {
        EXPECT_EQ(clipboard(), c.clipboard);
    }
    const std::vector<std::string> received = scenarioKeyLog();
    EXPECT_EQ(loneModifierTaps(received), std::vector<std::string>{})
        << "X received " << ::testing::PrintToString(received);
    // An Escape comes only from a hold that was a Caps tap.
    const auto taps = std::count_if(c.steps.begin(), c.steps.end(),
                                    [](const Step& s) { return s.kind == Step::strokes && s.code == KEY_ESC; });
    EXPECT_EQ(std::count(received.begin(), received.end(), "+Escape"), taps)
        << "X received " << ::testing::PrintToString(received);
}

const HeldModifierCase kHeldModifierCases[] = {
    // Ctrl held through a Caps tap (Escape), then C: a copy, nothing typed.
    {"CtrlHeldThroughACapsTapThenCCopies",
     "alpha ^beta| gamma",
     {{Step::press, KEY_LEFTCTRL},
      {Step::tap, KEY_CAPSLOCK},
      {Step::strokes, KEY_ESC},
      {Step::tap, KEY_C},
      {Step::release, KEY_LEFTCTRL}},
     "alpha ^beta| gamma",
     "beta"},
    // Select left, Ctrl pressed before Caps goes up, then C: the selection is copied, not typed over.
    {"CtrlPressedDuringTheHoldCopiesTheSelection",
     "alpha beta| gamma",
     {{Step::press, KEY_CAPSLOCK},
      {Step::tap, KEY_J},
      {Step::strokes, KEY_LEFT},
      {Step::press, KEY_LEFTCTRL},
      {Step::release, KEY_CAPSLOCK},
      {Step::tap, KEY_C},
      {Step::release, KEY_LEFTCTRL}},
     "alpha bet|a^ gamma",
     "a"},
    // Caps+E, Shift pressed while Caps is held, Caps up, then a and b: capitals.
    {"ShiftPressedDuringTheHoldTypesCapitals",
     "x\n|",
     {{Step::press, KEY_CAPSLOCK},
      {Step::tap, KEY_E},
      {Step::strokes, KEY_UP},
      {Step::press, KEY_LEFTSHIFT},
      {Step::release, KEY_CAPSLOCK},
      {Step::tap, KEY_A},
      {Step::tap, KEY_B},
      {Step::release, KEY_LEFTSHIFT}},
     "AB|x\n",
     nullptr},
    // Super held before Caps and released after it: Caps+Super+E is three lines up, and Super is no lone tap.
    {"SuperHeldAroundACapsActionIsNoLoneTap",
     "l1\nl2\nl3\nl4\nl|5",
     {{Step::press, KEY_LEFTMETA},
      {Step::press, KEY_CAPSLOCK},
      {Step::tap, KEY_E},
      {Step::strokes, KEY_UP},
      {Step::release, KEY_CAPSLOCK},
      {Step::release, KEY_LEFTMETA}},
     "l1\nl|2\nl3\nl4\nl5",
     nullptr},
    // Caps+Alt+E is bound to nothing: E went down in the hold, so it is no Caps tap and nothing comes out.
    {"AltHeldAroundAnUnboundCapsCombinationIsNoLoneTap",
     "l1\nl|2",
     {{Step::press, KEY_LEFTALT},
      {Step::press, KEY_CAPSLOCK},
      {Step::tap, KEY_E},
      {Step::release, KEY_CAPSLOCK},
      {Step::release, KEY_LEFTALT}},
     "l1\nl|2",
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(Sequences, DesktopHeldModifiers, ::testing::ValuesIn(kHeldModifierCases),
                         [](const ::testing::TestParamInfo<HeldModifierCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vandrel::vmtest
