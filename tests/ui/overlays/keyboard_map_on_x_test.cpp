// The keyboard map on a real X server with a window manager, opened by the engine's hidden key on the
// simulated engine, with Caps and E held. The screenshot goes to <build>/screenshots.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>

#include "ui/overlays/keyboard_map_window_controller.h"
#include "ui/overlays/overlays_engine_fixture.h"
#include "ui/overlays/xvfb_session.h"

namespace vandrel::test {
namespace {

TEST(KeyboardMapOnX, CapsAndEHeld)
{
    if (XvfbSession::isChild()) GTEST_SKIP();
    XvfbSession x("1280x720x24");
    ASSERT_TRUE(x.ok()) << x.failure();
    EXPECT_EQ(x.runChild("KeyboardMapOnX.ChildOpensByTheHiddenKeyAndLightsTheHeldKeys"), 0);
}

TEST(KeyboardMapOnX, ChildOpensByTheHiddenKeyAndLightsTheHeldKeys)
{
    if (!XvfbSession::isChild()) GTEST_SKIP() << "runs on the X server of the test above";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    // As the program wires it.
    VandrelServices services;
    services.showKeyboardMap = [] {
        if (auto map = KeyboardMapWindowController::shared()) map->showWindow();
    };
    OverlaysEngine engine(services);
    KeyboardMapWindowController::installShared([core = engine.core, clock = engine.clock] {
        return KeyboardMapWindowController::dependenciesOf(*core->inputObserver(), clock);
    });

    engine.run("capslock down, shift down, ctrl down, option down, cmd down, #40 down, #40 up");
    ASSERT_TRUE(waitFor([] {
        auto map = KeyboardMapWindowController::shared();
        return map && map->isVisible();
    }));
    auto map = KeyboardMapWindowController::shared();
    ASSERT_TRUE(waitUntilExposed(*map->window()));
    engine.run("cmd up, option up, ctrl up, shift up, capslock up");
    EXPECT_TRUE(map->view()->pressed().empty());

    engine.run("capslock down, e down");
    EXPECT_TRUE(map->view()->isPressed("capslock"));
    EXPECT_TRUE(map->view()->isPressed("e"));
    EXPECT_TRUE(map->view()->isMarked("w"));
    waitFor([] { return false; }, std::chrono::milliseconds(50));  // let the window paint once
    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    EXPECT_TRUE(map->window()->grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/keyboard_map_caps_e.png"));

    engine.run("e up, capslock up");
    EXPECT_TRUE(map->view()->pressed().empty());
    map.reset();
    KeyboardMapWindowController::installShared({});
}

}  // namespace
}  // namespace vandrel::test
