// The preferences window on a real X server with a window manager: the built-in action opens it, every pane
// shows, and a picture of each is written to <build>/screenshots for review. Its own main() starts Xvfb and
// fluxbox before the application connects to them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/settings_store.h"
#include "engine/sim_core_options.h"
#include "engine/vandrel.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_window_controller.h"
// Last: it brings Xlib, whose names clash with Qt's.
#include "on_x_main.h"

using namespace vandrel;

using test::settleOnX;

TEST(PreferencesOnX, TheActionOpensTheWindowAndEveryPaneShows)
{
    Defaults().set(DefaultsKeys::app_isDevelopMode, true);
    auto mainQueue = rx::VirtualTimeScheduler::make();
    PreferencesServices services;
    services.mainQueue = mainQueue;
    PreferencePanes::install(std::make_shared<PreferencePanes>(services));
    auto sim = SimPlatform::make(mainQueue);
    PlatformInstallation platform{sim};
    // The catalogue's actions are process-wide objects: they reach the program's services through the one
    // environment installed for the process.
    auto environment = std::make_shared<BuiltInVDAction::Environment>();
    environment->services.showPreferences = [] { showPreferences(); };
    Installations installed;
    installed.install(BuiltInVDAction::environment(),
                      std::shared_ptr<const BuiltInVDAction::Environment>(std::move(environment)));

    BuiltInVDAction::showPreferences()->doWithParamSequence({});
    auto& controller = PreferencesWindowController::shared();
    QWidget* window = controller.window();
    ASSERT_TRUE(settleOnX([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    test::X11TestClient x(test::onXDisplayName());
    ASSERT_TRUE(x.wait([&] { return x.isClient(window->winId()); })) << "the window manager never took the window";
    EXPECT_TRUE(controller.toolbar()->isVisible());
    ASSERT_EQ(controller.toolbar()->actions().size(), 6);

    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    for (QAction* action : controller.toolbar()->actions()) {
        action->trigger();
        mainQueue->runDue();
        // Rows added to a shown pane show on the next turn of the event loop.
        QCoreApplication::sendPostedEvents();
        PreferencePane* pane = controller.selectedPane();
        ASSERT_TRUE(settleOnX([&] { return pane->isViewLoaded() && pane->view()->isVisible(); }));
        EXPECT_EQ(window->windowTitle(), "Vandrel \u2014 Preferences \u2014 " + pane->preferencePaneTitle());
        const QString file = QString(VANDREL_SCREENSHOT_DIR) + "/preferences_" +
                             QString::fromStdString(pane->preferencePaneIdentifier().rawValue) + ".png";
        EXPECT_TRUE(window->grab().save(file)) << file.toStdString();
    }

    // Opening again brings the same window back.
    controller.close();
    ASSERT_TRUE(settleOnX([&] { return !window->isVisible(); }));
    BuiltInVDAction::showPreferences()->doWithParamSequence({});
    EXPECT_EQ(controller.window(), window);
    EXPECT_TRUE(settleOnX([&] { return window->windowHandle()->isExposed(); }));

    PreferencesWindowController::setShared(nullptr);
    PreferencePanes::install(nullptr);
}

VANDREL_PREFS_ON_X_MAIN()
