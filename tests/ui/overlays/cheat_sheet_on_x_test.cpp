// The cheat sheet of the default layout on a real X server with a window manager, brought up by its key on
// the simulated engine, at two screen sizes. Screenshots go to <build>/screenshots.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include "ui/base/ui_constants.h"
#include "ui/overlays/overlays_engine_fixture.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "ui/overlays/xvfb_session.h"

namespace vandrel::test {
namespace {

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
    const int groups = static_cast<int>(engine.core->keyService->activeKeyScheme.value()->allSettingsGroups().size());
    EXPECT_EQ(sheet->allGroupStackViews().size(), static_cast<std::size_t>(groups));
    EXPECT_EQ(listStackSubviewCount(*sheet->containerStackView()),
              std::min(groups, calculateMaxListCount(double(available.width()))));

    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    const QString file =
        QString(VANDREL_SCREENSHOT_DIR) + "/" + QString::fromStdString(XvfbSession::childValue("VANDREL_SCREENSHOT"));
    EXPECT_TRUE(sheet->window()->grab().save(file));

    // Pinned by default: releasing Caps leaves it up.
    engine.run("shift up, capslock up");
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(sheet->isVisible());
    sheet.reset();
    VDCheatSheetWindowController::installForVandrel({});
}

}  // namespace
}  // namespace vandrel::test
