// The diagnostics view of the feedback form: three tabs that show what the form's diagnostics option sends:
// "System" (the system facts as indented JSON), "Log" (the current debug log) and "Preferences" (the
// settings dump). The form shows it in its popover; the upload reads the same FeedbackDiagnostics, so both
// show and send the same values.
//
// The tabs are built once, by loadView() (the popover calls it before it first shows the view); the log is
// read at that moment and not refreshed. A log that cannot be read is logged and leaves its tab empty.
// Main thread only.
#pragma once

#include <QString>
#include <QTabWidget>
#include <QWidget>
#include <memory>

#include "net/feedback_diagnostics.h"
#include "ui/base/window_container_view.h"

namespace vandrel {

class VDFeedbackInfosViewController : public QWidget {
    Q_OBJECT
public:
    explicit VDFeedbackInfosViewController(std::shared_ptr<FeedbackDiagnostics> diagnostics, QWidget* parent = nullptr);

    // Builds the container and the tabs; later calls do nothing.
    void loadView();
    bool isViewLoaded() const { return tabView_ != nullptr; }

    WindowContainerView* containerView() const { return containerView_; }
    // Null until the view is loaded.
    QTabWidget* tabView() const { return tabView_; }
    const std::shared_ptr<FeedbackDiagnostics>& diagnostics() const { return diagnostics_; }

    // A read-only, scrolling text view of text in the fixed-pitch system font, without background.
    static QWidget* makeScrollView(const QString& text);

private:
    void addSystemInfoTab();
    void addLogTab();
    void addPreferencesTab();

    std::shared_ptr<FeedbackDiagnostics> diagnostics_;
    WindowContainerView* containerView_ = nullptr;  // children of this view
    QTabWidget* tabView_ = nullptr;
};

}  // namespace vandrel
