#include "ui/overlays/pure_with_logo_window_controller.h"

#include <QKeyEvent>
#include <QPixmap>
#include <QVBoxLayout>

#include "ui/base/image_asset.h"
#include "ui/base/vd_window_controller.h"
#include "ui/overlays/vd_window_maker.h"

namespace vandrel {

PureWithLogoWindowController::PureWithLogoWindowController(int width, int height, int paddingX, bool hasLogo)
    : window_(VDWindowMaker::makeBlankWindow(width, height))
{
    containerView_ = ViewComponentized::create<WindowContainerView>(window_.get());
    auto* column = new QVBoxLayout(containerView_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(textToButtonsGap);

    contentStack_ = new StackView(Qt::Vertical);
    contentStack_->setSpacing(contentSpacing);
    column->addWidget(contentStack_, 1, Qt::AlignHCenter | Qt::AlignTop);

    if (hasLogo) {
        logoView_ = new QLabel;
        logoView_->setObjectName("logoView");
        const QImage logo = Asset::vandrelLogo.image();
        if (!logo.isNull())
            logoView_->setPixmap(
                QPixmap::fromImage(logo.scaled(logoSize, logoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        logoView_->setFixedSize(logoSize, logoSize);
        contentStack_->addArrangedSubview(logoView_, Qt::AlignHCenter);
    }

    textStack_ = new StackView(Qt::Vertical);
    textStack_->setSpacing(textSpacing);
    textStack_->boxLayout()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    textStack_->setFixedWidth(std::max(0, width - 2 * paddingX));
    textStack_->setMinimumHeight(textMinHeight);
    contentStack_->addArrangedSubview(textStack_, Qt::AlignHCenter);

    btnStack_ = new StackView(Qt::Horizontal);
    column->addWidget(btnStack_, 0, Qt::AlignRight | Qt::AlignBottom);

    // The window is as tall as its content needs, never less than asked for.
    if (QLayout* outer = window_->layout()) outer->setSizeConstraint(QLayout::SetMinimumSize);
    window_->installEventFilter(this);
}

PureWithLogoWindowController::~PureWithLogoWindowController() = default;

void PureWithLogoWindowController::addButtons(const std::vector<QWidget*>& buttons)
{
    for (QWidget* button : buttons) btnStack_->addArrangedSubview(button);
}

void PureWithLogoWindowController::showWindow()
{
    window_->adjustSize();
    window_->show();
    window_->raise();
    window_->activateWindow();
    centerWindowOnScreen(window_.get());
}

bool PureWithLogoWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_.get() || event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !defaultButton_ || !defaultButton_->isVisible())
        return false;
    defaultButton_->click();
    return true;
}

}  // namespace vandrel
