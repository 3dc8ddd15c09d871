// Runs inside the test VM on a real desktop (see desktop_suite.h): the cheat sheet shows while Caps and its key
// are held and goes when Caps is let go (the suite's program runs with the sheet unpinned), judged by the windows
// the X server shows for the program.
#include <gtest/gtest.h>

#include "desktop_suite.h"

// Last: Xlib defines macros (None, Bool, Status ...) that other headers use as names.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// clang-format on

namespace vandrel::vmtest {
namespace {

// Whether a viewable window of the process, at least as large as a sheet of the layout, is on the screen.
class ProgramWindows {
public:
    ProgramWindows(const std::string& displayName, pid_t pid) : display_(XOpenDisplay(displayName.c_str())), pid_(pid)
    {
        // Windows come and go while the tree is walked: a window gone meanwhile is no error of the test's.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~ProgramWindows()
    {
        if (display_) XCloseDisplay(display_);
    }
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    bool connected() const { return display_ != nullptr; }
    bool sheetShown() { return found(DefaultRootWindow(display_), 0); }

private:
    bool found(::Window window, int depth)
    {
        XWindowAttributes attributes{};
        if (depth > 0 && XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable &&
            attributes.width >= 300 && attributes.height >= 200 && pidOf(window) == pid_)
            return true;
        if (depth == 3) return false;
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return false;
        bool any = false;
        for (unsigned int i = 0; i < count && !any; ++i) any = found(children[i], depth + 1);
        if (children) XFree(children);
        return any;
    }

    long pidOf(::Window window)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        long pid = 0;
        if (XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                               &type, &format, &count, &after, &data) == Success &&
            data && format == 32 && count == 1)
            pid = *reinterpret_cast<const long*>(data);
        if (data) XFree(data);
        return pid;
    }

    Display* display_;
    const pid_t pid_;
};

class DesktopCheatSheet : public DesktopScenario {};

TEST_F(DesktopCheatSheet, CapsAndItsKeyShowTheSheetAndLettingGoOfCapsClosesIt)
{
    ProgramWindows windows(desktop().displayName(), program().process().pid());
    ASSERT_TRUE(windows.connected());
    put(ProbeWidget::edit, "notes|");
    ASSERT_FALSE(windows.sheetShown());

    // Caps+Shift+/ as a person presses it; Caps stays down while the sheet is read.
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().press(KEY_LEFTSHIFT));
    ASSERT_TRUE(keyboard().tap(KEY_SLASH));
    ASSERT_TRUE(keyboard().release(KEY_LEFTSHIFT));
    EXPECT_TRUE(eventually([&] { return windows.sheetShown(); }, kDesktopTimeout)) << "no cheat sheet on the screen";

    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    EXPECT_TRUE(eventually([&] { return !windows.sheetShown(); }, kDesktopTimeout)) << "the sheet stayed";
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_EQ(state.text, TextState::marked("notes|")) << "nothing of the chord was typed";
}

}  // namespace
}  // namespace vandrel::vmtest
