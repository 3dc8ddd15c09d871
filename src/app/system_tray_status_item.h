// The status item as a tray icon (QSystemTrayIcon): the status-notifier protocol or the X embedding tray,
// whichever the desktop offers. A click opens the menu, as the context-menu request does.
//
// The icon must read on light and dark panels alike: the icon theme's "vandrel-tray" ("vandrel-tray-alert")
// when an installed theme has it, else the program's own image, its light-on-dark variant ("<name>-light")
// when the panel is dark. No desktop tells the panel's colour directly; the desktop's palette stands for it.
//
// The tray icon is made when first used (its image or menu is set, by the menu's set-up after the keyboards
// are taken), not with the item: asking the desktop for its tray takes a while on a slow machine.
//
// A desktop without a tray: the program logs it once, when the icon is made, and keeps running without the
// icon (the layout's keys still open the preferences and the cheat sheet). The icon stays asked for, so a
// tray that starts later (a panel that comes up after the program at login) still shows it.
#pragma once

#include <QColor>
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

    // The program's image for a panel of that colour: the image itself, or its light variant on a dark panel.
    static std::string imageNameForPanel(const std::string& name, const QColor& panel);
    // The icon theme's name for the image.
    static QString themeIconName(const std::string& name);

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
    QPointer<QMenu> menu_;
};

}  // namespace vandrel
