#include "ui/base/view_helpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/log.h"
#include "ui/base/ui_constants.h"

namespace vandrel {

void pinToParentEdges(QWidget* view, const QMargins& margins)
{
    QWidget* parent = view ? view->parentWidget() : nullptr;
    if (!parent) {
        log.warning("a view pinned to its parent has no parent");
        return;
    }
    if (QLayout* existing = parent->layout()) {
        existing->addWidget(view);
        return;
    }
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(margins);
    layout->setSpacing(0);
    layout->addWidget(view);
}

std::vector<std::unique_ptr<QWidget>> createTextViewList(const std::vector<QString>& list)
{
    std::vector<std::unique_ptr<QWidget>> rows;
    rows.reserve(list.size());
    for (const auto& text : list) {
        auto row = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(row.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setAlignment(Qt::AlignTop);
        auto* bullet = new QLabel(QStringLiteral("\u2022"), row.get());
        bullet->setFixedWidth(8);
        auto* label = new QLabel(text, row.get());
        label->setWordWrap(true);
        layout->addWidget(bullet, 0, Qt::AlignTop);
        layout->addWidget(label, 1, Qt::AlignTop);
        rows.push_back(std::move(row));
    }
    return rows;
}

StackView* addFullSizeStackView(QWidget* view, Qt::Orientation orientation)
{
    auto* stack = new StackView(orientation, view);
    stack->setSpacing(PreferencesUIConstants::basicGap);
    pinToParentEdges(stack, QMargins());
    return stack;
}

}  // namespace vandrel
