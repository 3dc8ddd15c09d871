// One setting row: a right-aligned title column of fixed width and a content stack to its right, or a
// content stack alone. The title column keeps its width even when it stays empty, so the content of every
// row of a pane starts at the same left edge.
//
//   auto* row = ViewComponentized::create<SettingItemStackView>(group);
//   auto [title, content] = row->addTitleAndContentStackView(PreferencesUIConstants::titleViewWidth,
//                                                            SettingItemStackView::ItemType::plain);
//   title->addArrangedSubview(label);
//   content->addArrangedSubview(checkbox);     // left to right, in the order added
#pragma once

#include <QLabel>
#include <utility>

#include "ui/base/stack_view.h"
#include "ui/base/view_componentized.h"

namespace vandrel {

class SettingItemStackView : public StackView, public ViewComponentized {
    Q_OBJECT
public:
    // plain: the title column starts empty. marked: it carries a pointing-up marker at its top, for a
    // note row under the row it explains.
    enum class ItemType { plain, marked };

    // The marker of marked rows.
    static constexpr const char* markerText = "\u261D\uFE0F";

    SettingItemStackView();
    void initConstraints() override {}

    // Builds the two columns; returns (title stack, content stack), both owned by the row.
    std::pair<StackView*, StackView*> addTitleAndContentStackView(int titleWidth, ItemType type);
    // One content stack across the whole row, for rows without a title.
    StackView* addOnlyContentStackView();
};

// A label that wraps and takes the width its row gives it (notes and descriptions).
void makeWrappingNote(QLabel* label);

}  // namespace vandrel
