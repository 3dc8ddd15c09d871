#include "app/system_tray_status_item.h"

#include <gtest/gtest.h>

#include <QMenu>

#include "core/log_capture.h"

namespace vandrel {
namespace {

TEST(SystemTrayStatusItemTest, ADesktopWithoutTrayIsLoggedOnceAndTheItemStillTakesItsImageAndMenu)
{
    // The offscreen platform of the tests has no tray.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    test::ScopedLogCapture logs;
    SystemTrayStatusItem item;
    QMenu menu;
    item.setMenu(&menu);
    item.setImage("MenubarIcon");
    item.setImage("MenubarIcon-alert");
    EXPECT_EQ(logs->count(LogLevel::warning), 1u);
    EXPECT_EQ(logs->count(LogLevel::error), 0u) << "both icons are shipped";
    EXPECT_FALSE(item.trayIcon().icon().isNull());
    EXPECT_EQ(item.trayIcon().contextMenu(), &menu);
}

}  // namespace
}  // namespace vandrel
