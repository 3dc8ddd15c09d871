#include "ui/overlays/pure_with_logo_window_controller.h"

#include <QKeyEvent>
#include <QPixmap>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/base/image_asset.h"
#include "ui/base/ui_constants.h"
#include "ui/base/vd_window_controller.h"
#include "ui/base/window_close_keys.h"
#include "ui/base/window_fit.h"
#include "ui/overlays/vd_window_maker.h"

namespace vandrel {

PureWithLogoWindowController::PureWithLogoWindowController(int width, int height, int paddingX, bool hasLogo)
    : width_(width), height_(height), paddingX_(paddingX), window_(VDWindowMaker::makeBlankWindow(width, height))
{
    containerView_ = ViewComponentized::create<WindowContainerView>(window_.get());
    auto* column = new QVBoxLayout(containerView_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(textToButtonsGap);

    // The text column sits paddingX from the window's edges; the container's own margin is part of that.
    const int side = std::max(0, paddingX - PreferencesUIConstants::windowPadding);
    contentStack_ = new StackView(Qt::Vertical);
    contentStack_->setSpacing(contentSpacing);
    contentStack_->boxLayout()->setContentsMargins(side, 0, side, 0);

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

    // Its rows take the column's whole width: a wrapped line's height is worked out at the width it gets.
    textStack_ = new StackView(Qt::Vertical);
    textStack_->setSpacing(textSpacing);
    contentStack_->addArrangedSubview(textStack_);
    // Spare height goes below the text, not between its lines.
    contentStack_->boxLayout()->addStretch(1);

    scrollArea_ = new ContentScrollArea(contentStack_);
    column->addWidget(scrollArea_, 1);

    btnStack_ = new StackView(Qt::Horizontal);
    column->addWidget(btnStack_, 0, Qt::AlignRight | Qt::AlignBottom);

    window_->installEventFilter(this);
    WindowCloseKeys::install(*window_, [this] { closeFromKeyboard(); });
}

PureWithLogoWindowController::~PureWithLogoWindowController() = default;

void PureWithLogoWindowController::addButtons(const std::vector<QWidget*>& buttons)
{
    for (QWidget* button : buttons) btnStack_->addArrangedSubview(button);
}

void PureWithLogoWindowController::fitToContent()
{
    // The column is the window's share of its width, or what a line that cannot wrap needs.
    WindowFit::settleLayouts(*window_);
    textStack_->setMinimumWidth(0);
    const int column = std::max(width_ - 2 * paddingX_, textStack_->minimumSizeHint().width());
    textStack_->setMinimumWidth(column);
    WindowFit::fit(*window_, QSize(std::max(width_, column + 2 * paddingX_), height_));
}

void PureWithLogoWindowController::showWindow()
{
    fitToContent();
    centerWindowOnScreen(window_.get());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PureWithLogoWindowController::closeFromKeyboard()
{
    window_->close();
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
