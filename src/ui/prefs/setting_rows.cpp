#include "ui/prefs/setting_rows.h"

#include <QPalette>

#include "core/defaults.h"
#include "core/localize.h"
#include "ui/base/binding_operators.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/prefs/programmatic_table_cell_view.h"

namespace vandrel {

QString localizedText(std::string_view key)
{
    return QString::fromStdString(localized(key));
}

std::pair<StackView*, StackView*> addTitledRow(StackView* group, SettingItemStackView::ItemType type)
{
    auto* row = ViewComponentized::create<SettingItemStackView>(group);
    return row->addTitleAndContentStackView(PreferencesUIConstants::titleViewWidth, type);
}

QLabel* makeTitleLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QCheckBox* makeSettingCheckbox(const QString& title, const DefaultsKey<bool>& key, rx::DisposeBag& bag,
                               std::function<void(bool)> onClick)
{
    auto* box = new QCheckBox(title);
    bindSettingToButton(key, box).disposed(bag);
    if (!onClick) onClick = [&key](bool on) { Defaults()[key] = on; };
    bindButtonToAction(box, std::move(onClick)).disposed(bag);
    return box;
}

QLabel* makeNoteLabel(const QString& text)
{
    auto* label = new QLabel(text);
    makeWrappingNote(label);
    label->setFont(smallSystemFont());
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

}  // namespace vandrel
