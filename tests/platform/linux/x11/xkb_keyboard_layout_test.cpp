// Key characters through xkbcommon: the default layout without a display, and the X session's layout as it
// changes (an Xvfb server of the test's own).
#include "platform/linux/x11/xkb_keyboard_layout.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstdlib>

#include "support/x11_test_server.h"

// After Qt's headers (through the test server's): Xlib defines macros that Qt's headers use as names.
// clang-format off
#include <X11/XKBlib.h>
// clang-format on

namespace vandrel {
namespace {

using test::X11TestServer;

// Sets an environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(XkbKeyboardLayout, WithoutADisplayTheDefaultLayoutTypes)
{
    ScopedEnv layoutName("XKB_DEFAULT_LAYOUT", "us");
    XkbKeyboardLayout layout("");
    EXPECT_FALSE(layout.followsDisplay());
    EXPECT_EQ(layout.characterForKeyCode(0), "a");  // A, without Shift or Caps Lock
    EXPECT_EQ(layout.characterForKeyCode(16), "y");
    EXPECT_EQ(layout.characterForKeyCode(36), "\r");
    EXPECT_EQ(layout.characterForKeyCode(83), "1");    // keypad keys type digits, as on the original keyboard
    EXPECT_EQ(layout.characterForKeyCode(56), "");     // Shift types nothing
    EXPECT_EQ(layout.characterForKeyCode(123), "");    // nor does an arrow
    EXPECT_EQ(layout.characterForKeyCode(65535), "");  // a code no key has
}

TEST(XkbKeyboardLayout, TheDefaultLayoutFollowsTheEnvironment)
{
    ScopedEnv layoutName("XKB_DEFAULT_LAYOUT", "de");
    XkbKeyboardLayout layout("");
    EXPECT_EQ(layout.characterForKeyCode(16), "z");  // the key of Y types Z on a German keyboard
    EXPECT_EQ(layout.characterForKeyCode(41), "ö");
    EXPECT_EQ(layout.characterForKeyCode(50), "");  // a dead key types nothing by itself
}

TEST(XkbKeyboardLayout, TheKeymapMadeLaterIsTheOneTheEnvironmentNamedAtConstruction)
{
    std::optional<XkbKeyboardLayout> layout;
    {
        ScopedEnv layoutName("XKB_DEFAULT_LAYOUT", "de");
        layout.emplace("");
    }
    EXPECT_EQ(layout->characterForKeyCode(16), "z");
}

TEST(XkbKeyboardLayout, FollowsTheSessionsLayoutAsItChanges)
{
    X11TestServer server(false);
    if (!server.ok()) GTEST_SKIP() << server.failure();
    XkbKeyboardLayout layout(server.display());
    ASSERT_TRUE(layout.followsDisplay());
    EXPECT_EQ(layout.characterForKeyCode(16), "y");

    // Another keymap: the change arrives as an event that the next lookup reads.
    const std::string setxkbmap = "setxkbmap -display " + server.display() + " -layout us,de";
    if (std::system(setxkbmap.c_str()) != 0) GTEST_SKIP() << "setxkbmap unavailable";
    Display* d = XOpenDisplay(server.display().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(layout.characterForKeyCode(16), "y");
    XkbLockGroup(d, XkbUseCoreKbd, 1);  // the user switches to the second layout
    XSync(d, False);
    EXPECT_TRUE(test::waitUntil(d, [&] { return layout.characterForKeyCode(16) == "z"; }));
    EXPECT_EQ(layout.keyTyping(U'z'), KEY_Y);  // shortcuts follow the group too
    XkbLockGroup(d, XkbUseCoreKbd, 0);
    XSync(d, False);
    EXPECT_TRUE(test::waitUntil(d, [&] { return layout.characterForKeyCode(16) == "y"; }));
    EXPECT_EQ(layout.keyTyping(U'z'), KEY_Z);
    XCloseDisplay(d);

    // A server that goes away leaves the last layout in place.
    server.killServer();
    EXPECT_EQ(layout.characterForKeyCode(0), "a");
    EXPECT_FALSE(layout.followsDisplay());
}

}  // namespace
}  // namespace vandrel
