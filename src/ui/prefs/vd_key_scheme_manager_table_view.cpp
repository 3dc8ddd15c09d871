#include "ui/prefs/vd_key_scheme_manager_table_view.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <algorithm>

#include "core/localize.h"
#include "core/log.h"
#include "ui/base/vd_modal.h"
#include "ui/prefs/programmatic_table_cell_view.h"

namespace vandrel {

namespace {

void warnAboutName(VDModal& modal, std::string_view messageTemplate, const QString& name)
{
    const std::string quoted = localized("\"${0}\"", name.toStdString());
    modal.warning(QString::fromStdString(localized(messageTemplate, quoted)), QString(),
                  QString::fromStdString(localized("OK")));
}

}  // namespace

// --- data source ---------------------------------------------------------------------------------------------

VDKeySchemeTableDataSource::VDKeySchemeTableDataSource(std::shared_ptr<KeyService> keyService, QObject* parent)
    : QAbstractTableModel(parent), keyService_(std::move(keyService))
{
}

std::vector<VDKeySchemePtr> VDKeySchemeTableDataSource::schemes() const
{
    return keyService_ ? keyService_->availableKeySchemes.value() : std::vector<VDKeySchemePtr>{};
}

int VDKeySchemeTableDataSource::numberOfRows() const
{
    return static_cast<int>(schemes().size());
}

VDKeySchemePtr VDKeySchemeTableDataSource::keySchemeAt(int row) const
{
    const auto all = schemes();
    if (row < 0 || row >= static_cast<int>(all.size())) return nullptr;
    return all[static_cast<std::size_t>(row)];
}

void VDKeySchemeTableDataSource::reload()
{
    beginResetModel();
    endResetModel();
}

int VDKeySchemeTableDataSource::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : numberOfRows();
}

int VDKeySchemeTableDataSource::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant VDKeySchemeTableDataSource::data(const QModelIndex&, int) const
{
    return {};
}

// --- table -----------------------------------------------------------------------------------------------------

const QString& VDKeySchemeManagerTableView::TableIdentifier::KeySchemeColumnId()
{
    static const QString id = QStringLiteral("KeySchemeColumn");
    return id;
}

VDKeySchemeManagerTableView::VDKeySchemeManagerTableView(QWidget* parent) : QTableView(parent)
{
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(false);
}

void VDKeySchemeManagerTableView::setDataSource(VDKeySchemeTableDataSource* dataSource)
{
    dataSource_ = dataSource;
    setModel(dataSource);
}

QString VDKeySchemeManagerTableView::columnIdentifier(int column) const
{
    return column == 0 ? TableIdentifier::KeySchemeColumnId() : QString();
}

namespace {

// Selects its row when the user clicks into a cell's view or it takes the focus, as a click on a plain row
// does. The click that selects a row goes no further and leaves the keys with the table: only a click on
// the row already selected reaches the cell (a name field begins editing on it).
class RowSelector final : public QObject {
public:
    RowSelector(QTableView& table, int row, QObject* parent) : QObject(parent), table_(&table), row_(row) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const bool press = event->type() == QEvent::MouseButtonPress;
        if ((!press && event->type() != QEvent::FocusIn) || !table_ || !table_->selectionModel() ||
            table_->selectionModel()->isRowSelected(row_, QModelIndex()))
            return false;
        table_->selectRow(row_);
        if (!press) return false;
        table_->setFocus(Qt::MouseFocusReason);
        return true;
    }

private:
    QPointer<QTableView> table_;
    int row_;
};

}  // namespace

void VDKeySchemeManagerTableView::reloadData()
{
    if (!dataSource_) return;
    dataSource_->reload();
    if (!viewFor_) return;
    for (int row = 0; row < dataSource_->rowCount(); ++row)
        for (int column = 0; column < dataSource_->columnCount(); ++column)
            if (QWidget* view = viewFor_(*this, columnIdentifier(column), row)) {
                setIndexWidget(dataSource_->index(row, column), view);
                auto* selector = new RowSelector(*this, row, view);
                view->installEventFilter(selector);
                for (QWidget* child : view->findChildren<QWidget*>()) child->installEventFilter(selector);
            }
}

