// The area of the preferences window that shows one pane at a time and gives the window the size of the
// pane it shows. It remembers, per pane class, the size a pane's view had when it was left, and gives a pane
// shown again that size; the window grows or shrinks downwards, its top edge stays where it is.
//
// The window it stands in must size itself to its content (a layout with QLayout::SetFixedSize), as the
// preferences window does. Main thread only.
#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/prefs/preference_pane.h"

namespace vandrel {

class PreferencesTabViewController : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesTabViewController(QWidget* parent = nullptr);
    ~PreferencesTabViewController() override;

    // Leaves from (none for the first pane) for to: the size of from's view is remembered under its class
    // name, the window takes to's size, and to's view replaces from's. completionHandler, when given, runs
    // once the new view is in place.
    void transition(PreferencePane* from, PreferencePane& to, const std::function<void()>& completionHandler = {});

    const std::map<std::string, QSize>& tabViewSizes() const { return tabViewSizes_; }

    // Gives every view shown here back to its pane (parentless and hidden); run before the window goes.
    void releaseViews();

private:
    void setWindowFrame(PreferencePane& incoming);

    std::map<std::string, QSize> tabViewSizes_;
    std::vector<QPointer<QWidget>> views_;  // pane views that were put here
};

}  // namespace vandrel
