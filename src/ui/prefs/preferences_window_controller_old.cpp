#include "ui/prefs/preferences_window_controller_old.h"

#include <QCloseEvent>
#include <QVBoxLayout>
#include <utility>

#include "core/log.h"
#include "ui/prefs/general_view_controller.h"
#include "ui/prefs/setting_rows.h"
#include "ui/prefs/tab_view_controller.h"

namespace vandrel {

PreferencesWindowControllerOld::PreferencesWindowControllerOld(std::unique_ptr<QWidget> window)
    : window_(std::move(window))
{
    if (!window_) window_ = std::make_unique<QWidget>();
    window_->installEventFilter(this);
    log.info("preferences windowDidLoad");
}

PreferencesWindowControllerOld::~PreferencesWindowControllerOld()
{
    window_->removeEventFilter(this);
}

std::unique_ptr<PreferencesWindowControllerOld> PreferencesWindowControllerOld::make(
    std::function<void()> checkForUpdates)
{
    auto window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    auto* tabs = new TabViewController(window.get());
    tabs->addTab(new GeneralViewController(std::move(checkForUpdates)), localizedText("General"));
    layout->addWidget(tabs);
    return std::make_unique<PreferencesWindowControllerOld>(std::move(window));
}

void PreferencesWindowControllerOld::showWindow()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool PreferencesWindowControllerOld::windowShouldClose()
{
    window_->hide();
    return false;
}

bool PreferencesWindowControllerOld::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_.get() && event->type() == QEvent::Close) {
        if (!windowShouldClose()) {
            event->ignore();
            return true;
        }
        log.info("preferences windowWillClose");
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vandrel
