// The status item as a tray icon (QSystemTrayIcon): the status-notifier protocol or the X embedding tray,
// whichever the desktop offers. A click opens the menu, as the context-menu request does.
//
// The icon must read on light and dark panels alike, and no desktop tells a program its panel's colour (the
// application's palette is no guide: a light desktop may have a dark panel). The icon is the icon theme's
// "vandrel-tray" ("vandrel-tray-alert"), which the package installs, when a theme has it: a tray that
// recolours icons may take its monochrome "vandrel-tray-symbolic" variant by that name. Else it is the
// program's own image. Both full-colour icons are a light key on a dark plate with a light edge, which reads
// on any panel colour.
//
// The tray icon is made when first used (its image or menu is set, by the menu's set-up after the keyboards
// are taken), not with the item: asking the desktop for its tray takes a while on a slow machine.
//
// A desktop without a tray: the program logs it once, when the icon is made, and keeps running without the
// icon (the layout's keys still open the preferences and the cheat sheet). The icon stays asked for, so a
// tray that starts later (a panel that comes up after the program at login) still shows it.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <memory>

#include "app/status_item.h"

namespace vandrel {

class SystemTrayStatusItem final : public StatusItem {
public:
    SystemTrayStatusItem();
    ~SystemTrayStatusItem() override;

    void setImage(const std::string& name) override;
    void setMenu(QMenu* menu) override;

    // Made on first use.
    QSystemTrayIcon& trayIcon();

    // The icon for the image: the theme's, else the program's own.
    static QIcon iconFor(const std::string& name);
    // The icon theme's name for the image.
    static QString themeIconName(const std::string& name);

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
    QPointer<QMenu> menu_;
};

}  // namespace vandrel
