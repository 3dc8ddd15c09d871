#include "ui/prefs/tab_view_controller.h"

#include "core/localize.h"

namespace vandrel {

TabViewController::TabViewController(QWidget* parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        tabWillSelect(index);
        tabDidSelect(index);
    });
}

void TabViewController::showEvent(QShowEvent* event)
{
    QTabWidget::showEvent(event);
    if (currentIndex() >= 0 && window() != this)
        window()->setWindowTitle(QString::fromStdString(localized("Vandrel Preferences")) + QStringLiteral(" \u2014 ") +
                                 tabText(currentIndex()));
}

void TabViewController::tabWillSelect(int index)
{
    // The tab area gives every page its own size, so a page's size is the one it asks for.
    if (const QWidget* page = widget(index)) {
        const QSize wanted = page->sizeHint();
        tabViewSizes_[page] = wanted.isValid() ? wanted : page->size();
    }
}

void TabViewController::tabDidSelect(int index)
{
    if (index < 0) return;
    if (window() != this)
        window()->setWindowTitle(QString::fromStdString(localized("Vandrel Preferences")) + QStringLiteral(" \u2014 ") +
                                 tabText(index));
    resizeWindowToFit(index);
}

void TabViewController::resizeWindowToFit(int index)
{
    const QWidget* page = widget(index);
    const auto stored = page ? tabViewSizes_.find(page) : tabViewSizes_.end();
    QWidget* w = window();
    if (stored == tabViewSizes_.end() || w == this) return;
    const int pageHeight = stored->second.height();
    const int areaHeight = currentWidget() ? currentWidget()->height() : 0;
    // Qt keeps the top-left corner where it is.
    w->resize(w->width(), w->height() - areaHeight + pageHeight);
}

}  // namespace vandrel
