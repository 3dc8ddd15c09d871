// Runs inside the test VM on a real desktop (see desktop_suite.h): binding a window to a digit and bringing it
// back with the default layout's keys, as a user does, judged by the window manager's active window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "desktop_suite.h"

// Last: Xlib defines macros (None, Bool, Status ...) that other headers use as names.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace vandrel::vmtest {
namespace {

// Another application's window, made by the test on its own connection, and the manager's view of the
// session's windows.
class OtherWindow {
public:
    explicit OtherWindow(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str()))
    {
        if (!display_) return;
        root_ = DefaultRootWindow(display_);
        window_ = XCreateSimpleWindow(display_, root_, 300, 200, 320, 200, 0, 0, 0xffffff);
        char instance[] = "vandrel-other";
        char className[] = "VandrelOther";
        XClassHint hint{instance, className};
        XSetClassHint(display_, window_, &hint);
        XStoreName(display_, window_, "Another application");
        const long pid = getpid();
        XChangeProperty(display_, window_, atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        XMapWindow(display_, window_);
        XSync(display_, False);
    }
    ~OtherWindow()
    {
        if (!display_) return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;

    bool connected() const { return display_ != nullptr; }
    Window window() const { return window_; }

    Window activeWindow()
    {
        const auto windows = windowList(root_, "_NET_ACTIVE_WINDOW");
        return windows.empty() ? 0 : windows.front();
    }

    // The managed window whose title (_NET_WM_NAME, else WM_NAME) is `title`; 0 when there is none.
    Window clientTitled(const std::string& title)
    {
        for (const Window w : windowList(root_, "_NET_CLIENT_LIST")) {
            std::string name = text(w, "_NET_WM_NAME");
            if (name.empty()) name = text(w, "WM_NAME");
            if (name == title) return w;
        }
        return 0;
    }

    // Focuses a window as a click on its task bar button does.
    void focus(Window w)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(display_, False);
    }

private:
    Atom atom(const char* name) { return XInternAtom(display_, name, False); }

    std::string text(Window w, const char* property)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string out;
        if (XGetWindowProperty(display_, w, atom(property), 0, 1024, False, AnyPropertyType, &type, &format, &count,
                               &after, &data) == Success &&
            data && format == 8)
            out.assign(reinterpret_cast<const char*>(data), count);
        if (data) XFree(data);
        return out;
    }

    std::vector<Window> windowList(Window on, const char* property)
    {
        std::vector<Window> out;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, on, atom(property), 0, 4096, False, XA_WINDOW, &type, &format, &count, &after,
                               &data) == Success &&
            data && format == 32) {
            const auto* windows = reinterpret_cast<const Window*>(data);
            out.assign(windows, windows + count);
        }
        if (data) XFree(data);
        return out;
    }

    Display* display_ = nullptr;
    Window root_ = 0;
    Window window_ = 0;
};

class DesktopWindowBinding : public DesktopScenario {};

TEST_F(DesktopWindowBinding, CapsAltDigitBindsTheWindowAndCapsDigitBringsItBack)
{
    OtherWindow other(desktop().displayName());
    ASSERT_TRUE(other.connected());
    ASSERT_TRUE(
        eventually([&] { return other.clientTitled("Another application") == other.window(); }, kDesktopTimeout));
    const Window probeWindow = other.clientTitled("Vandrel desktop probe");
    ASSERT_NE(probeWindow, 0u);

    // The manager may give a new window the focus: that has happened before the probe takes it.
    other.focus(other.window());
    ASSERT_TRUE(eventually([&] { return other.activeWindow() == other.window(); }, kDesktopTimeout));

    // The probe has the focus; Caps+Alt+1 binds its window to slot 1.
    put(ProbeWidget::edit, "bound|");
    ASSERT_TRUE(eventually([&] { return other.activeWindow() == probeWindow; }, kDesktopTimeout))
        << "active window: " << other.activeWindow();
    capsChord({KEY_LEFTALT}, KEY_1, Strokes::none);
    ASSERT_TRUE(program().process().waitForErrorOutput("set binding window", kDesktopTimeout))
        << "the program did not bind the focused window";

    other.focus(other.window());
    ASSERT_TRUE(eventually([&] { return other.activeWindow() == other.window(); }, kDesktopTimeout));

    // Caps+1 brings the bound window back, with the keyboard.
    capsChord({}, KEY_1, Strokes::none);
    EXPECT_TRUE(eventually([&] { return other.activeWindow() == probeWindow; }, kDesktopTimeout))
        << "active window: " << other.activeWindow();
    const ProbeState state = settle(ProbeWidget::edit);
    EXPECT_TRUE(state.xFocus);
    EXPECT_EQ(state.text, TextState::marked("bound|")) << "nothing of the chords was typed";
}

}  // namespace
}  // namespace vandrel::vmtest
