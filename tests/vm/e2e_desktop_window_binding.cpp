// Runs inside the test VM on a real desktop (see desktop_suite.h): binding a window to a digit and bringing it
// back with the default layout's keys, as a user does, judged by the window manager's active window.
#include <gtest/gtest.h>

#include "desktop_suite.h"

namespace vandrel::vmtest {
namespace {

class DesktopWindowBinding : public DesktopScenario {};

TEST_F(DesktopWindowBinding, CapsAltDigitBindsTheWindowAndCapsDigitBringsItBack)
{
    DesktopWindows windows(desktop().displayName());
    ASSERT_TRUE(windows.connected());
    const DesktopWindows::Id other = windows.open("Another application");
    ASSERT_TRUE(eventually([&] { return windows.client("Another application") == other; }, kDesktopTimeout));
    const DesktopWindows::Id probeWindow = windows.client("Vandrel desktop probe");
    ASSERT_NE(probeWindow, 0u);

    // The manager may give a new window the focus: that has happened before the probe takes it.
    windows.focus(other);
    ASSERT_TRUE(eventually([&] { return windows.active() == other; }, kDesktopTimeout));

    // The probe has the focus; Caps+Alt+1 binds its window to slot 1.
    put(ProbeWidget::edit, "bound|");
    ASSERT_TRUE(eventually([&] { return windows.active() == probeWindow; }, kDesktopTimeout))
        << "active window: " << windows.active();
    capsChord({KEY_LEFTALT}, KEY_1, Strokes::none);
    ASSERT_TRUE(program().process().waitForErrorOutput("set binding window", kDesktopTimeout))
        << "the program did not bind the focused window";

    windows.focus(other);
    ASSERT_TRUE(eventually([&] { return windows.active() == other; }, kDesktopTimeout));

    // Caps+1 brings the bound window back, with the keyboard.
    capsChord({}, KEY_1, Strokes::none);
    EXPECT_TRUE(eventually([&] { return windows.active() == probeWindow; }, kDesktopTimeout))
        << "active window: " << windows.active();
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_TRUE(state.xFocus);
    EXPECT_EQ(state.text, TextState::marked("bound|")) << "nothing of the chords was typed";
}

}  // namespace
}  // namespace vandrel::vmtest
