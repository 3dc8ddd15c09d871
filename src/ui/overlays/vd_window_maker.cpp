#include "ui/overlays/vd_window_maker.h"

#include <QMouseEvent>
#include <QWindow>

namespace vandrel {

namespace {

// Moves its window while the left button drags on the background (a press no child took). The window
// manager moves it where it can; elsewhere (no window manager, the offscreen platform) the window follows
// the pointer itself.
class BackgroundDragger final : public QObject {
public:
    explicit BackgroundDragger(QWidget* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != window_) return false;
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() != Qt::LeftButton) return false;
                if (QWindow* handle = window_->windowHandle(); handle && handle->startSystemMove()) return true;
                dragging_ = true;
                grabOffset_ = mouse->globalPosition().toPoint() - window_->pos();
                return true;
            }
            case QEvent::MouseMove:
                if (!dragging_) return false;
                window_->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grabOffset_);
                return true;
            case QEvent::MouseButtonRelease:
                if (!dragging_) return false;
                dragging_ = false;
                return true;
            default:
                return false;
        }
    }

private:
    QWidget* window_;
    bool dragging_ = false;
    QPoint grabOffset_;
};

}  // namespace

std::unique_ptr<QWidget> VDWindowMaker::makeBlankWindow(int width, int height)
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window);
    window->setMinimumSize(width, height);
    window->resize(width, height);
    makeMovableByBackground(*window);
    return window;
}

void VDWindowMaker::makeMovableByBackground(QWidget& window)
{
    window.installEventFilter(new BackgroundDragger(&window));
}

}  // namespace vandrel
