#include "ui/prefs/key_scheme_list_views.h"

#include <QHBoxLayout>

#include "core/log.h"
#include "ui/prefs/programmatic_table_cell_view.h"

namespace vandrel {

KeySchemeTableView::KeySchemeTableView(QWidget* parent) : QTableWidget(parent), checkboxGroup_(new QButtonGroup(this))
{
    checkboxGroup_->setExclusive(true);
}

KeySchemeCheckbox::KeySchemeCheckbox(QButtonGroup* group, QWidget* parent) : QCheckBox(parent)
{
    if (group) group->addButton(this);
}

KeySchemeTableCellView::KeySchemeTableCellView(KeySchemeTableView* table, QWidget* parent)
    : QWidget(parent),
      name_(new KeySchemeNameFiled(this)),
      checkbox_(new KeySchemeCheckbox(table ? table->checkboxGroup() : nullptr, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(checkbox_);
    layout->addWidget(name_, 1);
    connect(checkbox_, &QCheckBox::clicked, this, [this] { checkboxChecked(checkbox_); });
}

void KeySchemeTableCellView::checkboxChecked(KeySchemeCheckbox* sender)
{
    if (!sender) return;
    log.debug("checkbox checked ->", sender->objectName().toStdString());
    sender->setChecked(true);
}

VDKeySchemeOutlineHotkeyView::VDKeySchemeOutlineHotkeyView(QWidget* parent)
    : QWidget(parent), modifierTextfiled_(new QLabel(this)), keyTextfiled_(new QLabel(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setAlignment(Qt::AlignLeft);
    modifierTextfiled_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    modifierTextfiled_->setFont(smallSystemFont());
    modifierTextfiled_->setFixedWidth(modifierWidth);
    keyTextfiled_->setFont(smallSystemFont());
    layout->addWidget(modifierTextfiled_);
    layout->addWidget(keyTextfiled_, 1);
}

}  // namespace vandrel
