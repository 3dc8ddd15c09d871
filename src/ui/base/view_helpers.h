// Layout helpers shared by windows and panes.
#pragma once

#include <QMargins>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/base/stack_view.h"

namespace vandrel {

// Makes view fill its parent less the margins. The parent's layout is created for it when it has none;
// a parent that already lays out other views gets view appended to its layout.
void pinToParentEdges(QWidget* view, const QMargins& margins);

// One bulleted row per text, in order: a bullet 8 pixels wide beside a word-wrapped label, both aligned
// to the top. The caller takes the rows (usually into a stack view, which becomes their parent).
std::vector<std::unique_ptr<QWidget>> createTextViewList(const std::vector<QString>& list);

// A new stack view with the basic gap as spacing that fills view; returned non-owning (view owns it).
StackView* addFullSizeStackView(QWidget* view, Qt::Orientation orientation);

}  // namespace vandrel