void VDKeySchemeManagerTableView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Delete)) {
        emit deleteKeyPressed();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F2 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        const auto rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
        auto* cell =
            rows.isEmpty() ? nullptr : qobject_cast<ProgrammaticKeySchemeTableCellView*>(viewAt(0, rows.front().row()));
        if (cell) cell->textField()->edit();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int VDKeySchemeManagerTableView::numberOfRows() const
{
    return dataSource_ ? dataSource_->rowCount() : 0;
}

QWidget* VDKeySchemeManagerTableView::viewAt(int column, int row) const
{
    return dataSource_ ? indexWidget(dataSource_->index(row, column)) : nullptr;
}

VDKeySchemeManagerTableWrapperView::VDKeySchemeManagerTableWrapperView(QWidget* parent)
    : QWidget(parent), tableView_(new VDKeySchemeManagerTableView(this))
{
    log.debug("VDKeySchemeOutlineWrapperView ->", "the scheme table");
    tableView_->setAlternatingRowColors(true);
    tableView_->setAttribute(Qt::WA_MacShowFocusRect, false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tableView_);
}

// --- cells -----------------------------------------------------------------------------------------------------

ProgrammaticKeySchemeManagerTableTextField::ProgrammaticKeySchemeManagerTableTextField(QWidget* parent)
    : QLineEdit(parent)
{
    showAsEditor(false);
}

void ProgrammaticKeySchemeManagerTableTextField::showAsEditor(bool editing)
{
    // Outside an edit the name reads as the row's plain text and nothing typed, pasted or dropped reaches it.
    setReadOnly(!editing);
    setFrame(editing);
    setStyleSheet(editing ? QString() : QStringLiteral("background: transparent;"));
    setFocusPolicy(editing ? Qt::StrongFocus : Qt::NoFocus);
}

void ProgrammaticKeySchemeManagerTableTextField::beginEditing()
{
    isEditing_ = true;
    showAsEditor(true);
    textDidBeginEditing(text());
    selectAll();
}

void ProgrammaticKeySchemeManagerTableTextField::endEditing()
{
    // Cleared first: the warning of a refused name takes the focus, which must not end the edit again.
    isEditing_ = false;
    showAsEditor(false);
    deselect();
    if (!hasFocus() && window()->focusWidget() != this) return;  // a closed window gives it back when shown
    for (QWidget* up = parentWidget(); up; up = up->parentWidget())
        if (auto* list = qobject_cast<QAbstractItemView*>(up)) {
            list->setFocus(Qt::OtherFocusReason);
            return;
        }
    clearFocus();
}

void ProgrammaticKeySchemeManagerTableTextField::commitEditing()
{
    endEditing();
    if (textShouldEndEditing()) textDidEndEditing(text());
}

void ProgrammaticKeySchemeManagerTableTextField::cancelEditing()
{
    if (stringBeforeEditingStart_) setText(*stringBeforeEditingStart_);
    endEditing();
}

void ProgrammaticKeySchemeManagerTableTextField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // Coming back to the window or from a popup goes on with the edit there was, if any.
    const bool resumed = event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason;
    if (isEditable_ && !isEditing_ && !resumed) beginEditing();
}

void ProgrammaticKeySchemeManagerTableTextField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Another window or the field's own menu taking the focus does not leave the field.
    const bool away = event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason;
    if (isEditing_ && !away) commitEditing();
}

void ProgrammaticKeySchemeManagerTableTextField::keyPressEvent(QKeyEvent* event)
{
    if (!isEditing_) {
        event->ignore();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Escape:
            cancelEditing();
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commitEditing();
            break;
        default:
            QLineEdit::keyPressEvent(event);
            return;
    }
    // Taken here: the window must neither close on this Escape nor press its default button on this Return.
    event->accept();
}

void ProgrammaticKeySchemeManagerTableTextField::mousePressEvent(QMouseEvent* event)
{
    if (isEditing_) {
        QLineEdit::mousePressEvent(event);
        return;
    }
    if (isEditable_ && event->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    event->ignore();
}

void ProgrammaticKeySchemeManagerTableTextField::edit()
{
    if (!isEditable_ || isEditing_) return;
    if (hasFocus())
        beginEditing();
    else
        setFocus(Qt::ShortcutFocusReason);
}

bool ProgrammaticKeySchemeManagerTableTextField::focusNextPrevChild(bool next)
{
    if (!isEditing_) return QLineEdit::focusNextPrevChild(next);
    commitEditing();
    return true;
}

void ProgrammaticKeySchemeManagerTableTextField::hideEvent(QHideEvent* event)
{
    QLineEdit::hideEvent(event);
    // The manager closed (Ctrl+W) with an edit open: the user confirmed nothing, so the old name stays.
    if (isEditing_) cancelEditing();
}

void ProgrammaticKeySchemeManagerTableTextField::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (isEditing_)
        QLineEdit::mouseDoubleClickEvent(event);
    else
        mousePressEvent(event);
}

void ProgrammaticKeySchemeManagerTableTextField::textDidBeginEditing(const QString& textBeforeEditing)
{
    stringBeforeEditingStart_ = textBeforeEditing;
}

void ProgrammaticKeySchemeManagerTableTextField::textDidEndEditing(const QString& editorText)
{
    const auto* cell = qobject_cast<ProgrammaticKeySchemeTableCellView*>(parentWidget());
    const VDKeySchemePtr scheme = cell ? cell->objectValue() : nullptr;
    if (!scheme || !stringBeforeEditingStart_) return;
    const QString& oldName = *stringBeforeEditingStart_;
    // Spaces around a name do not show in a list: "Vandrel " would read as a second "Vandrel".
    const QString newName = editorText.trimmed();
    log.debug("textShouldEndEditing ->",
              scheme->name.value() + " | " + oldName.toStdString() + " -> " + newName.toStdString());

    if (newName.isEmpty()) {
        warnAboutName(modal_, "The name ${0} is not valid. Please choose a different name.", editorText);
        setText(oldName);
        return;
    }
    if (keyService_ && keyService_->isNameTaken(newName.toStdString(), scheme.get())) {
        warnAboutName(modal_, "The name ${0} is already taken. Please choose a different name.", newName);
        setText(oldName);
        return;
    }
    setText(newName);
    scheme->name.accept(newName.toStdString());
}

ProgrammaticKeySchemeTableCellView::ProgrammaticKeySchemeTableCellView(const QRect& frame, QWidget* parent)
    : QWidget(parent), textField_(new ProgrammaticKeySchemeManagerTableTextField(this))
{
    if (frame.isValid()) setGeometry(frame);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    textField_->setGeometry(textRect);
    textField_->setFont(smallSystemFont());
}

void ProgrammaticKeySchemeTableCellView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The field keeps its height and follows the cell's width.
    textField_->setGeometry(textRect.x(), textRect.y(), std::max(event->size().width(), 0), textRect.height());
}

}  // namespace vandrel
