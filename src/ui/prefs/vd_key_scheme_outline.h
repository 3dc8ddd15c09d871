// The outline of one key scheme's settings in the Hotkeys pane: the action groups in use as top rows, each
// with its key settings as children, in three columns: what the binding does ("CommandColumn"), its hotkey
// ("KeyColumn") and, where the hotkey is bound more than once, a warning button ("ButtonColumn").
//
//   VDKeySchemeOutlineViewDataSource  the tree over one scheme; reload() takes the scheme's list as it is
//                                     now (the owner reloads after every change).
//   VDKeySchemeOutlineView            the tree view: rows in display order, the cells its owner makes for
//                                     the hotkey and warning columns after each reload. Collapsing a group
//                                     deselects its settings: only what shows stays selected.
//   VDKeySchemeOutlineWrapperView     the scrolling outline as one view.
//   ProgrammaticTableHotkeyCellView   a hotkey as modifier names (right-aligned, as wide as the widest of the
//                                     outline's) and the key.
//   ProgrammaticHotkeyTextField       a read-only hotkey text.
//
// Main thread only.
#pragma once

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTreeView>
#include <functional>
#include <optional>
#include <unordered_map>
#include <variant>
#include <vector>

#include "model/vd_key_scheme.h"

namespace vandrel {

class VDKeySchemeOutlineView;
class ProgrammaticTableHotkeyCellView;

// A row of the outline: a group or a key setting.
using OutlineItem = std::variant<std::monostate, VDActionGroup, VDKeySettingPtr>;

class VDKeySchemeOutlineViewDataSource : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { commandColumn = 0, keyColumn = 1, buttonColumn = 2 };

    explicit VDKeySchemeOutlineViewDataSource(QObject* parent = nullptr);

    const VDKeySchemePtr& keyScheme() const { return keyScheme_; }
    // Sets the scheme and reloads.
    void setKeyScheme(VDKeySchemePtr keyScheme);
    // Takes the groups and settings of the scheme as they are now.
    void reload();

    OutlineItem item(const QModelIndex& index) const;
    // The setting of a child row, or null.
    VDKeySettingPtr keySetting(const QModelIndex& index) const;
    // The text of the command column: the group's title, or the action's description for its parameters.
    static QString commandText(const OutlineItem& item);
    // Groups, Vandrel General settings and a tap of Caps Lock alone cannot be selected.
    static bool shouldSelectItem(const OutlineItem& item);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

private:
    VDKeySchemePtr keyScheme_;
    std::vector<VDActionGroup> groups_;
    std::vector<VDKeyScheme::KeySettings> settings_;  // per group, in the scheme's order
};

class VDKeySchemeOutlineView : public QTreeView {
    Q_OBJECT
public:
    static constexpr const char* commandColumnId = "CommandColumn";
    static constexpr const char* commandCellId = "CommandCell";
    static constexpr const char* KeyColumnId = "KeyColumn";
    static constexpr const char* KeyCellId = "KeyCell";
    static constexpr const char* ButtonColumnId = "ButtonColumn";
    static constexpr const char* ButtonCellId = "ButtonCell";

    // Makes the cell of a column for a row, or null for a plain text cell.
    using CellMaker = std::function<QWidget*(int column, const QModelIndex& index)>;

    explicit VDKeySchemeOutlineView(QWidget* parent = nullptr);

    VDKeySchemeOutlineViewDataSource* dataSource() const;
    void setCellMaker(CellMaker maker) { cellMaker_ = std::move(maker); }

    // Reloads the data source, expands every group and makes the cells anew.
    void reloadData();
    // The rows on screen, top to bottom (a collapsed group's settings are none).
    std::vector<QModelIndex> visibleRows() const;
    // The display row of an index, or -1.
    int rowOf(const QModelIndex& index) const;
    QModelIndex indexOfRow(int row) const;
    // Selected display rows, ascending.
    std::vector<int> selectedRows() const;
    // Selects the rows (adding to the selection when extend is true).
    void selectRows(const std::vector<int>& rows, bool extend);
    // The cell made for a row of a column, or null.
    QWidget* cellAt(int column, const QModelIndex& index) const;

signals:
    // Return, Enter, F2 or Space on the current row: the keyboard's double click.
    void openRequested(const QModelIndex& index);
    // Delete on the outline: the owner removes the selected settings.
    void deleteKeyPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr int kKeyColumnWidth = 200;
    static constexpr int kKeyColumnMargin = 8;

    void makeCells();
    void fitHotkeyColumn(const std::vector<ProgrammaticTableHotkeyCellView*>& cells);
    CellMaker cellMaker_;
};

class VDKeySchemeOutlineWrapperView : public QWidget {
    Q_OBJECT
public:
    explicit VDKeySchemeOutlineWrapperView(const QRect& frame = {}, QWidget* parent = nullptr);
    VDKeySchemeOutlineView* outlineView() const { return outlineView_; }

private:
    QPointer<VDKeySchemeOutlineView> outlineView_;
};

class ProgrammaticTableHotkeyCellView : public QWidget {
    Q_OBJECT
public:
    // The least width of the modifier names; the outline widens them to its widest ("Ctrl+Alt+Caps Lock+").
    static constexpr QRect modifierTextRect{0, 0, 120, 16};

    explicit ProgrammaticTableHotkeyCellView(const QRect& frame = {}, QWidget* parent = nullptr);
    QLabel* modifiersTextFiled() const { return modifiers_; }
    QLabel* keyTextFiled() const { return key_; }

private:
    QLabel* modifiers_;
    QLabel* key_;
};

class ProgrammaticHotkeyTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit ProgrammaticHotkeyTextField(QWidget* parent = nullptr);
};

}  // namespace vandrel
