// The tabs of the older preferences window. Selecting a tab gives the window the tab's title and makes the
// page area as tall as the tab's page asks to be (its size hint when it was selected); only the height
// changes, and the window's top edge stays.
#pragma once

#include <QSize>
#include <QTabWidget>
#include <map>

namespace vandrel {

class TabViewController : public QTabWidget {
    Q_OBJECT
public:
    explicit TabViewController(QWidget* parent = nullptr);

    const std::map<const QWidget*, QSize>& tabViewSizes() const { return tabViewSizes_; }

    // What happens on a tab change, in this order; public for the window and tests.
    void tabWillSelect(int index);
    void tabDidSelect(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void resizeWindowToFit(int index);

    std::map<const QWidget*, QSize> tabViewSizes_;
};

}  // namespace vandrel
