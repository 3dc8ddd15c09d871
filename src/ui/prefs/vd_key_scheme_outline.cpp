#include "ui/prefs/vd_key_scheme_outline.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <algorithm>
#include <iterator>
#include <utility>

#include "core/localize.h"
#include "core/log.h"
#include "ui/prefs/programmatic_table_cell_view.h"

namespace vandrel {

namespace {

// internalId of a row: 0 for a group, the group's row + 1 for a setting.
constexpr quintptr groupId = 0;

}  // namespace

// ---- data source ---------------------------------------------------------------------------------------

VDKeySchemeOutlineViewDataSource::VDKeySchemeOutlineViewDataSource(QObject* parent) : QAbstractItemModel(parent) {}

void VDKeySchemeOutlineViewDataSource::setKeyScheme(VDKeySchemePtr keyScheme)
{
    keyScheme_ = std::move(keyScheme);
    reload();
}

void VDKeySchemeOutlineViewDataSource::reload()
{
    beginResetModel();
    groups_.clear();
    settings_.clear();
    if (keyScheme_) {
        groups_ = keyScheme_->allSettingsGroups();
        auto byGroup = keyScheme_->groupToSettingsDictionary();
        // A group computed before the latest list may have lost its settings: keep only groups with rows.
        std::erase_if(groups_, [&](const VDActionGroup& g) { return byGroup[g].empty(); });
        for (const auto& group : groups_) settings_.push_back(byGroup[group]);
    }
    endResetModel();
}

OutlineItem VDKeySchemeOutlineViewDataSource::item(const QModelIndex& index) const
{
    if (!index.isValid()) return std::monostate{};
    if (index.internalId() == groupId) {
        if (index.row() < 0 || index.row() >= static_cast<int>(groups_.size())) return std::monostate{};
        return groups_[index.row()];
    }
    const auto group = static_cast<std::size_t>(index.internalId() - 1);
    if (group >= settings_.size() || index.row() < 0 || index.row() >= static_cast<int>(settings_[group].size()))
        return std::monostate{};
    return settings_[group][index.row()];
}

VDKeySettingPtr VDKeySchemeOutlineViewDataSource::keySetting(const QModelIndex& index) const
{
    const auto it = item(index);
    return std::holds_alternative<VDKeySettingPtr>(it) ? std::get<VDKeySettingPtr>(it) : nullptr;
}

QString VDKeySchemeOutlineViewDataSource::commandText(const OutlineItem& item)
{
    if (const auto* group = std::get_if<VDActionGroup>(&item))
        return QString::fromStdString(localized(group->rawValue()));
    if (const auto* setting = std::get_if<VDKeySettingPtr>(&item)) {
        const auto& action = (*setting)->action();
        if (action->dynamicDescription()) {
            if (auto text = action->dynamicDescription()((*setting)->paramSequence()))
                return QString::fromStdString(*text);
        }
        return QString::fromStdString(action->staticDescription());
    }
    return {};
}

bool VDKeySchemeOutlineViewDataSource::shouldSelectItem(const OutlineItem& item)
{
    const auto* setting = std::get_if<VDKeySettingPtr>(&item);
    if (!setting || !*setting) return false;
    if ((*setting)->action()->group() == VDActionGroup::vandrelGeneral) return false;
    return (*setting)->key().keybit() != VDKey::tapCapslock().keybit();
}

QModelIndex VDKeySchemeOutlineViewDataSource::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= 3) return {};
    if (!parent.isValid()) {
        if (row >= static_cast<int>(groups_.size())) return {};
        return createIndex(row, column, groupId);
    }
    if (parent.internalId() != groupId) return {};
    if (parent.row() >= static_cast<int>(settings_.size()) || row >= static_cast<int>(settings_[parent.row()].size()))
        return {};
    return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
}

QModelIndex VDKeySchemeOutlineViewDataSource::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == groupId) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, groupId);
}

