// Runs inside the test VM on a real desktop (see desktop_suite.h): the cheat sheet shows while Caps and its key
// are held and goes when Caps is let go (the suite's program runs with the sheet unpinned), judged by the windows
// the X server shows for the program.
#include <gtest/gtest.h>

#include "desktop_suite.h"

namespace vandrel::vmtest {
namespace {

class DesktopCheatSheet : public DesktopScenario {};

TEST_F(DesktopCheatSheet, CapsAndItsKeyShowTheSheetAndLettingGoOfCapsClosesIt)
{
    DesktopWindows windows(desktop().displayName());
    ASSERT_TRUE(windows.connected());
    // A viewable window of the program at least as large as a sheet of the layout.
    const auto sheetShown = [&] {
        return windows.find(program().process().pid(), [](int w, int h, bool) { return w >= 300 && h >= 200; }) != 0;
    };
    put(ProbeWidget::edit, "notes|");
    ASSERT_FALSE(sheetShown());

    // Caps+Shift+/ as a person presses it; Caps stays down while the sheet is read.
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().press(KEY_LEFTSHIFT));
    ASSERT_TRUE(keyboard().tap(KEY_SLASH));
    ASSERT_TRUE(keyboard().release(KEY_LEFTSHIFT));
    EXPECT_TRUE(eventually([&] { return sheetShown(); }, kDesktopTimeout)) << "no cheat sheet on the screen";

    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    EXPECT_TRUE(eventually([&] { return !sheetShown(); }, kDesktopTimeout)) << "the sheet stayed";
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_EQ(state.text, TextState::marked("notes|")) << "nothing of the chord was typed";
}

}  // namespace
}  // namespace vandrel::vmtest
