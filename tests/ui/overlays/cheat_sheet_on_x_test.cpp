// The cheat sheet of the default layout on a real X server with a window manager, brought up by its key on
// the simulated engine, at two screen sizes; pinning keeps the same window above the others through the window
// manager, and a transient message stays out of the task bar. Screenshots go to <build>/screenshots.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <set>
#include <string>

#include "ui/base/ui_constants.h"
#include "ui/base/vd_msgbox.h"
#include "ui/overlays/overlays_engine_fixture.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "ui/overlays/xvfb_session.h"

namespace vandrel::test {
namespace {

// The window manager's states of the window (_NET_WM_STATE), by name.
std::set<std::string> netWmStates(const QWidget& window);

void runOnScreen(const std::string& screen, const std::string& picture)
{
    XvfbSession x(screen + "x24");
    ASSERT_TRUE(x.ok()) << x.failure();
    EXPECT_EQ(x.runChild("CheatSheetOnX.ChildShowsTheDefaultLayoutByItsKey", {"VANDREL_SCREENSHOT=" + picture}), 0);
}

TEST(CheatSheetOnX, FullHdScreen)
{
    if (XvfbSession::isChild()) GTEST_SKIP();
    runOnScreen("1920x1080", "cheat_sheet_1920x1080.png");
}

TEST(CheatSheetOnX, SmallScreen)
{
    if (XvfbSession::isChild()) GTEST_SKIP();
    runOnScreen("1280x720", "cheat_sheet_1280x720.png");
}

TEST(CheatSheetOnX, ChildShowsTheDefaultLayoutByItsKey)
{
    if (!XvfbSession::isChild()) GTEST_SKIP() << "runs on the X server of the tests above";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    waitForWorkArea();
    // As the program wires it.
    VandrelServices services;
    services.showCheatSheet = [] {
        if (auto sheet = VDCheatSheetWindowController::forVandrel()) sheet->show();
    };
    OverlaysEngine engine(services);
    VDCheatSheetWindowController::installForVandrel(
        [core = engine.core] { return VDCheatSheetWindowController::dependenciesOf(*core); });

    engine.run("capslock down, shift down, slash down, slash up");
    ASSERT_TRUE(waitFor([] {
        auto sheet = VDCheatSheetWindowController::forVandrel();
        return sheet && sheet->isVisible();
    }));
    auto sheet = VDCheatSheetWindowController::forVandrel();
    ASSERT_TRUE(waitUntilExposed(*sheet->window()));

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = sheet->window()->geometry();
    EXPECT_TRUE(available.contains(frame))
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    EXPECT_LE(frame.height(), available.height() * CheatSheetUIConstants::maxPercentOfFullVisibleScreen);
    const auto scheme = engine.core->keyService->activeKeyScheme.value();
    const int groups = static_cast<int>(scheme->allSettingsGroups().size());
    EXPECT_EQ(sheet->allGroupStackViews().size(), static_cast<std::size_t>(groups));
    // As many columns as fit, each as wide as its texts need.
    const auto widths = cheatSheetGroupWidths(*scheme);
    const int fitting = calculateMaxListCount(double(available.width()), groups, [&](int count) {
        return listWidthsOf(widths, calcGroupsOfListToDisplay(*scheme, count));
    });
    EXPECT_EQ(listStackSubviewCount(*sheet->containerStackView()), fitting);

    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    const QString file =
        QString(VANDREL_SCREENSHOT_DIR) + "/" + QString::fromStdString(XvfbSession::childValue("VANDREL_SCREENSHOT"));
    EXPECT_TRUE(sheet->window()->grab().save(file));

    // Pinned by default: releasing Caps leaves it up.
    engine.run("shift up, capslock up");
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(sheet->isVisible());

    // Pinned, it is kept above other windows by the window manager, on screen throughout.
    const auto above = [&] { return netWmStates(*sheet->window()).count("_NET_WM_STATE_ABOVE") == 1; };
    EXPECT_TRUE(waitFor(above));
    sheet->lockButton()->click();
    EXPECT_TRUE(waitFor([&] { return !above(); }));
    sheet->lockButton()->click();
    EXPECT_TRUE(waitFor(above));
    EXPECT_TRUE(sheet->isVisible());

    // A transient message is no entry of a task bar or pager.
    const auto toast = VDMsgbox::present("Pinned", 3.0, engine.clock);
    ASSERT_TRUE(waitUntilExposed(*toast));
    EXPECT_TRUE(waitFor([&] {
        const auto states = netWmStates(*toast);
        return states.count("_NET_WM_STATE_SKIP_TASKBAR") && states.count("_NET_WM_STATE_SKIP_PAGER");
    }));
    sheet.reset();
    VDCheatSheetWindowController::installForVandrel({});
}

}  // namespace
}  // namespace vandrel::test

// Last: Xlib defines macros (None, Bool, Status ...) that Qt's headers use as names.
// clang-format off
#include <QtGui/qguiapplication_platform.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// clang-format on

namespace vandrel::test {
namespace {

std::set<std::string> netWmStates(const QWidget& window)
{
    std::set<std::string> names;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return names;
    Display* display = x11->display();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, static_cast<::Window>(window.winId()), XInternAtom(display, "_NET_WM_STATE", False),
                           0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && format == 32)
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(display, reinterpret_cast<const Atom*>(data)[i]);
            if (name) names.insert(name);
            XFree(name);
        }
    if (data) XFree(data);
    return names;
}

}  // namespace
}  // namespace vandrel::test