int VDKeySchemeOutlineViewDataSource::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid()) return static_cast<int>(groups_.size());
    if (parent.column() != 0 || parent.internalId() != groupId) return 0;
    return parent.row() < static_cast<int>(settings_.size()) ? static_cast<int>(settings_[parent.row()].size()) : 0;
}

int VDKeySchemeOutlineViewDataSource::columnCount(const QModelIndex&) const
{
    return 3;
}

bool VDKeySchemeOutlineViewDataSource::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant VDKeySchemeOutlineViewDataSource::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    if (index.column() == commandColumn) return commandText(item(index));
    // The hotkey cell shows the key; the model gives its text as the tooltip only, so it is not drawn twice.
    if (index.column() == keyColumn && role == Qt::ToolTipRole) {
        if (auto setting = keySetting(index)) return QString::fromStdString(setting->key().keyCharWithModifiers());
    }
    return {};
}

QVariant VDKeySchemeOutlineViewDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case commandColumn:
            return QString::fromStdString(localized("Command"));
        case keyColumn:
            return QString::fromStdString(localized("Hotkey"));
        default:
            return QString();
    }
}

Qt::ItemFlags VDKeySchemeOutlineViewDataSource::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled;
    if (shouldSelectItem(item(index))) f |= Qt::ItemIsSelectable;
    return f;
}

// ---- outline view ---------------------------------------------------------------------------------------

VDKeySchemeOutlineView::VDKeySchemeOutlineView(QWidget* parent) : QTreeView(parent)
{
    setModel(new VDKeySchemeOutlineViewDataSource(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(VDKeySchemeOutlineViewDataSource::commandColumn, QHeaderView::Stretch);
    header()->setSectionResizeMode(VDKeySchemeOutlineViewDataSource::keyColumn, QHeaderView::Fixed);
    header()->setSectionResizeMode(VDKeySchemeOutlineViewDataSource::buttonColumn, QHeaderView::Fixed);
    header()->resizeSection(VDKeySchemeOutlineViewDataSource::keyColumn, kKeyColumnWidth);
    header()->resizeSection(VDKeySchemeOutlineViewDataSource::buttonColumn, 32);
    // What a collapsed group hides leaves the selection: "-" then removes only rows the user can see.
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& group) {
        const int rows = model()->rowCount(group);
        if (rows == 0) return;
        const QItemSelection hidden(model()->index(0, 0, group), model()->index(rows - 1, 0, group));
        selectionModel()->select(hidden, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    });
}

VDKeySchemeOutlineViewDataSource* VDKeySchemeOutlineView::dataSource() const
{
    return static_cast<VDKeySchemeOutlineViewDataSource*>(model());
}

void VDKeySchemeOutlineView::reloadData()
{
    dataSource()->reload();
    expandAll();
    makeCells();
}

void VDKeySchemeOutlineView::makeCells()
{
    if (!cellMaker_) return;
    auto* source = dataSource();
    std::vector<ProgrammaticTableHotkeyCellView*> hotkeyCells;
    for (int g = 0; g < source->rowCount(); ++g) {
        const auto group = source->index(g, 0);
        for (int r = 0; r < source->rowCount(group); ++r) {
            for (int column :
                 {VDKeySchemeOutlineViewDataSource::keyColumn, VDKeySchemeOutlineViewDataSource::buttonColumn}) {
                const auto index = source->index(r, column, group);
                auto* cell = cellMaker_(column, index);
                if (!cell) continue;
                setIndexWidget(index, cell);
                if (auto* hotkey = qobject_cast<ProgrammaticTableHotkeyCellView*>(cell)) hotkeyCells.push_back(hotkey);
            }
        }
    }
    fitHotkeyColumn(hotkeyCells);
}

void VDKeySchemeOutlineView::fitHotkeyColumn(const std::vector<ProgrammaticTableHotkeyCellView*>& cells)
{
    // Every row's modifiers end where the widest ones do, so the keys line up; the column takes what the
    // widest hotkey needs in the font at hand, and never less than its usual width.
    int modifiers = ProgrammaticTableHotkeyCellView::modifierTextRect.width();
    int keys = 0;
    for (const auto* cell : cells) {
        modifiers = std::max(modifiers, cell->modifiersTextFiled()->sizeHint().width());
        keys = std::max(keys, cell->keyTextFiled()->sizeHint().width());
    }
    for (auto* cell : cells) cell->modifiersTextFiled()->setFixedWidth(modifiers);
    header()->resizeSection(VDKeySchemeOutlineViewDataSource::keyColumn,
                            std::max(kKeyColumnWidth, modifiers + keys + kKeyColumnMargin));
}

std::vector<QModelIndex> VDKeySchemeOutlineView::visibleRows() const
{
    std::vector<QModelIndex> rows;
    auto* source = dataSource();
    for (int g = 0; g < source->rowCount(); ++g) {
        const auto group = source->index(g, 0);
        rows.push_back(group);
        if (!isExpanded(group)) continue;
        for (int r = 0; r < source->rowCount(group); ++r) rows.push_back(source->index(r, 0, group));
    }
    return rows;
}

int VDKeySchemeOutlineView::rowOf(const QModelIndex& index) const
{
    const auto rows = visibleRows();
    const auto target = index.siblingAtColumn(0);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == target) return static_cast<int>(i);
    return -1;
}

