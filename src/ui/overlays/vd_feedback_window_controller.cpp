#include "ui/overlays/vd_feedback_window_controller.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <mutex>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "core/popup_msg.h"
#include "rx/operators.h"
#include "ui/base/binding_operators.h"
#include "ui/base/content_scroll_area.h"
#include "ui/base/image_asset.h"
#include "ui/base/ui_constants.h"
#include "ui/base/window_fit.h"
#include "ui/base/window_title.h"

namespace vandrel {

namespace {

constexpr int kLogoSize = 64;
constexpr int kContentSpacing = 12;
constexpr int kContentMaxWidth = VDWindowController::initialWidth - kLogoSize - 3 * UIConstants::windowPadding;  // 516
constexpr int kFieldWidth = 250;
constexpr int kDetailsHeight = 180;
constexpr int kAttachButtonMinWidth = 120;
constexpr QSize kPopoverSize{600, 400};

QString text(const char* key)
{
    return QString::fromStdString(localized(key));
}

std::optional<std::filesystem::path> chooseWithDialog(QWidget* parent)
{
    const QString file = QFileDialog::getOpenFileName(parent, text("Attach File..."));
    if (file.isEmpty()) return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

}  // namespace

InstalledInstance<VDFeedbackWindowController>& VDFeedbackWindowController::installed()
{
    static InstalledInstance<VDFeedbackWindowController> slot;
    return slot;
}

std::shared_ptr<VDFeedbackWindowController> VDFeedbackWindowController::shared()
{
    return installed().get();
}

void VDFeedbackWindowController::installShared(std::shared_ptr<VDFeedbackWindowController> form)
{
    // Windows must go before the application object: the installed form is let go when the event loop
    // ends.
    static std::once_flag releaseAtQuit;
    if (form && QCoreApplication::instance()) {
        std::call_once(releaseAtQuit, [] {
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                             [] { installShared(nullptr); });
        });
    }
    installed().install(std::move(form));
}

std::shared_ptr<VDFeedbackWindowController> VDFeedbackWindowController::create(VDFeedbackServices services)
{
    return std::make_shared<VDFeedbackWindowController>(std::move(services));
}

std::string VDFeedbackWindowController::developerModeCode()
{
    // Two pieces, so the whole word is not one string in the program file.
    return std::string("vdr") + "backstage";
}

VDFeedbackWindowController::VDFeedbackWindowController(VDFeedbackServices services) : services_(std::move(services))
{
    if (!services_.mainQueue) services_.mainQueue = MainQueue::shared();
    if (!services_.debounceScheduler) services_.debounceScheduler = services_.mainQueue;
    if (!services_.chooseFile) services_.chooseFile = chooseWithDialog;
    if (!services_.popup) services_.popup = &popupMsg;
    if (!services_.makeDiagnostics) {
        SettingsStore* settings = services_.settings;
        services_.makeDiagnostics = [settings] {
            FeedbackDiagnostics::Sources sources;
            sources.settings = settings;
            return std::make_shared<FeedbackDiagnostics>(sources);
        };
    }
    if (!services_.upload) {
        FeedbackUploader::Options options;
        options.settings = services_.settings;
        options.mainQueue = services_.mainQueue;
        auto uploader = std::make_shared<FeedbackUploader>(options);
        services_.upload = [uploader](const FeedbackSubmission& submission,
                                      std::shared_ptr<FeedbackDiagnostics> diagnostics,
                                      FeedbackUploader::Completion completion) {
            uploader->upload(submission, std::move(diagnostics), std::move(completion));
        };
    }

    window()->setWindowTitle(productWindowTitle(text("_feedback_window_title")));
    addLogoView();
    addContent();
}

VDFeedbackWindowController::~VDFeedbackWindowController()
{
    log.debug("Feedback deinit");
    // Subscriptions end before the views they touch go.
    disposeBag_ = rx::DisposeBag();
}

SettingsStore& VDFeedbackWindowController::settings() const
{
    return services_.settings ? *services_.settings : Defaults();
}

void VDFeedbackWindowController::addLogoView()
{
    logoView_ = new QLabel(containerView());
    logoView_->setPixmap(QPixmap::fromImage(Asset::vandrelLogo.image())
                             .scaled(kLogoSize, kLogoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    logoView_->setFixedSize(kLogoSize, kLogoSize);
    log.debug("add logo view");
}

void VDFeedbackWindowController::addContent()
{
    contentStack_ = new StackView(Qt::Vertical);
    contentStack_->setSpacing(kContentSpacing);
    contentStack_->setMaximumWidth(kContentMaxWidth);

    formColumn_ = new QVBoxLayout();
    formColumn_->setContentsMargins(0, 0, 0, 0);
    // The rows scroll above the submit row only on a screen too small for the whole form.
    formColumn_->addWidget(new ContentScrollArea(contentStack_), 1);

    auto* row = new QHBoxLayout(containerView());
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(UIConstants::windowPadding);
    row->addWidget(logoView_, 0, Qt::AlignTop | Qt::AlignLeft);
    row->addLayout(formColumn_, 1);

    addTitleAndDescription();
    addTypeAndUserInfoInput();
    addTitleAndDetailsInput();
    addAttachFileSelector();
    addSystemInfoCheckbox();
    // Spare height goes below the rows.
    contentStack_->boxLayout()->addStretch(1);
    addSubmitButton();
    fitToContent();
}

void VDFeedbackWindowController::fitToContent()
{
    // As tall as the form needs at any font size and scale, never smaller than the standard window.
    WindowFit::fit(*window(), QSize(initialWidth, initialHeight));
}

void VDFeedbackWindowController::addTitleAndDescription()
{
    auto* heading = new QLabel(text("Feedback Form"));
    QFont font = heading->font();
    font.setPointSize(24);
    heading->setFont(font);
    heading->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    contentStack_->addArrangedSubview(heading);

    auto* description = new QLabel(text("_feedback_description"));
    description->setWordWrap(true);
    contentStack_->addArrangedSubview(description);

    unavailableNote_ = new QLabel(text("_feedback_unavailable"));
    unavailableNote_->setObjectName("feedbackUnavailableNote");
    unavailableNote_->setWordWrap(true);
    unavailableNote_->hide();
    contentStack_->addArrangedSubview(unavailableNote_);
}

void VDFeedbackWindowController::showWindow()
{
    refreshAvailability();
    fitToContent();
    VDWindowController::showWindow();
}

void VDFeedbackWindowController::refreshAvailability()
{
    hasAddress_ = !QString::fromStdString(settings().get(DefaultsKeys::feedback_apiBase)).trimmed().isEmpty();
    unavailableNote_->setVisible(!hasAddress_);
    for (QWidget* control : std::initializer_list<QWidget*>{typeSelector_, nameField_, emailField_, detailsField_,
                                                            attachFileBtn_, sendInofsCheckbox_, infoDetailsBtn_})
        control->setEnabled(hasAddress_);
    submitBtn_->setEnabled(hasAddress_ || titleField_->text().toLower().toStdString() == developerModeCode());
}

void VDFeedbackWindowController::addTypeAndUserInfoInput()
{
    typeSelector_ = new QComboBox();
    for (const auto& word : validFeedbackTypeWords) typeSelector_->addItem(QString::fromStdString(localized(word)));
    typeSelector_->setCurrentIndex(0);
    typeSelector_->setMinimumWidth(kFieldWidth);
    contentStack_->addArrangedSubview(typeSelector_, Qt::AlignLeft);

    auto* userRow = new StackView(Qt::Horizontal);
    userRow->setSpacing(PreferencesUIConstants::basicGap);
    nameField_ = new QLineEdit(QString::fromStdString(settings().get(DefaultsKeys::feedback_username)));
    nameField_->setPlaceholderText(text("Your Name (Optional)"));
    nameField_->setFixedWidth(kFieldWidth);
    emailField_ = new QLineEdit(QString::fromStdString(settings().get(DefaultsKeys::feedback_email)));
    emailField_->setPlaceholderText(text("Your Email (Optional)"));
    userRow->addArrangedSubview(nameField_);
    userRow->addArrangedSubview(emailField_);
    contentStack_->addArrangedSubview(userRow);

    saveWhileTyping(nameField_, DefaultsKeys::feedback_username);
    saveWhileTyping(emailField_, DefaultsKeys::feedback_email);
}

void VDFeedbackWindowController::saveWhileTyping(QLineEdit* field, const DefaultsKey<std::string>& key)
{
    rx::PublishSubject<std::string> typed;
    QObject::connect(field, &QLineEdit::textChanged, field,
                     [typed](const QString& value) { typed.onNext(value.toStdString()); });
    SettingsStore* store = &settings();
    const DefaultsKey<std::string>* storedKey = &key;
    (typed.asObservable() | rx::debounce(userInfoSavingDelay, services_.debounceScheduler))
        .subscribe([store, storedKey](const std::string& value) { store->set(*storedKey, value); })
        .disposed(disposeBag_);
}

void VDFeedbackWindowController::addTitleAndDetailsInput()
{
    titleField_ = new QLineEdit();
    titleField_->setPlaceholderText(text("Please enter a title... (Required)"));
    contentStack_->addArrangedSubview(titleField_);
    QObject::connect(titleField_, &QLineEdit::textChanged, this, [this] {
        if (!hasAddress_) refreshAvailability();
    });

    // Return and Tab edit the text here: a new line, a tab character.
    detailsField_ = new QPlainTextEdit();
    detailsField_->setPlaceholderText(text("Please enter details... (Required)"));
    detailsField_->setTabChangesFocus(false);
    detailsField_->setFixedHeight(kDetailsHeight);
    contentStack_->addArrangedSubview(detailsField_);

    // The submit button's Return key equivalent, everywhere but in the details.
    for (QLineEdit* field : {nameField_, emailField_, titleField_}) {
        QObject::connect(field, &QLineEdit::returnPressed, this, [this] { submitForm(); });
    }
}

void VDFeedbackWindowController::addAttachFileSelector()
{
    auto* row = new StackView(Qt::Horizontal);
    row->setSpacing(PreferencesUIConstants::basicGap);
    attachFileBtn_ = new QPushButton(QIcon(QPixmap::fromImage(Asset::attach.image())), text("Attach File..."));
    attachFileBtn_->setMinimumWidth(kAttachButtonMinWidth);
    attachFileLabel_ = new QLabel();
    // A file's name is outside text: never markup or a link.
    attachFileLabel_->setTextFormat(Qt::PlainText);
    row->addArrangedSubview(attachFileBtn_);
    row->addArrangedSubview(attachFileLabel_, Qt::AlignVCenter);
    row->boxLayout()->addStretch(1);
    contentStack_->addArrangedSubview(row);

    QObject::connect(attachFileBtn_, &QPushButton::clicked, this, [this] { attachAFile(); });
    const QPointer<QLabel> label(attachFileLabel_);
    const int labelWidth = kContentMaxWidth - kAttachButtonMinWidth - PreferencesUIConstants::basicGap;
    attachFileUrl_
        .subscribe([label, labelWidth](const std::optional<std::filesystem::path>& url) {
            if (!label) return;
            const QString name = url ? QString::fromStdString(url->filename().string()) : QString();
            label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, labelWidth));
            label->setToolTip(url ? QString::fromStdString(url->string()) : QString());
        })
        .disposed(disposeBag_);
}

void VDFeedbackWindowController::addSystemInfoCheckbox()
{
    auto* row = new StackView(Qt::Horizontal);
    row->setSpacing(PreferencesUIConstants::basicGap);
    sendInofsCheckbox_ = new QCheckBox(text("Send anonymous system profile and log file"));
    sendInofsCheckbox_->setChecked(isSendInfos_);
    bindButtonToAction(sendInofsCheckbox_, [this](bool on) { isSendInfos_ = on; }).disposed(disposeBag_);

    infoDetailsBtn_ = new QToolButton();
    infoDetailsBtn_->setAutoRaise(true);
    infoDetailsBtn_->setIcon(QIcon(QPixmap::fromImage(Asset::info.image())));
    const int iconSide = static_cast<int>(QFontInfo(QApplication::font()).pixelSize() * 1.2);
    infoDetailsBtn_->setIconSize(QSize(iconSide, iconSide));
    QObject::connect(infoDetailsBtn_, &QToolButton::clicked, this, [this] { showInfoDetails(); });

    row->addArrangedSubview(sendInofsCheckbox_);
    row->addArrangedSubview(infoDetailsBtn_);
    row->boxLayout()->addStretch(1);
    contentStack_->addArrangedSubview(row);

    // The popover: closes when the user clicks elsewhere.
    detailsInfoPopover_ = new QWidget(window(), Qt::Popup);
    detailsInfoPopover_->setFixedSize(kPopoverSize);
    infosViewController_ = new VDFeedbackInfosViewController(services_.makeDiagnostics(), detailsInfoPopover_);
    auto* popoverLayout = new QVBoxLayout(detailsInfoPopover_);
    popoverLayout->setContentsMargins(0, 0, 0, 0);
    popoverLayout->addWidget(infosViewController_);
}

void VDFeedbackWindowController::addSubmitButton()
{
    submittingIndicator_ = new QProgressBar();
    submittingIndicator_->setRange(0, 0);  // busy: it animates while shown
    submittingIndicator_->setTextVisible(false);
    submittingIndicator_->setFixedSize(64, 12);
    submittingIndicator_->hide();
    submitBtn_ = new QPushButton(text("Send Feedback"));
    submitBtn_->setDefault(true);
    QObject::connect(submitBtn_, &QPushButton::clicked, this, [this] { submitForm(); });

    auto* submitRow = new QHBoxLayout();
    submitRow->setContentsMargins(0, 0, 0, 0);
    submitRow->addStretch(1);
    submitRow->addWidget(submittingIndicator_, 0, Qt::AlignVCenter);
    submitRow->addWidget(submitBtn_);
    // Not part of the column: pinned to the bottom right.
    formColumn_->addLayout(submitRow);
}

void VDFeedbackWindowController::attachAFile()
{
    const auto chosen = services_.chooseFile(window());
    // Cancelling drops an earlier attachment.
    attachFileUrl_.accept(chosen);
}

void VDFeedbackWindowController::showInfoDetails()
{
    if (detailsInfoPopover_->isVisible()) return;
    infosViewController_->loadView();
    // Above the info button, its left edge under the button, kept on the screen.
    const QPoint anchor = infoDetailsBtn_->mapToGlobal(QPoint(0, 0));
    QPoint origin(anchor.x() - kPopoverSize.width() / 2 + infoDetailsBtn_->width() / 2,
                  anchor.y() - kPopoverSize.height());
    if (QScreen* screen = window()->screen()) {
        const QRect area = screen->availableGeometry();
        origin.setX(std::clamp(origin.x(), area.left(), std::max(area.left(), area.right() - kPopoverSize.width())));
        origin.setY(std::clamp(origin.y(), area.top(), std::max(area.top(), area.bottom() - kPopoverSize.height())));
    }
    detailsInfoPopover_->move(origin);
    detailsInfoPopover_->show();
}

void VDFeedbackWindowController::setLocked(bool locked)
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{typeSelector_, nameField_, emailField_, titleField_, detailsField_,
                                         attachFileBtn_, sendInofsCheckbox_, infoDetailsBtn_, submitBtn_}) {
        control->setEnabled(!locked);
    }
    submittingIndicator_->setVisible(locked);
    if (!locked) refreshAvailability();
}

