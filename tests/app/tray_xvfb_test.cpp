// The tray on a real X server whose window manager has a tray (fluxbox): the program's icon is embedded
// there, its menu follows the locked session, and the menu's Preferences opens the preferences window. Its
// own main() starts Xvfb and fluxbox before the application connects to them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPalette>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/app_services.h"
#include "app/icon_contrast.h"
#include "app/system_tray_status_item.h"
#include "app/tray_xvfb_x11.h"
#include "core/defaults.h"
#include "core/main_queue.h"
#include "core/settings_store.h"
#include "engine/vandrel.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/get_accessibility_window_controller.h"
#include "ui/prefs/preferences_window_controller.h"

using namespace vandrel;

namespace {

bool settle(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The tray icon's own window of this process.
QWidget* trayIconWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (QByteArray(w->metaObject()->className()) == "QSystemTrayIconSys") return w;
    return nullptr;
}

std::unique_ptr<test::TrayTestDisplay> x;

}  // namespace

TEST(TrayOnX, TheIconIsInTheTrayAndTheMenusPreferencesOpensTheWindow)
{
    ASSERT_TRUE(settle([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) << "fluxbox has no tray";

    auto background = rx::VirtualTimeScheduler::make();
    int quits = 0;
    auto sim = SimPlatform::make(background);
    PlatformInstallation platform{sim};
    AppServices::Options options;
    options.platform = sim;
    options.main = MainQueue::shared();
    options.windowBinding = options.clip = options.background = background;
    options.quit = [&quits](int) { ++quits; };
    options.core.keyEventScheduler = background;
    Installations installations;
    auto services = std::make_unique<AppServices>(std::move(options), installations);
    services->initMenuButton();
    services->installWindowsAfterKeyboardsTaken();
    auto menu = VDStatusBarMenu::shared();
    ASSERT_EQ(menu, services->statusBarMenu);

    QWidget* icon = nullptr;
    ASSERT_TRUE(settle([&] { return (icon = trayIconWindow()) != nullptr; })) << "no tray icon was made";
    EXPECT_TRUE(settle([&] { return x->isEmbeddedInTray(icon->winId()); })) << "the icon is not in the tray";

    // A locked session puts the warning on top.
    services->core->env->isInSecureInput.accept(true);
    ASSERT_TRUE(settle([&] { return menu->menu()->actions().size() == 16; }));
    EXPECT_FALSE(menu->menu()->actions().first()->isEnabled());
    services->core->env->isInSecureInput.accept(false);
    ASSERT_TRUE(settle([&] { return menu->menu()->actions().size() == 11; }));

    // The menu opens on screen.
    menu->menu()->popup(QPoint(100, 100));
    EXPECT_TRUE(settle([&] { return menu->menu()->windowHandle() && menu->menu()->windowHandle()->isExposed(); }));
    menu->menu()->hide();
    menu->menuItemPreferences->trigger();
    ASSERT_TRUE(settle([] { return PreferencesWindowController::hasShared(); }));
    QWidget* window = PreferencesWindowController::shared().window();
    EXPECT_TRUE(settle([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    EXPECT_TRUE(x->waitUntilManaged(window->winId())) << "the window manager never took the window";
    EXPECT_FALSE(window->windowIcon().isNull()) << "every window carries the program's icon";

    menu->menu()->actions().last()->trigger();
    EXPECT_EQ(quits, 1);

    installations.clear();
    services.reset();
    EXPECT_EQ(VDStatusBarMenu::shared(), nullptr);
    EXPECT_EQ(installedVandrel(), nullptr);
}

TEST(TrayOnX, TheIconStandsOutOnADarkAndOnALightPanel)
{
    ASSERT_TRUE(settle([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) << "fluxbox has no tray";
    SystemTrayStatusItem item;
    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    const QPalette original = QApplication::palette();
    for (const auto& [panel, file] : {std::pair{QColor(0x23, 0x26, 0x29), "tray_icon_on_dark.png"},
                                      std::pair{QColor(0xef, 0xf0, 0xf1), "tray_icon_on_light.png"}}) {
        QPalette palette = original;
        palette.setColor(QPalette::Window, panel);
        QApplication::setPalette(palette);
        item.setImage("MenubarIcon");
        const QImage icon = item.trayIcon().icon().pixmap(22, 22).toImage();
        EXPECT_GE(test::legibleShare(icon, panel), 0.2) << file;
        // What a reviewer sees: the icon, enlarged, on the panel's colour.
        QImage shown(icon.size() * 4, QImage::Format_ARGB32);
        shown.fill(panel);
        QPainter(&shown).drawImage(shown.rect(), icon);
        EXPECT_TRUE(shown.save(QString(VANDREL_SCREENSHOT_DIR) + "/" + file));
    }
    QApplication::setPalette(original);
}

TEST(AccessGuideOnX, TheGuideShowsOnTheDesktopWithItsCommands)
{
    GetAccessibilityServices services;
    services.hasPermission = [] { return false; };
    services.missingAccess = [] {
        return std::vector<std::string>{"read access to the keyboards under /dev/input",
                                        "write access to /dev/uinput, which makes the virtual keyboard"};
    };
    services.grantCommands = [] {
        return std::string(
            "sudo cp /usr/share/vandrel/70-vandrel-input.rules /etc/udev/rules.d/\n"
            "sudo udevadm control --reload\nsudo udevadm trigger\n");
    };
    auto guide = GetAccessibilityWindowController::make(services);
    guide->showWindow();
    QWidget* window = guide->window();
    ASSERT_TRUE(settle([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    EXPECT_TRUE(window->grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/access_guide.png"));
    window->close();
}

int main(int argc, char** argv)
{
    x = std::make_unique<test::TrayTestDisplay>();
    if (!x->failure().empty()) {
        std::fprintf(stderr, "no X server for the test: %s\n", x->failure().c_str());
        return 1;
    }
    setenv("DISPLAY", x->display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The tray of the test's window manager, not a status-notifier host the session bus may have.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    int code = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        testing::InitGoogleTest(&argc, argv);
        code = RUN_ALL_TESTS();
    }
    x.reset();
    return code;
}