QModelIndex VDKeySchemeOutlineView::indexOfRow(int row) const
{
    const auto rows = visibleRows();
    return row >= 0 && row < static_cast<int>(rows.size()) ? rows[row] : QModelIndex();
}

std::vector<int> VDKeySchemeOutlineView::selectedRows() const
{
    std::vector<int> rows;
    const auto all = visibleRows();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (selectionModel()->isRowSelected(all[i].row(), all[i].parent())) rows.push_back(static_cast<int>(i));
    return rows;
}

void VDKeySchemeOutlineView::selectRows(const std::vector<int>& rows, bool extend)
{
    QItemSelection selection;
    for (int row : rows) {
        const auto index = indexOfRow(row);
        if (index.isValid() && (model()->flags(index) & Qt::ItemIsSelectable)) selection.select(index, index);
    }
    auto flags = QItemSelectionModel::Rows | QItemSelectionModel::Select;
    if (!extend) flags |= QItemSelectionModel::Clear;
    selectionModel()->select(selection, flags);
}

QWidget* VDKeySchemeOutlineView::cellAt(int column, const QModelIndex& index) const
{
    return indexWidget(index.siblingAtColumn(column));
}

void VDKeySchemeOutlineView::keyPressEvent(QKeyEvent* event)
{
    static constexpr int openKeys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_F2, Qt::Key_Space};
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && currentIndex().isValid() && std::ranges::find(openKeys, event->key()) != std::end(openKeys)) {
        emit openRequested(currentIndex());
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Delete)) {
        emit deleteKeyPressed();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

// ---- wrapper and cells ----------------------------------------------------------------------------------

VDKeySchemeOutlineWrapperView::VDKeySchemeOutlineWrapperView(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    if (!frame.isNull()) setGeometry(frame);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    outlineView_ = new VDKeySchemeOutlineView(this);
    layout->addWidget(outlineView_);
    log.debug("VDKeySchemeOutlineWrapperView ->", outlineView_->objectName().toStdString());
}

ProgrammaticTableHotkeyCellView::ProgrammaticTableHotkeyCellView(const QRect& frame, QWidget* parent)
    : QWidget(parent), modifiers_(new QLabel(this)), key_(new QLabel(this))
{
    if (!frame.isNull()) setGeometry(frame);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (auto* field : {modifiers_, key_}) {
        field->setFont(smallSystemFont());
        field->setTextInteractionFlags(Qt::NoTextInteraction);
    }
    modifiers_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    modifiers_->setFixedWidth(modifierTextRect.width());
    key_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(modifiers_);
    layout->addWidget(key_, 1);
}

ProgrammaticHotkeyTextField::ProgrammaticHotkeyTextField(QWidget* parent) : QLineEdit(parent)
{
    // The hotkey is shown, never typed: the field takes no edit.
    setReadOnly(true);
}

}  // namespace vandrel
