#include "app/system_tray_status_item.h"

#include <QCursor>
#include <QMenu>
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

QString SystemTrayStatusItem::themeIconName(const std::string& name)
{
    return name == "MenubarIcon-alert" ? QStringLiteral("vandrel-tray-alert") : QStringLiteral("vandrel-tray");
}

QIcon SystemTrayStatusItem::iconFor(const std::string& name)
{
    const QIcon own(QPixmap::fromImage(ImageAsset(name).image()));
    const QString themed = themeIconName(name);
    return QIcon::hasThemeIcon(themed) ? QIcon::fromTheme(themed, own) : own;
}

void SystemTrayStatusItem::setImage(const std::string& name)
{
    trayIcon().setIcon(iconFor(name));
    if (!trayIcon().isVisible()) trayIcon().show();
}

void SystemTrayStatusItem::setMenu(QMenu* menu)
{
    menu_ = menu;
    trayIcon().setContextMenu(menu);
}

}  // namespace vandrel
