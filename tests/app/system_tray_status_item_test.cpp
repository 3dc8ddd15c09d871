#include "app/system_tray_status_item.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <utility>
#include <vector>

#include "app/icon_contrast.h"
#include "core/log_capture.h"
#include "ui/base/image_asset.h"

namespace vandrel {
namespace {

TEST(SystemTrayStatusItemTest, ADesktopWithoutTrayIsLoggedOnceAndTheItemStillTakesItsImageAndMenu)
{
    // The offscreen platform of the tests has no tray.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    test::ScopedLogCapture logs;
    SystemTrayStatusItem item;
    EXPECT_EQ(logs->count(LogLevel::warning), 0u) << "the tray is asked for once the menu is set up, not before";
    QMenu menu;
    item.setMenu(&menu);
    item.setImage("MenubarIcon");
    item.setImage("MenubarIcon-alert");
    EXPECT_EQ(logs->count(LogLevel::warning), 1u);
    EXPECT_EQ(logs->count(LogLevel::error), 0u) << "both icons are shipped";
    EXPECT_FALSE(item.trayIcon().icon().isNull());
    EXPECT_EQ(item.trayIcon().contextMenu(), &menu);
}

TEST(SystemTrayStatusItemTest, TheIconsAndTheirThemedFilesStandOutFromLightAndDarkPanels)
{
    // What a tray without the theme's icons shows, and the full-colour themed icons at the sizes trays ask
    // for; the monochrome variants are left to panels that recolour them.
    const QString themes = qEnvironmentVariable("VANDREL_SOURCE_DIR") + "/resources/icons/hicolor/";
    std::vector<std::pair<QString, QImage>> icons;
    for (const char* name : {"MenubarIcon", "MenubarIcon-alert"})
        icons.emplace_back(name, SystemTrayStatusItem::iconFor(name).pixmap(22, 22).toImage());
    for (const int size : {16, 22, 24, 32, 48})
        for (const char* name : {"vandrel-tray", "vandrel-tray-alert"}) {
            const QString file = themes + QString("%1x%1/apps/%2.png").arg(size).arg(name);
            icons.emplace_back(file, QImage(file));
        }
    for (const auto& [name, icon] : icons)
        for (const QColor panel : {QColor(0x23, 0x26, 0x29), QColor(0xef, 0xf0, 0xf1), QColor(0x1e, 0x1e, 0x1e),
                                   QColor(Qt::white), QColor(0x3c, 0x3f, 0x41)}) {
            ASSERT_FALSE(icon.isNull()) << name.toStdString();
            EXPECT_GE(test::legibleShare(icon, panel), 0.2)
                << name.toStdString() << " on " << panel.name().toStdString();
        }
    // A plain black key, as the monochrome variant draws it, would vanish on a dark panel.
    EXPECT_LT(test::legibleShare(QImage(themes + "22x22/apps/vandrel-tray-symbolic.png"), QColor(0x23, 0x26, 0x29)),
              0.2);
}

}  // namespace
}  // namespace vandrel
