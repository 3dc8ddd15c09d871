// The feedback form: the user writes a bug report or a feature request and sends it, optionally with a
// file and with anonymous diagnostics, to the configured feedback address (FeedbackUploader).
//
// One form at a time is the shared one: the program builds it and installs it,
//
//   VDFeedbackWindowController::installShared(VDFeedbackWindowController::create(services));
//   VDFeedbackWindowController::shared()->showWindow();            // the tray menu's "Feedback..."
//
// and close() (called after a successful upload) replaces it with a fresh form built from the same
// services. A window closed by the user keeps its form and content for the next opening.
//
// Sending: an empty title or details field takes the focus and nothing is sent (blanks are text). The form
// locks itself, hands the texts to the upload and, on the main queue, either closes (success) or unlocks
// with everything kept (failure, with the upload's reason when it has one). Typing the developer code as
// the title switches app_isDevelopMode instead and rebuilds the preferences window.
//
// The window is as large as the form needs at any font size and scale (at least 640 x 400) and no larger than
// the screen's available area, where the rows scroll above the submit button.
//
// The name and e-mail address are stored 300 ms after the user stops typing, whether or not the form is
// sent. Everything runs on the main thread; the upload holds its form until its outcome is handled.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/defaults_key.h"
#include "core/installed_instance.h"
#include "core/popup_msg.h"
#include "net/feedback_diagnostics.h"
#include "net/feedback_uploader.h"
#include "rx/rx.h"
#include "ui/base/stack_view.h"
#include "ui/base/vd_window_controller.h"
#include "ui/overlays/vd_feedback_infos_view_controller.h"

namespace vandrel {

class SettingsStore;

// What a form needs from the program. Unset members get the defaults named.
struct VDFeedbackServices {
    using Upload = std::function<void(const FeedbackSubmission&, std::shared_ptr<FeedbackDiagnostics>,
                                      FeedbackUploader::Completion)>;

