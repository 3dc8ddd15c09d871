#include "ui/base/content_scroll_area.h"

#include <QEvent>
#include <QScrollBar>
#include <algorithm>

namespace vandrel {

namespace {

// Shown when the window is capped: a few lines, so the scroll bar has room to work.
constexpr int kMinimumLines = 4;

}  // namespace

ContentScrollArea::ContentScrollArea(QWidget* content, QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    setWidget(content);
    // The content lies in the viewport, outside any layout of ours: its changes of size reach the window's
    // layout through this area.
    content->installEventFilter(this);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int ContentScrollArea::heightForWidth(int width) const
{
    const QWidget* content = widget();
    if (!content) return 0;
    // The content is laid out no wider than it may be.
    width = std::min(width, content->maximumWidth());
    const int height = content->hasHeightForWidth() ? content->heightForWidth(width) : content->sizeHint().height();
    return std::min(std::max({height, content->minimumSizeHint().height(), content->minimumHeight()}),
                    content->maximumHeight());
}

int ContentScrollArea::contentMinimumWidth() const
{
    const QWidget* content = widget();
    return content ? std::max(content->minimumSizeHint().width(), content->minimumWidth()) : 0;
}

QSize ContentScrollArea::minimumSizeHint() const
{
    if (!widget()) return QScrollArea::minimumSizeHint();
    const int width = contentMinimumWidth();
    return QSize(width, std::min(heightForWidth(width), kMinimumLines * fontMetrics().height()));
}

QSize ContentScrollArea::sizeHint() const
{
    const QWidget* content = widget();
    if (!content) return QScrollArea::sizeHint();
    const int width = std::min(std::max(content->sizeHint().width(), contentMinimumWidth()), content->maximumWidth());
    return QSize(width, heightForWidth(width));
}

bool ContentScrollArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == widget() && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize))
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

bool ContentScrollArea::scrolls() const
{
    return verticalScrollBar()->maximum() > 0 || horizontalScrollBar()->maximum() > 0;
}

}  // namespace vandrel