void VDFeedbackWindowController::lockBeforeSubmit()
{
    const std::weak_ptr<VDFeedbackWindowController> weak = weak_from_this();
    services_.mainQueue->schedule([weak] {
        if (auto self = weak.lock()) self->setLocked(true);
    });
}

void VDFeedbackWindowController::unlockAfterSubmit()
{
    const std::weak_ptr<VDFeedbackWindowController> weak = weak_from_this();
    services_.mainQueue->schedule([weak] {
        if (auto self = weak.lock()) self->setLocked(false);
    });
}

void VDFeedbackWindowController::submitForm()
{
    const QString title = titleField_->text();
    if (title.isEmpty()) {
        titleField_->setFocus();
        return;
    }
    if (title.toLower().toStdString() == developerModeCode()) {
        switchDevelopMode();
        return;
    }
    if (!hasAddress_) return;
    if (detailsField_->toPlainText().isEmpty()) {
        detailsField_->setFocus();
        return;
    }
    log.debug("start to submit feedback form");
    lockBeforeSubmit();
    const std::weak_ptr<VDFeedbackWindowController> weak = weak_from_this();
    services_.mainQueue->schedule([weak] {
        if (auto self = weak.lock()) self->startUpload();
    });
}

void VDFeedbackWindowController::startUpload()
{
    FeedbackSubmission submission;
    submission.user = nameField_->text().toStdString();
    submission.email = emailField_->text().toStdString();
    submission.title = titleField_->text().toStdString();
    submission.description = detailsField_->toPlainText().toStdString();
    const int type = std::clamp(typeSelector_->currentIndex(), 0, static_cast<int>(validFeedbackType.size()) - 1);
    submission.feedbackType = validFeedbackType[static_cast<std::size_t>(type)];
    submission.attachFile = attachFileUrl_.value();
    submission.isSendInfos = isSendInfos_;
    // The completion holds the form until its outcome is handled, even when shared() moved on.
    auto self = shared_from_this();
    services_.upload(submission, infosViewController_->diagnostics(),
                     [self](const FeedbackOutcome& outcome) { self->handleOutcome(outcome); });
}

void VDFeedbackWindowController::handleOutcome(const FeedbackOutcome& outcome)
{
    if (outcome.success) {
        close();
        services_.popup(localized("_submit_success"), successMessageSeconds);
    } else {
        unlockAfterSubmit();
        services_.popup(outcome.message.empty() ? localized("_submit_fail") : outcome.message, failureMessageSeconds);
    }
}

void VDFeedbackWindowController::switchDevelopMode()
{
    const bool on = !settings().get(DefaultsKeys::app_isDevelopMode);
    settings().set(DefaultsKeys::app_isDevelopMode, on);
    if (services_.rebuildPreferences) services_.rebuildPreferences();
    services_.popup(std::string("Developer Mode: ") + (on ? "Opened" : "Closed"), developerModeMessageSeconds);
}

void VDFeedbackWindowController::close()
{
    detailsInfoPopover_->hide();
    window()->close();
    // Only the shared form hands over its place: a form the program already replaced must not throw away
    // the one the user may be writing in now.
    const auto current = shared();
    if (!current || current.get() == this) installShared(create(services_));
}

}  // namespace vandrel