    // Sends one report and calls the completion once, on the main queue. Default: one FeedbackUploader
    // (shared by the forms built from these services) reading the address from `settings`.
    Upload upload;
    // Asks the user for one file; none when cancelled. Default: the toolkit's open-file dialog.
    std::function<std::optional<std::filesystem::path>(QWidget* parent)> chooseFile;
    // Closes the preferences window and builds it again, so its pane list follows app_isDevelopMode.
    // Default: nothing.
    std::function<void()> rebuildPreferences;
    // The diagnostics of each new form. Default: the running system's, with `settings` as the dump.
    std::function<std::shared_ptr<FeedbackDiagnostics>()> makeDiagnostics;
    // The settings of the name, the e-mail address and the developer mode. Default: Defaults().
    SettingsStore* settings = nullptr;
    // Where locking, the upload's start and unlocking are queued. Default: the main queue.
    rx::SchedulerPtr mainQueue;
    // Where the name and e-mail address wait before they are stored. Default: mainQueue.
    rx::SchedulerPtr debounceScheduler;
    // Shows the outcome and developer-mode messages. Default: popupMsg.
    PopupPresenter popup;
};

class VDFeedbackWindowController : public VDWindowController,
                                   public std::enable_shared_from_this<VDFeedbackWindowController> {
    Q_OBJECT
public:
    // Wire values of the feedback types and the texts of the type menu, in menu order.
    static inline const std::vector<std::string> validFeedbackType{"bugReport", "featureRequest"};
    static inline const std::vector<std::string> validFeedbackTypeWords{"Bug Report", "Feature Request"};
    static constexpr std::chrono::milliseconds userInfoSavingDelay{300};
    static constexpr double successMessageSeconds = 7;
    static constexpr double failureMessageSeconds = 10;
    static constexpr double developerModeMessageSeconds = 3;

    // The installed form; null until the program installs one and again once the event loop has ended
    // (windows must go before the application object).
    static std::shared_ptr<VDFeedbackWindowController> shared();
    static InstalledInstance<VDFeedbackWindowController>& installed();
    static void installShared(std::shared_ptr<VDFeedbackWindowController> form);

    // A new form (forms live in shared pointers: the upload holds its form).
    static std::shared_ptr<VDFeedbackWindowController> create(VDFeedbackServices services);

    explicit VDFeedbackWindowController(VDFeedbackServices services);
    ~VDFeedbackWindowController() override;

    // Closes the window; when this is the shared form, a fresh form takes its place.
    void close();
    void submitForm();
    void attachAFile();
    void showInfoDetails();
    void lockBeforeSubmit();
    void unlockAfterSubmit();

    // The title that switches the developer mode (compared after lower-casing the title).
    static std::string developerModeCode();

    bool isSendInfos() const { return isSendInfos_; }
    std::optional<std::filesystem::path> attachFileUrl() const { return attachFileUrl_.value(); }
    void setAttachFileUrl(std::optional<std::filesystem::path> url) { attachFileUrl_.accept(std::move(url)); }

    // The form's controls (owned by the window).
    QLabel* logoView() const { return logoView_; }
    StackView* contentStack() const { return contentStack_; }
    QComboBox* typeSelector() const { return typeSelector_; }
    QLineEdit* nameField() const { return nameField_; }
    QLineEdit* emailField() const { return emailField_; }
    QLineEdit* titleField() const { return titleField_; }
    QPlainTextEdit* detailsField() const { return detailsField_; }
    QPushButton* attachFileBtn() const { return attachFileBtn_; }
    QLabel* attachFileLabel() const { return attachFileLabel_; }
    QCheckBox* sendInofsCheckbox() const { return sendInofsCheckbox_; }
    QToolButton* infoDetailsBtn() const { return infoDetailsBtn_; }
    QPushButton* submitBtn() const { return submitBtn_; }
    QProgressBar* submittingIndicator() const { return submittingIndicator_; }
    QWidget* detailsInfoPopover() const { return detailsInfoPopover_; }
    // The sentence shown while no feedback address is set; hidden otherwise.
    QLabel* unavailableNote() const { return unavailableNote_; }

    // Reads the feedback address again: without one the form's controls are disabled (the title stays, for
    // the developer word) and the note says why and where the address is set.
    void refreshAvailability();
    void showWindow() override;
    VDFeedbackInfosViewController* infosViewController() const { return infosViewController_; }

private:
    void addLogoView();
    void addContent();
    void addTitleAndDescription();
    void addTypeAndUserInfoInput();
    void addTitleAndDetailsInput();
    void addAttachFileSelector();
    void addSystemInfoCheckbox();
    void addSubmitButton();
    // The window's size for what it shows now.
    void fitToContent();
    void saveWhileTyping(QLineEdit* field, const DefaultsKey<std::string>& key);

    void switchDevelopMode();
    void setLocked(bool locked);
    void startUpload();
    void handleOutcome(const FeedbackOutcome& outcome);
    SettingsStore& settings() const;

    VDFeedbackServices services_;
    bool isSendInfos_ = true;
    rx::BehaviorRelay<std::optional<std::filesystem::path>> attachFileUrl_{std::nullopt};

    // Owned by the window.
    QLabel* logoView_ = nullptr;
    StackView* contentStack_ = nullptr;
    QComboBox* typeSelector_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QLineEdit* emailField_ = nullptr;
    QLineEdit* titleField_ = nullptr;
    QPlainTextEdit* detailsField_ = nullptr;
    QPushButton* attachFileBtn_ = nullptr;
    QLabel* attachFileLabel_ = nullptr;
    QCheckBox* sendInofsCheckbox_ = nullptr;
    QToolButton* infoDetailsBtn_ = nullptr;
    QPushButton* submitBtn_ = nullptr;
    QProgressBar* submittingIndicator_ = nullptr;
    QLabel* unavailableNote_ = nullptr;
    bool hasAddress_ = true;
    QWidget* detailsInfoPopover_ = nullptr;
    VDFeedbackInfosViewController* infosViewController_ = nullptr;
    QVBoxLayout* formColumn_ = nullptr;  // the content column and, below it, the submit row

    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
