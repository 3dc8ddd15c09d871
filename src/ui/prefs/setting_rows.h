// Shared steps of the code-built panes: a titled row, a right-aligned title label, and a checkbox tied to a
// Boolean setting in both directions.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QString>
#include <functional>
#include <string_view>
#include <utility>

#include "core/defaults_key.h"
#include "rx/disposable.h"
#include "ui/base/stack_view.h"
#include "ui/prefs/setting_item_stack_view.h"

namespace vandrel {

// The localized text of key.
QString localizedText(std::string_view key);

// A new row at the end of group, with its title column of the standard width; returns (title, content).
std::pair<StackView*, StackView*> addTitledRow(
    StackView* group, SettingItemStackView::ItemType type = SettingItemStackView::ItemType::plain);

// A plain label with its text aligned right, as row titles are.
QLabel* makeTitleLabel(const QString& text);

// A checkbox that shows key as stored (now and after every change) and, for each click, calls onClick with
// the new state; onClick absent stores the state under key. Both bindings go into bag.
QCheckBox* makeSettingCheckbox(const QString& title, const DefaultsKey<bool>& key, rx::DisposeBag& bag,
                               std::function<void(bool)> onClick = {});

// A small, wrapping note in the secondary text colour.
QLabel* makeNoteLabel(const QString& text);

}  // namespace vandrel
