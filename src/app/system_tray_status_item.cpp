#include "app/system_tray_status_item.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPalette>
#include <QPixmap>

#include "core/log.h"
#include "ui/base/image_asset.h"

namespace vandrel {

SystemTrayStatusItem::SystemTrayStatusItem() = default;

QSystemTrayIcon& SystemTrayStatusItem::trayIcon()
{
    if (tray_) return *tray_;
    tray_ = std::make_unique<QSystemTrayIcon>();
    tray_->setToolTip("Vandrel");
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        log.warning(
            "This desktop has no system tray: Vandrel runs without its tray icon; Caps+Shift+, opens the "
            "preferences and Caps+Shift+/ the cheat sheet");
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         // The context-menu request opens the menu by itself; a plain click does the same here.
                         if (reason == QSystemTrayIcon::Trigger && menu_) menu_->popup(QCursor::pos());
                     });
    return *tray_;
}

SystemTrayStatusItem::~SystemTrayStatusItem() = default;

std::string SystemTrayStatusItem::imageNameForPanel(const std::string& name, const QColor& panel)
{
    return panel.lightness() < 128 ? name + "-light" : name;
}

QString SystemTrayStatusItem::themeIconName(const std::string& name)
{
    return name == "MenubarIcon-alert" ? QStringLiteral("vandrel-tray-alert") : QStringLiteral("vandrel-tray");
}

void SystemTrayStatusItem::setImage(const std::string& name)
{
    const QString themed = themeIconName(name);
    if (QIcon::hasThemeIcon(themed)) {
        trayIcon().setIcon(QIcon::fromTheme(themed));
    } else {
        const QColor panel = QGuiApplication::palette().color(QPalette::Window);
        trayIcon().setIcon(QIcon(QPixmap::fromImage(ImageAsset(imageNameForPanel(name, panel)).image())));
    }
    if (!trayIcon().isVisible()) trayIcon().show();
}

void SystemTrayStatusItem::setMenu(QMenu* menu)
{
    menu_ = menu;
    trayIcon().setContextMenu(menu);
}

}  // namespace vandrel
