#include "ui/base/window_fit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QWindow>
#include <algorithm>

namespace vandrel {

namespace {

// Before the window manager has framed a window its frame is unknown: a title bar a little taller than a
// line of text, and thin borders with a handle at the bottom, as most managers draw them.
QMargins estimatedFrame(const QWidget& window)
{
    const int titleBar = std::max(window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window),
                                  window.fontMetrics().height() + 12);
    return QMargins(4, titleBar, 4, 8);
}

constexpr const char* kBaseSizeFixName = "vandrel_base_size_fix";

// Sets the base size of every window about to be shown (Show comes before Qt maps it).
class BaseSizeFix final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (!widget->isWindow()) return false;
        // The widget hands its own base size to its window again whenever its size limits change.
        widget->setBaseSize(0, 0);
        if (QWindow* handle = widget->windowHandle(); handle && handle->baseSize() != QSize(0, 0))
            handle->setBaseSize(QSize(0, 0));
        return false;
    }
};

}  // namespace

QRect WindowFit::availableArea(const QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QMargins WindowFit::frameMargins(const QWidget& window)
{
    if (window.windowFlags().testFlag(Qt::FramelessWindowHint)) return {};
    QMargins known;
    if (const QWindow* handle = window.windowHandle()) known = handle->frameMargins();
    // An X11 window manager frames a window only once it maps it: until then the frame is a guess.
    if (known.isNull() && QGuiApplication::platformName() == QLatin1String("xcb")) return estimatedFrame(window);
    return known;
}

QSize WindowFit::maximumSize(const QWidget& window)
{
    const QRect area = availableArea(window);
    if (area.isEmpty()) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QMargins frame = frameMargins(window);
    return QSize(std::max(1, area.width() - frame.left() - frame.right()),
                 std::max(1, area.height() - frame.top() - frame.bottom()));
}

void WindowFit::settleLayouts(QWidget& window)
{
    // Every widget's cached sizes go, and with them its layouts' cached ones.
    for (QWidget* widget : window.findChildren<QWidget*>()) widget->updateGeometry();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

int WindowFit::heightForWidth(QWidget& window, int width)
{
    QLayout* layout = window.layout();
    if (!layout) return window.height();
    layout->activate();
    const int height =
        layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->totalSizeHint().height();
    return std::max(height, layout->totalMinimumSize().height());
}

void WindowFit::fit(QWidget& window, QSize minimum)
{
    // The platform's window first: some platforms know its frame from then on.
    window.winId();
    settleLayouts(window);
    // Worked out afresh, so the window also shrinks with its content.
    window.setMinimumSize(0, 0);
    window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize most = maximumSize(window);
    int width = minimum.width();
    if (QLayout* layout = window.layout()) {
        layout->activate();
        width = std::max(width, layout->totalMinimumSize().width());
    }
    width = std::min(width, most.width());
    int height = std::max(heightForWidth(window, width), minimum.height());
    if (height > most.height()) {
        // Capped: its content scrolls, and the scroll bar gets room of its own beside it.
        width =
            std::min(width + window.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &window), most.width());
        height = most.height();
    }
    // The user does not resize it.
    window.setFixedSize(width, height);
}

void WindowFit::installBaseSizeFix()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->findChild<QObject*>(kBaseSizeFixName, Qt::FindDirectChildrenOnly)) return;
    auto* fix = new BaseSizeFix(app);
    fix->setObjectName(kBaseSizeFixName);
    app->installEventFilter(fix);
}

void WindowFit::keepInside(QWidget& window)
{
    const QRect area = availableArea(window);
    if (area.isEmpty()) return;
    const QMargins frame = frameMargins(window);
    // pos() is where the frame's top-left corner goes.
    const QRect outer(window.pos(), window.size().grownBy(
                                        QMargins(0, 0, frame.left() + frame.right(), frame.top() + frame.bottom())));
    int x = outer.x();
    int y = outer.y();
    if (outer.right() > area.right()) x -= outer.right() - area.right();
    if (outer.bottom() > area.bottom()) y -= outer.bottom() - area.bottom();
    x = std::max(x, area.left());
    y = std::max(y, area.top());
    if (QPoint(x, y) != window.pos()) window.move(x, y);
}

}  // namespace vandrel
