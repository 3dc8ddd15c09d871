#include "ui/prefs/preferences_tab_view_controller.h"

#include <QLayout>
#include <algorithm>

namespace vandrel {

PreferencesTabViewController::PreferencesTabViewController(QWidget* parent) : QWidget(parent)
{
    setFixedSize(0, 0);
}

PreferencesTabViewController::~PreferencesTabViewController()
{
    releaseViews();
}

void PreferencesTabViewController::transition(PreferencePane* from, PreferencePane& to,
                                              const std::function<void()>& completionHandler)
{
    if (from && from->isViewLoaded()) tabViewSizes_[from->paneClassName()] = from->view()->size();
    setWindowFrame(to);

    QWidget* incoming = to.view();
    if (std::find(views_.begin(), views_.end(), incoming) == views_.end()) {
        incoming->setParent(this);
        views_.emplace_back(incoming);
    }
    for (const auto& v : views_) {
        if (!v || v == incoming || v->isHidden()) continue;
        // A pane that leaves takes no keyboard focus with it (a recorder in it stops recording).
        if (QWidget* focused = v->focusWidget(); focused && v->isAncestorOf(focused)) focused->clearFocus();
        v->hide();
    }
    incoming->move(0, 0);
    incoming->show();
    if (completionHandler) completionHandler();
}

void PreferencesTabViewController::setWindowFrame(PreferencePane& incoming)
{
    const auto remembered = tabViewSizes_.find(incoming.paneClassName());
    const QSize size = remembered != tabViewSizes_.end() ? remembered->second : incoming.view()->size();
    incoming.view()->resize(size);
    // The window follows its content: this area, and with it the window, takes the pane's size. Qt keeps a
    // window's top-left corner in place when it resizes.
    setFixedSize(size);
    if (QWidget* w = window(); w != this && w->layout()) w->layout()->activate();
}

void PreferencesTabViewController::releaseViews()
{
    for (const auto& v : views_) {
        if (!v || v->parentWidget() != this) continue;
        v->hide();
        v->setParent(nullptr);
    }
    views_.clear();
}

}  // namespace vandrel
