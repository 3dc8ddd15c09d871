// The tray on a real X server whose window manager has a tray (fluxbox): the program's icon is embedded
// there, its menu follows the locked session, and the menu's Preferences opens the preferences window. Its
// own main() starts Xvfb and fluxbox before the application connects to them.
//
// Every window and box of the program on screens of several sizes and scales (WindowsOnX): each row of the
// screens' table runs this binary again on an Xvfb of its own with its scale, where every window opens in
// turn and must show all its text inside the screen's available area. The pictures go to
// <build>/screenshots/windows/<screen>/.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "app/app_services.h"
#include "app/icon_contrast.h"
#include "app/system_tray_status_item.h"
#include "app/tray_xvfb_x11.h"
#include "app/vd_updater.h"
#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/main_queue.h"
#include "core/settings_store.h"
#include "engine/sim_core_options.h"
#include "engine/vandrel.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/base/vd_msgbox.h"
#include "ui/base/window_fit.h"
#include "ui/overlays/get_accessibility_window_controller.h"
#include "ui/overlays/keyboard_map_window_controller.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "ui/overlays/vd_feedback_window_controller.h"
#include "ui/overlays/vd_logo_modal.h"
#include "ui/overlays/xvfb_session.h"
#include "ui/prefs/hotkeys_preference_view_controller.h"
#include "ui/prefs/preferences_window_controller.h"
#include "ui/prefs/vd_hotkey_setting_popup_window.h"
#include "ui/prefs/vd_key_scheme_manager_window.h"

using namespace vandrel;

namespace {

bool settle(const std::function<bool()>& condition)
{
    return test::waitFor(condition, std::chrono::seconds(10));
}

// The tray icon's own window of this process.
QWidget* trayIconWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (QByteArray(w->metaObject()->className()) == "QSystemTrayIconSys") return w;
    return nullptr;
}

// The guide of a user who may neither read the keyboards nor make the virtual one, with the commands it shows.
GetAccessibilityServices guideServices()
{
    GetAccessibilityServices services;
    services.hasPermission = [] { return false; };
    services.missingAccess = [] {
        return std::vector<std::string>{"read access to the keyboards under /dev/input",
                                        "write access to /dev/uinput, which makes the virtual keyboard"};
    };
    services.grantCommands = [] {
        return std::string(
            "sudo modprobe uinput\necho uinput | sudo tee /etc/modules-load.d/uinput.conf\n"
            "sudo cp /usr/share/vandrel/linux/70-vandrel-input.rules /etc/udev/rules.d/\n"
            "sudo udevadm control --reload-rules && sudo udevadm trigger\n");
    };
    return services;
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
    // The application's palette is no guide to the panel's colour: the same icon must read on both.
    item.setImage("MenubarIcon");
    const QImage icon = item.trayIcon().icon().pixmap(22, 22).toImage();
    for (const auto& [panel, file] : {std::pair{QColor(0x23, 0x26, 0x29), "tray_icon_on_dark.png"},
                                      std::pair{QColor(0xef, 0xf0, 0xf1), "tray_icon_on_light.png"}}) {
        EXPECT_GE(test::legibleShare(icon, panel), 0.2) << file;
        // What a reviewer sees: the icon, enlarged, on the panel's colour.
        QImage shown(icon.size() * 4, QImage::Format_ARGB32);
        shown.fill(panel);
        QPainter(&shown).drawImage(shown.rect(), icon);
        EXPECT_TRUE(shown.save(QString(VANDREL_SCREENSHOT_DIR) + "/" + file));
    }
}

