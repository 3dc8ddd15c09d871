#include "ui/base/stack_view.h"

#include <algorithm>

namespace vandrel {

namespace {

// A stack's height at a width is worked out at the width it will really have: a stack of fixed (or limited)
// width inside a wider column otherwise reports the height of its wrapped lines at the column's width, too
// little, and its parent gives it too little room.
class StackLayout final : public QBoxLayout {
public:
    StackLayout(Direction direction, QWidget* parent) : QBoxLayout(direction, parent) {}

    int heightForWidth(int width) const override
    {
        if (const QWidget* stack = parentWidget())
            width = std::clamp(width, stack->minimumWidth(), std::max(stack->minimumWidth(), stack->maximumWidth()));
        return QBoxLayout::heightForWidth(width);
    }
};

}  // namespace

StackView::StackView(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent),
      orientation_(orientation),
      layout_(new StackLayout(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this))
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
