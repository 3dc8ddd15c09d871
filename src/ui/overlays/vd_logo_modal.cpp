#include "ui/overlays/vd_logo_modal.h"

#include <QEvent>
#include <QLabel>

#include "core/localize.h"
#include "core/main_queue.h"
#include "ui/base/control_helpers.h"
#include "ui/base/ui_constants.h"
#include "ui/base/window_title.h"

namespace vandrel {

namespace {

constexpr int kWidth = 628;
constexpr int kHeight = 370;
constexpr int kPaddingX = 64;

QString text(const char* key)
{
    return QString::fromStdString(localized(key));
}

}  // namespace

// Tells the dialog when its window closed, however it was closed.
class VDLogoModal::CloseWatcher final : public QObject {
public:
    CloseWatcher(QWidget* window, VDLogoModal* modal) : QObject(window), modal_(modal)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close) modal_->closed();
        return false;
    }

private:
    VDLogoModal* modal_;
};

std::shared_ptr<VDLogoModal> VDLogoModal::make(std::vector<QString> texts, QString okButtonText,
                                               QString cancelButtonText, Action okAction, Action cancelAction,
                                               rx::SchedulerPtr mainQueue)
{
    return std::make_shared<VDLogoModal>(std::move(texts), std::move(okButtonText), std::move(cancelButtonText),
                                         std::move(okAction), std::move(cancelAction), std::move(mainQueue));
}

VDLogoModal::VDLogoModal(std::vector<QString> texts, QString okButtonText, QString cancelButtonText, Action okAction,
                         Action cancelAction, rx::SchedulerPtr mainQueue)
    : windowController_(std::make_unique<PureWithLogoWindowController>(kWidth, kHeight, kPaddingX, true)),
      okButton_(new QPushButton(okButtonText, windowController_->window())),
      cancelButton_(new QPushButton(cancelButtonText, windowController_->window())),
      mainQueue_(mainQueue ? std::move(mainQueue) : MainQueue::shared())
{
    windowController_->window()->setWindowTitle(productWindowTitle());
    okButton_->setObjectName("okButton");
    cancelButton_->setObjectName("cancelButton");
    beMinimalLimited(okButton_, UIConstants::buttonMinWidth);
    beMinimalLimited(cancelButton_, UIConstants::buttonMinWidth);
    windowController_->setDefaultButton(okButton_);
    const bool hasOkAction = static_cast<bool>(okAction);

    // The handlers get the dialog by reference: its window, and with it the buttons, go before it does.
    QObject::connect(okButton_, &QPushButton::clicked, okButton_, [this, okAction = std::move(okAction)] {
        if (okAction)
            okAction(*this);
        else
            close();
    });
    QObject::connect(cancelButton_, &QPushButton::clicked, cancelButton_,
                     [this, cancelAction = std::move(cancelAction)] {
                         if (cancelAction)
                             cancelAction(*this);
                         else
                             close();
                     });
    if (hasOkAction)
        windowController_->addButtons({cancelButton_, okButton_});
    else {
        cancelButton_->hide();
        windowController_->addButtons({okButton_});
    }
    for (const QString& line : texts) {
        auto* label = new QLabel(line);
        label->setWordWrap(true);
        windowController_->textStack()->addArrangedSubview(label);
    }
    closeWatcher_ = new CloseWatcher(windowController_->window(), this);
}

VDLogoModal::~VDLogoModal()
{
    delete closeWatcher_;
}

std::weak_ptr<VDLogoModal> VDLogoModal::showModalForFirstTimeLaunched(FirstLaunchServices services)
{
    auto goTutorial = std::move(services.goTutorial);
    auto modal = make(
        {text("first_time_launch_modal_text_1"), text("first_time_launch_modal_text_2"),
         text("first_time_launch_modal_text_3")},
        text("_button_text_go_to_tutorial"), text("Cancel"),
        [goTutorial](VDLogoModal& dialog) {
            if (goTutorial) goTutorial();
            dialog.close();
        },
        nullptr, std::move(services.mainQueue));
    modal->windowController().window()->setObjectName("modalForFirstTimeLaunchedContentView");
    modal->windowController().window()->setWindowTitle(productWindowTitle(text("_first_time_launch_title")));
    modal->show();
    return modal;
}

void VDLogoModal::show()
{
    keepAlive_ = shared_from_this();
    windowController_->showWindow();
}

void VDLogoModal::close()
{
    windowController_->window()->close();
}

void VDLogoModal::closed()
{
    if (!keepAlive_) return;
    // Let go after the click or close event that got here has been handled.
    mainQueue_->schedule([self = std::move(keepAlive_)] {});
    keepAlive_.reset();
}

}  // namespace vandrel
