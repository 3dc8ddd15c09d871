// The table of the key-scheme manager: one row per available key scheme, whose name the user edits in place.
//
//   VDKeySchemeManagerTableWrapperView     a scrolling table of one column, KeySchemeColumnId
//   VDKeySchemeTableDataSource             its rows: the key service's available schemes when it asks
//   ProgrammaticKeySchemeTableCellView     the view of one row, holding the row's scheme as object value
//   ProgrammaticKeySchemeManagerTableTextField  the row's name field; checks a new name when editing ends
//
// The host (the manager sheet) makes the wrapper, gives the table a data source and a delegate that builds
// each row's cell view, and calls reloadData() whenever the list of schemes or a scheme's name changes.
//
// A name is edited only after a second click on the selected row (or a double click), or F2 on the table:
// the field then shows a line-edit frame and takes the keys. Escape puts the name from before back; Return,
// Tab or leaving the field ends the edit and checks the new name, and the manager stays open. Outside an edit
// the field takes no focus and no keys, so Delete, Escape and the arrows reach the table and its window.
//
// A rename reaches the program only through the scheme's name relay; the key service then moves the stored
// scheme, its entry in the list of stored names and the current-scheme setting to the new name. Names are
// compared and stored without the spaces around them; a name that is then empty, or that the key service
// counts as taken (another available scheme's, or a stored scheme's, also one it cannot read; otherwise exact:
// letter case counts), is refused with a warning and the field shows the old name again. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "engine/key_service.h"
#include "model/vd_key_scheme.h"
#include "ui/base/vd_modal.h"

namespace vandrel {

class VDKeySchemeManagerTableView;

// Rows of the table: the available schemes of the key service, counted each time the table asks.
class VDKeySchemeTableDataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    // Null: no schemes.
    explicit VDKeySchemeTableDataSource(std::shared_ptr<KeyService> keyService = nullptr, QObject* parent = nullptr);

    int numberOfRows() const;
    // The row's scheme, or null.
    VDKeySchemePtr keySchemeAt(int row) const;
    // Tells the table that the rows changed (counted again).
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Cells are views of their own: the model itself shows nothing.
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<VDKeySchemePtr> schemes() const;

    const std::shared_ptr<KeyService> keyService_;
};

class VDKeySchemeManagerTableView : public QTableView {
    Q_OBJECT
public:
    struct TableIdentifier {
        // "KeySchemeColumn": the column whose cells show the schemes.
        static const QString& KeySchemeColumnId();
    };

    // Builds the view of one cell; the table takes it over. Null leaves the cell empty.
    using ViewFor = std::function<QWidget*(VDKeySchemeManagerTableView& table, const QString& columnId, int row)>;

    explicit VDKeySchemeManagerTableView(QWidget* parent = nullptr);

    void setDataSource(VDKeySchemeTableDataSource* dataSource);
    VDKeySchemeTableDataSource* dataSource() const { return dataSource_; }
    void setViewFor(ViewFor viewFor) { viewFor_ = std::move(viewFor); }
    // The identifier of a column (the table has the scheme column only).
    QString columnIdentifier(int column) const;

    // Counts the rows again and builds every cell view anew.
    void reloadData();
    int numberOfRows() const;
    QWidget* viewAt(int column, int row) const;

signals:
    // Delete pressed on the table (not inside a name being edited): the host removes the selected row.
    void deleteKeyPressed();

protected:
    // Delete as above; F2 edits the name of the selected row, when it may be edited.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<VDKeySchemeTableDataSource> dataSource_;
    ViewFor viewFor_;
};

class VDKeySchemeManagerTableWrapperView : public QWidget {
    Q_OBJECT
public:
    explicit VDKeySchemeManagerTableWrapperView(QWidget* parent = nullptr);

    // The scrolling table; the table is its own scroll view.
    QAbstractScrollArea* contentView() const { return tableView_; }
    VDKeySchemeManagerTableView* tableView() const { return tableView_; }

private:
    QPointer<VDKeySchemeManagerTableView> tableView_;
};

class ProgrammaticKeySchemeManagerTableTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit ProgrammaticKeySchemeManagerTableTextField(QWidget* parent = nullptr);

    // The key service whose schemes a new name is checked against; null: none, so no name is taken.
    void setKeyService(std::shared_ptr<KeyService> keyService) { keyService_ = std::move(keyService); }
    // Shows the warnings about a refused name; by default a modal the user answers.
    void setModal(VDModal modal) { modal_ = std::move(modal); }
    // Whether the name may be edited at all (not for a built-in scheme); not at construction.
    void setEditable(bool editable) { isEditable_ = editable; }
    bool isEditable() const { return isEditable_; }

    const std::optional<QString>& stringBeforeEditingStart() const { return stringBeforeEditingStart_; }
    // Begins an edit of an editable name, as a click on the selected row does (F2 on the table).
    void edit();

    // An edit began: remembers the name before it.
    void textDidBeginEditing(const QString& textBeforeEditing);
    static bool textShouldEndEditing() { return true; }
    // An edit ended with this text: refuses it (warning, old name back) or renames the cell's scheme.
    void textDidEndEditing(const QString& editorText);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Tab and Shift+Tab during an edit end it; the table would otherwise move its selection under the open edit.
    bool focusNextPrevChild(bool next) override;

private:
    void showAsEditor(bool editing);
    void beginEditing();
    // Ends the edit and hands the keys back to the table (when the field still has them).
    void endEditing();
    void commitEditing();
    void cancelEditing();

    std::shared_ptr<KeyService> keyService_;
    VDModal modal_;
    std::optional<QString> stringBeforeEditingStart_;
    bool isEditable_ = false;
    bool isEditing_ = false;
};

class ProgrammaticKeySchemeTableCellView : public QWidget {
    Q_OBJECT
public:
    // Where the name field sits in the cell.
    static constexpr QRect textRect{0, 0, 200, 16};

    explicit ProgrammaticKeySchemeTableCellView(const QRect& frame = {}, QWidget* parent = nullptr);

    ProgrammaticKeySchemeManagerTableTextField* textField() const { return textField_; }
    const VDKeySchemePtr& objectValue() const { return objectValue_; }
    void setObjectValue(VDKeySchemePtr scheme) { objectValue_ = std::move(scheme); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ProgrammaticKeySchemeManagerTableTextField* textField_;  // a child of the cell
    VDKeySchemePtr objectValue_;
};

}  // namespace vandrel
