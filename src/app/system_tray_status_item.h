// The status item as a tray icon (QSystemTrayIcon): the status-notifier protocol or the X embedding tray,
// whichever the desktop offers. A click opens the menu, as the context-menu request does.
//
// A desktop without a tray: the program logs it once, when the item is made, and keeps running without the
// icon (the layout's keys still open the preferences and the cheat sheet). The icon stays asked for, so a
// tray that starts later (a panel that comes up after the program at login) still shows it.
#pragma once

#include <QPointer>
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

    QSystemTrayIcon& trayIcon() { return *tray_; }

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
    QPointer<QMenu> menu_;
};

}  // namespace vandrel
