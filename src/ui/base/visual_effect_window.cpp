#include "ui/base/visual_effect_window.h"

#include <QPainter>
#include <QResizeEvent>

namespace vandrel {

namespace {
// The popover material: the window colour, slightly see-through.
constexpr int kBackdropAlpha = 226;
}  // namespace

VisualEffectWindow::VisualEffectWindow(const QRect& contentRect, Qt::WindowFlags extraFlags)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | extraFlags), contentView_(new QWidget(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setGeometry(contentRect);
    contentView_->setGeometry(rect());
}

void VisualEffectWindow::show()
{
    QWidget::show();
    raise();
}

void VisualEffectWindow::hide()
{
    QWidget::hide();
}

void VisualEffectWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor backdrop = palette().color(QPalette::Window);
    backdrop.setAlpha(kBackdropAlpha);
    painter.fillRect(rect(), backdrop);
}

void VisualEffectWindow::resizeEvent(QResizeEvent* event)
{
    contentView_->setGeometry(QRect(QPoint(0, 0), event->size()));
    QWidget::resizeEvent(event);
}

}  // namespace vandrel
