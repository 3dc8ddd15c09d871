#include "ui/prefs/setting_item_stack_view.h"

#include <QLabel>

#include "ui/base/ui_constants.h"

namespace vandrel {

namespace {

// Controls of a content stack stand side by side from its left edge; a view that wants the row's width
// (a wrapping note) says so with an expanding size policy.
StackView* makeContentStack()
{
    auto* content = new StackView(Qt::Horizontal);
    content->boxLayout()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return content;
}

}  // namespace

SettingItemStackView::SettingItemStackView() : StackView(Qt::Horizontal)
{
    setSpacing(PreferencesUIConstants::basicGap);
}

std::pair<StackView*, StackView*> SettingItemStackView::addTitleAndContentStackView(int titleWidth, ItemType type)
{
    auto* title = new StackView(Qt::Horizontal);
    if (type == ItemType::marked) {
        title->boxLayout()->setAlignment(Qt::AlignTop);
        auto* marker = new QLabel(QString::fromUtf8(markerText));
        marker->setAlignment(Qt::AlignRight | Qt::AlignTop);
        title->addArrangedSubview(marker);
    }
    title->setFixedWidth(titleWidth);
    auto* content = makeContentStack();
    addArrangedSubview(title);
    addArrangedSubview(content);
    boxLayout()->setStretchFactor(content, 1);
    return {title, content};
}

StackView* SettingItemStackView::addOnlyContentStackView()
{
    auto* content = makeContentStack();
    addArrangedSubview(content);
    boxLayout()->setStretchFactor(content, 1);
    return content;
}

void makeWrappingNote(QLabel* label)
{
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

}  // namespace vandrel
