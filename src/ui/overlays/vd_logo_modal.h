// A small logo dialog: the product logo, lines of text, an OK button and, when OK has its own handler, a
// Cancel button left of it. The first-launch dialog is one:
//
//   VDLogoModal::showModalForFirstTimeLaunched({goTutorial, mainQueue});
//
// The dialog is not modal: an ordinary framed window titled "Vandrel" (the first-launch one "Vandrel —
// Welcome") that comes to the front when shown, closes with Escape and Ctrl+W, and lets the program keep
// running. A shown dialog keeps itself alive until its window closes and lets itself go on the next
// main-queue turn; the caller need not keep it. Main thread only.
#pragma once

#include <QPushButton>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "rx/scheduler.h"
#include "ui/overlays/pure_with_logo_window_controller.h"

namespace vandrel {

class VDLogoModal : public std::enable_shared_from_this<VDLogoModal> {
public:
    using Action = std::function<void(VDLogoModal&)>;

    struct FirstLaunchServices {
        // Opens the tutorial page.
        std::function<void()> goTutorial;
        // Where a closed dialog is let go. Default: the main queue.
        rx::SchedulerPtr mainQueue;
    };

    // Without okAction OK closes the window and stands alone; without cancelAction Cancel closes the window.
    static std::shared_ptr<VDLogoModal> make(std::vector<QString> texts, QString okButtonText, QString cancelButtonText,
                                             Action okAction = nullptr, Action cancelAction = nullptr,
                                             rx::SchedulerPtr mainQueue = nullptr);
    // Builds and shows the welcome dialog of the first launch; returns it for the tests' sake.
    static std::weak_ptr<VDLogoModal> showModalForFirstTimeLaunched(FirstLaunchServices services);

    VDLogoModal(std::vector<QString> texts, QString okButtonText, QString cancelButtonText, Action okAction,
                Action cancelAction, rx::SchedulerPtr mainQueue);
    ~VDLogoModal();
    VDLogoModal(const VDLogoModal&) = delete;
    VDLogoModal& operator=(const VDLogoModal&) = delete;

    void show();
    void close();

    PureWithLogoWindowController& windowController() { return *windowController_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    class CloseWatcher;
    void closed();

    std::unique_ptr<PureWithLogoWindowController> windowController_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    rx::SchedulerPtr mainQueue_;
    CloseWatcher* closeWatcher_ = nullptr;  // a child of the window
    // Set while the window is shown.
    std::shared_ptr<VDLogoModal> keepAlive_;
};

}  // namespace vandrel
