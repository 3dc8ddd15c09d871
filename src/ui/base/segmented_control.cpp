#include "ui/base/segmented_control.h"

#include <QHBoxLayout>

namespace vandrel {

namespace {
constexpr int kAddRemoveSegmentWidth = 31;
}

SegmentedControl::SegmentedControl(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

std::unique_ptr<SegmentedControl> SegmentedControl::createAddAndRemoveButtons()
{
    auto control = std::make_unique<SegmentedControl>();
    control->addSegment(QIcon::fromTheme("list-add"), QStringLiteral("+"), kAddRemoveSegmentWidth);
    control->addSegment(QIcon::fromTheme("list-remove"), QStringLiteral("\u2212"), kAddRemoveSegmentWidth);
    return control;
}

int SegmentedControl::addSegment(const QIcon& icon, const QString& fallbackText, int width)
{
    auto* button = new QToolButton(this);
    if (icon.isNull())
        button->setText(fallbackText);
    else
        button->setIcon(icon);
    button->setCheckable(false);
    button->setFixedWidth(width);
    button->setAutoRaise(false);
    const int index = static_cast<int>(segments_.size());
    connect(button, &QToolButton::clicked, this, [this, index] { emit segmentClicked(index); });
    layout()->addWidget(button);
    segments_.push_back(button);
    return index;
}

QToolButton* SegmentedControl::segment(int index) const
{
    if (index < 0 || index >= segmentCount()) return nullptr;
    return segments_[static_cast<std::size_t>(index)];
}

}  // namespace vandrel