TEST(AccessGuideOnX, TheGuideShowsOnTheDesktopWithItsCommands)
{
    auto guide = GetAccessibilityWindowController::make(guideServices());
    guide->showWindow();
    QWidget* window = guide->window();
    ASSERT_TRUE(settle([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    EXPECT_TRUE(window->grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/access_guide.png"));
    window->close();
}

// ---- Every window at every scale ---------------------------------------------------------------------------

namespace {

// The screens: 1366x768 at scale 1, Full HD at 1.5 and 2, and 1600x1000 with the fonts at 144 dpi (what
// "Xft.dpi: 144" gives Qt on X11).
struct ScreenRow {
    const char* name;
    const char* size;
    const char* scale;  // its environment entry
};
constexpr ScreenRow kScreens[] = {
    {"1366x768_scale1", "1366x768", "QT_SCALE_FACTOR=1"},
    {"1920x1080_scale1.5", "1920x1080", "QT_SCALE_FACTOR=1.5"},
    {"1920x1080_scale2", "1920x1080", "QT_SCALE_FACTOR=2"},
    {"1600x1000_dpi144", "1600x1000", "QT_FONT_DPI=144"},
};

// Whether all of the widget is inside its ancestors up to its window; content of a scroll area counts as
// shown, the user scrolls to it.
bool insideItsWindow(const QWidget& widget)
{
    for (const QWidget* ancestor = widget.parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (const auto* area = qobject_cast<const QAbstractScrollArea*>(ancestor->parentWidget());
            area && area->viewport() == ancestor)
            return true;
        if (!ancestor->rect().contains(QRect(widget.mapTo(ancestor, QPoint(0, 0)), widget.size()))) return false;
        if (ancestor->isWindow()) return true;
    }
    return true;
}

// The text a label, button, field or pop-up shows, and the room it needs.
std::pair<QString, QSize> textAndRoom(const QWidget& widget)
{
    const QFontMetrics fm = widget.fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        return {label->text(), label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint()};
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        const QString text = QString(button->text()).remove(QLatin1Char('&'));
        // A style's least width of a push button is for wide ones: a narrow one needs its text and margins.
        const int margins = 2 * widget.style()->pixelMetric(QStyle::PM_ButtonMargin) +
                            (button->icon().isNull() ? 0 : button->iconSize().width());
        const int width = qobject_cast<const QPushButton*>(button)
                              ? std::min(button->sizeHint().width(), fm.horizontalAdvance(text) + margins)
                              : button->sizeHint().width();
        return {text, QSize(width, fm.height())};
    }
    if (const auto* field = qobject_cast<const QLineEdit*>(&widget)) {
        const QString text = field->text().isEmpty() ? field->placeholderText() : field->text();
        return {text, QSize(fm.horizontalAdvance(text) + 8, fm.height())};
    }
    if (const auto* popup = qobject_cast<const QComboBox*>(&widget))
        return {popup->currentText(), popup->minimumSizeHint()};
    return {};
}

// A row's window once the window manager has framed and placed it (bounded); the title it shows.
bool settled(QWidget& window)
{
    if (!test::waitUntilExposed(window)) return false;
    const bool framed = !window.windowFlags().testFlag(Qt::FramelessWindowHint) &&
                        !window.windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
    QRect last;
    return test::waitFor([&] {
        QCoreApplication::sendPostedEvents();
        const QRect now = window.frameGeometry();
        const bool same = now == last;
        last = now;
        return same && (!framed || !window.windowHandle()->frameMargins().isNull());
    });
}

// Checks one window of a row and keeps its picture: a title of the program's, all its text shown, and its
// frame inside the screen's available area.
void expectWhole(const std::string& row, QWidget& window)
{
    SCOPED_TRACE(row);
    ASSERT_TRUE(settled(window)) << "not shown";
    const QString title = window.windowTitle().isEmpty() ? QCoreApplication::applicationName() : window.windowTitle();
    EXPECT_TRUE(title == "Vandrel" || title.startsWith(QStringLiteral("Vandrel \u2014 "))) << title.toStdString();
    std::vector<std::string> cut;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        const auto [text, room] = textAndRoom(*widget);
        if (!widget->isVisible() || widget->window() != &window || text.isEmpty()) continue;
        if (widget->width() < room.width() || widget->height() < room.height() || !insideItsWindow(*widget))
            cut.push_back(QString::asprintf("\"%s\" needs %dx%d, has %dx%d%s", qPrintable(text.left(60)), room.width(),
                                            room.height(), widget->width(), widget->height(),
                                            insideItsWindow(*widget) ? "" : ", partly outside its window")
                              .toStdString());
    }
    EXPECT_EQ(cut, std::vector<std::string>{});
    const QRect available = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    EXPECT_TRUE(available.contains(frame))
        << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height() << " on "
        << available.width() << "x" << available.height();
    const QString folder = QString(VANDREL_SCREENSHOT_DIR) + "/windows/" +
                           QString::fromStdString(test::XvfbSession::childValue("VANDREL_SCREEN"));
    QDir().mkpath(folder);
    const QPixmap picture = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    EXPECT_TRUE(picture.save(folder + "/" + QString::fromStdString(row) + ".png"));
}

}  // namespace

TEST(WindowsOnX, EveryWindowShowsAllItsTextInsideTheScreenAtEveryScale)
{
    if (test::XvfbSession::isChild()) GTEST_SKIP();
    // Side by side, each screen on a server of its own.
    std::vector<std::future<std::string>> runs;
    for (const ScreenRow& screen : kScreens)
        runs.push_back(std::async(std::launch::async, [screen]() -> std::string {
            test::XvfbSession x(std::string(screen.size) + "x24");
            if (!x.ok()) return x.failure();
            const int code =
                x.runChild("WindowsOnX.ChildOpensEveryWindow",
                           {screen.scale, std::string("VANDREL_SCREEN=") + screen.name}, std::chrono::seconds(150));
            return code == 0 ? std::string() : "the windows' run ended with " + std::to_string(code);
        }));
    for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i].get(), "") << kScreens[i].name;
}

