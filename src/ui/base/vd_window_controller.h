// The base of the program's ordinary windows: a titled, closable, minimizable window of 640 x 400 that the
// user cannot resize, with a padded container view for its content.
//
//   class VDFeedbackWindowController : public VDWindowController { ... build into containerView() ... };
//
// Subclasses that want another size call window()->setFixedSize(...) themselves.
#pragma once

#include <QObject>
#include <QWidget>
#include <memory>

#include "ui/base/window_container_view.h"

namespace vandrel {

class VDWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int initialWidth = 640;
    static constexpr int initialHeight = 400;

    // The arguments are accepted for the subclasses' convenience; the window starts at 640 x 400 always.
    explicit VDWindowController(int width = initialWidth, int height = initialHeight);
    ~VDWindowController() override;

    QWidget* window() const { return window_.get(); }
    WindowContainerView* containerView() const { return containerView_; }
    void setContainerView(WindowContainerView* view) { containerView_ = view; }

    // Brings the program to the front, shows the window and centres it on its screen (again, when it was
    // already shown).
    virtual void showWindow();

private:
    std::unique_ptr<QWidget> window_;
    WindowContainerView* containerView_ = nullptr;  // a child of window_
};

// Centres window on its screen, a little above the middle, as the platform centres new windows.
void centerWindowOnScreen(QWidget* window);

}  // namespace vandrel
