#include "ui/base/stack_view.h"

namespace vandrel {

StackView::StackView(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent),
      orientation_(orientation),
      layout_(new QBoxLayout(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
}

void StackView::addArrangedSubview(QWidget* view, Qt::Alignment alignment)
{
    if (!view) return;
    layout_->addWidget(view, 0, alignment);
}

std::vector<QWidget*> StackView::arrangedSubviews() const
{
    std::vector<QWidget*> views;
    for (int i = 0; i < layout_->count(); ++i) {
        if (auto* w = layout_->itemAt(i)->widget()) views.push_back(w);
    }
    return views;
}

}  // namespace vandrel