TEST(WindowsOnX, ChildOpensEveryWindow)
{
    if (!test::XvfbSession::isChild()) GTEST_SKIP() << "runs on the X servers of the test above";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    // As the program's main() sets it up.
    QCoreApplication::setApplicationName(QStringLiteral("Vandrel"));
    WindowFit::installBaseSizeFix();
    test::waitForWorkArea();
    QTemporaryDir dir;
    auto settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    // Every pane of the preferences.
    settings->set(DefaultsKeys::app_isDevelopMode, true);
    installDefaults(settings);
    // The default layout fills the cheat sheet and the Hotkey pane.
    BuiltInVDAction::registerAll();

    auto clock = rx::VirtualTimeScheduler::make();
    auto sim = SimPlatform::make(clock);
    PlatformInstallation platform{sim};
    AppServices::Options options;
    options.platform = sim;
    options.main = options.windowBinding = options.clip = options.background = clock;
    options.core = test::simCoreOptions(sim, clock, settings);
    Installations installations;
    auto services = std::make_unique<AppServices>(std::move(options), installations);
    services->core->start();
    clock->runDue();

    GetAccessibilityServices access = guideServices();
    access.mainQueue = clock;
    const auto guide = GetAccessibilityWindowController::make(access);
    guide->showWindow();
    expectWhole("access_guide", *guide->window());
    guide->accessGranted();
    expectWhole("access_guide_granted", *guide->window());
    guide->window()->close();

    const auto welcome = VDLogoModal::showModalForFirstTimeLaunched({[] {}, clock}).lock();
    ASSERT_NE(welcome, nullptr);
    expectWhole("first_launch", *welcome->windowController().window());
    welcome->close();

    auto& preferences = PreferencesWindowController::shared();
    for (const auto& pane : preferences.panes()) {
        preferences.show(pane->preferencePaneIdentifier());
        // The rows come a turn after the view, and the hotkey pane's scheme list after its pause.
        clock->advanceBy(rx::milliseconds(HotkeysPreferenceViewController::popupDebounceMilliseconds));
        QCoreApplication::sendPostedEvents();
        expectWhole("preferences_" + pane->preferencePaneIdentifier().rawValue, *preferences.window());
    }
    preferences.show(PreferencePaneIdentifier::hotkey);
    auto* hotkeys = dynamic_cast<HotkeysPreferenceViewController*>(preferences.selectedPane());
    ASSERT_NE(hotkeys, nullptr);
    hotkeys->startToAddHotkeySetting();
    ASSERT_NE(hotkeys->hotkeySettingPopupWindow(), nullptr);
    expectWhole("key_setting_sheet", *hotkeys->hotkeySettingPopupWindow()->settingWindow());
    hotkeys->hotkeySettingPopupWindow()->settingWindow()->close();
    hotkeys->chooseSchemeItem(hotkeys->schemePopup()->count() - 1);
    ASSERT_NE(hotkeys->keySchemeManagerWindow(), nullptr);
    expectWhole("key_scheme_manager", *hotkeys->keySchemeManagerWindow()->window());
    hotkeys->keySchemeManagerWindow()->window()->close();
    preferences.close();

    const auto sheet = VDCheatSheetWindowController::forVandrel();
    ASSERT_NE(sheet, nullptr);
    sheet->show();
    clock->runDue();
    expectWhole("cheat_sheet", *sheet->window());
    sheet->close();

    const auto map = KeyboardMapWindowController::shared();
    ASSERT_NE(map, nullptr);
    map->showWindow();
    expectWhole("keyboard_map", *map->window());
    map->close();

    services->feedbackForm()->showWindow();
    expectWhole("feedback_form", *services->feedbackForm()->window());
    services->feedbackForm()->window()->close();

    // The update check's boxes, answered once checked.
    AppcastItem release;
    release.version = "2.0.1";
    release.title = "Vandrel 2.0.1: a clearer guide, windows that fit every screen";
    release.link = "https://example.org/vandrel/2.0.1";
    const std::pair<const char*, UpdateCheckResult> boxes[] = {
        {"update_up_to_date", {UpdateCheckResult::Status::upToDate, std::nullopt, ""}},
        {"update_available", {UpdateCheckResult::Status::updateAvailable, release, ""}},
        {"update_failed",
         {UpdateCheckResult::Status::failed, std::nullopt, "The update feed cannot be read: the server answered 503"}},
    };
    for (const auto& [name, result] : boxes) {
        int answered = 0;
        VDUpdater::showResult(result, {}, VDModal([&, name = name](QMessageBox& box) {
                                  box.show();
                                  expectWhole(name, box);
                                  ++answered;
                                  return 1;
                              }));
        EXPECT_EQ(answered, 1) << name;
    }

    const auto toast = VDMsgbox::present(localized("_hold_to_keep_display"), 3.0, clock);
    expectWhole("toast", *toast);

    installations.clear();
    services.reset();
}

int main(int argc, char** argv)
{
    // A child of WindowsOnX runs on the server its parent started, at the parent's scale.
    if (!test::XvfbSession::isChild()) {
        x = std::make_unique<test::TrayTestDisplay>();
        if (!x->failure().empty()) {
            std::fprintf(stderr, "no X server for the test: %s\n", x->failure().c_str());
            return 1;
        }
        setenv("DISPLAY", x->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    // The tray of the test's window manager, not a status-notifier host the session bus may have.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("LANGUAGE", "en", 1);
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
