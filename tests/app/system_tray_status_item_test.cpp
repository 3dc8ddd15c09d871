#include "app/system_tray_status_item.h"

#include <gtest/gtest.h>

#include <QMenu>

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

TEST(SystemTrayStatusItemTest, TheIconChosenForAPanelStandsOutFromItOnLightAndDarkPanels)
{
    for (const char* name : {"MenubarIcon", "MenubarIcon-alert"})
        for (const QColor panel :
             {QColor(0x1e, 0x1e, 0x1e), QColor(0x3c, 0x3f, 0x41), QColor(0xef, 0xf0, 0xf1), QColor(Qt::white)}) {
            const QImage icon = ImageAsset(SystemTrayStatusItem::imageNameForPanel(name, panel)).image();
            ASSERT_FALSE(icon.isNull()) << name;
            EXPECT_GE(test::legibleShare(icon, panel), 0.2) << name << " on " << panel.name().toStdString();
        }
    // The plain black icon alone would vanish on a dark panel.
    EXPECT_LT(test::legibleShare(ImageAsset("MenubarIcon").image(), QColor(0x1e, 0x1e, 0x1e)), 0.2);
}

}  // namespace
}  // namespace vandrel
