#include "ui/base/vd_window_controller.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui/base/window_close_keys.h"

namespace vandrel {

VDWindowController::VDWindowController(int /*width*/, int /*height*/)
    : window_(std::make_unique<QWidget>(
          nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint))
{
    window_->setFixedSize(initialWidth, initialHeight);
    WindowCloseKeys::install(*window_, [w = window_.get()] { w->close(); });
    containerView_ = ViewComponentized::create<WindowContainerView>(window_.get());
}

VDWindowController::~VDWindowController() = default;

void VDWindowController::showWindow()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
    centerWindowOnScreen(window_.get());
}

void centerWindowOnScreen(QWidget* window)
{
    if (!window) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    const int x = area.left() + std::max(0, (area.width() - size.width()) / 2);
    // The spare height splits one third above, two thirds below.
    const int y = area.top() + std::max(0, (area.height() - size.height()) / 3);
    window->move(x, y);
}

}  // namespace vandrel
