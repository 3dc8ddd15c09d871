#include "app/system_tray_status_item.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <cmath>

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
    QMenu menu;
    item.setMenu(&menu);
    item.setImage("MenubarIcon");
    item.setImage("MenubarIcon-alert");
    EXPECT_EQ(logs->count(LogLevel::warning), 1u);
    EXPECT_EQ(logs->count(LogLevel::error), 0u) << "both icons are shipped";
    EXPECT_FALSE(item.trayIcon().icon().isNull());
    EXPECT_EQ(item.trayIcon().contextMenu(), &menu);
}

// WCAG contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The share of the icon's drawn pixels that stand out (3:1 at least) from the panel they are drawn on.
double legibleShare(const QImage& icon, const QColor& panel)
{
    QImage shown(icon.size(), QImage::Format_ARGB32);
    shown.fill(panel);
    QPainter(&shown).drawImage(0, 0, icon);
    int drawn = 0, legible = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) {
            if (icon.pixelColor(x, y).alpha() < 128) continue;
            ++drawn;
            if (contrast(shown.pixelColor(x, y), panel) >= 3.0) ++legible;
        }
    return drawn ? double(legible) / drawn : 0.0;
}

TEST(SystemTrayStatusItemTest, TheIconChosenForAPanelStandsOutFromItOnLightAndDarkPanels)
{
    for (const char* name : {"MenubarIcon", "MenubarIcon-alert"})
        for (const QColor panel : {QColor(0x1e, 0x1e, 0x1e), QColor(0x3c, 0x3f, 0x41), QColor(0xef, 0xf0, 0xf1),
                                   QColor(Qt::white)}) {
            const QImage icon = ImageAsset(SystemTrayStatusItem::imageNameForPanel(name, panel)).image();
            ASSERT_FALSE(icon.isNull()) << name;
            EXPECT_GE(legibleShare(icon, panel), 0.2) << name << " on " << panel.name().toStdString();
        }
    // The plain black icon alone would vanish on a dark panel.
    EXPECT_LT(legibleShare(ImageAsset("MenubarIcon").image(), QColor(0x1e, 0x1e, 0x1e)), 0.2);
}

}  // namespace
}  // namespace vandrel
