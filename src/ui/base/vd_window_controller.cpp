#include "ui/base/vd_window_controller.h"

#include "ui/base/window_close_keys.h"
#include "ui/base/window_fit.h"

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
    // Placed before it is mapped, so the window manager frames it where it belongs.
    centerWindowOnScreen(window_.get());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void centerWindowOnScreen(QWidget* window)
{
    if (!window) return;
    // The platform's window first: some platforms know its frame from then on.
    window->winId();
    const QRect area = WindowFit::availableArea(*window);
    if (area.isEmpty()) return;
    const QMargins frame = WindowFit::frameMargins(*window);
    const QSize size =
        window->size().grownBy(QMargins(0, 0, frame.left() + frame.right(), frame.top() + frame.bottom()));
    const int x = area.left() + std::max(0, (area.width() - size.width()) / 2);
    // The spare height splits one third above, two thirds below.
    const int y = area.top() + std::max(0, (area.height() - size.height()) / 3);
    window->move(x, y);
}

}  // namespace vandrel
