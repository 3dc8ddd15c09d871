#include "ui/prefs/vd_key_scheme_manager_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <utility>

#include "core/localize.h"
#include "core/log.h"
#include "ui/base/control_helpers.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/base/window_close_keys.h"
#include "ui/base/window_container_view.h"
#include "ui/base/window_title.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

namespace {

constexpr const char* windowWhat = "Hotkey Schemes";

}  // namespace

std::unique_ptr<VDKeySchemeManagerWindow> VDKeySchemeManagerWindow::make(QWidget* opener,
                                                                         std::shared_ptr<KeyService> keyService,
                                                                         std::function<VDKeySchemePtr()> basicScheme)
{
    QWidget* superWindow = opener ? opener->window() : nullptr;
    if (!superWindow) return nullptr;
    return std::make_unique<VDKeySchemeManagerWindow>(Passkey{}, superWindow, std::move(keyService),
                                                      std::move(basicScheme));
}

VDKeySchemeManagerWindow::VDKeySchemeManagerWindow(Passkey, QWidget* superWindow,
                                                   std::shared_ptr<KeyService> keyService,
                                                   std::function<VDKeySchemePtr()> basicScheme)
    : superWindow_(superWindow),
      manager_(std::move(keyService), std::move(basicScheme)),
      window_(new QDialog(superWindow, Qt::Sheet))
{
    window_->setWindowModality(Qt::WindowModal);
    window_->setWindowTitle(productWindowTitle(localizedText(windowWhat)));
    // Escape closes a dialog by itself; Ctrl+W as well, as other windows do.
    WindowCloseKeys::install(*window_, [w = window_.data()] { w->close(); });
    window_->resize(480, 240);
    auto* container = ViewComponentized::create<WindowContainerView>(window_);
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    installTable();
    installAddRemoveButtons();
    installDoneBtn();
}

VDKeySchemeManagerWindow::~VDKeySchemeManagerWindow()
{
    disposeBag_.dispose();
    keySchemeNameDisposeBag_.dispose();
    delete window_.data();
}

void VDKeySchemeManagerWindow::show()
{
    window_->open();
}

void VDKeySchemeManagerWindow::installTable()
{
    auto* wrapper = new VDKeySchemeManagerTableWrapperView();
    schemesTable_ = wrapper->tableView();
    tableDataSource_ = new VDKeySchemeTableDataSource(manager_.keyService(), schemesTable_);
    schemesTable_->setDataSource(tableDataSource_);
    schemesTable_->setViewFor(
        [this](VDKeySchemeManagerTableView&, const QString& columnId, int row) { return tableView(columnId, row); });
    schemesTable_->setAlternatingRowColors(true);
    wrapper->setFixedHeight(240 - static_cast<int>(3.5 * UIConstants::windowPadding));
    window_->findChild<WindowContainerView*>()->layout()->addWidget(wrapper);
    QObject::connect(schemesTable_, &VDKeySchemeManagerTableView::deleteKeyPressed, schemesTable_,
                     [this] { removeKeyScheme(); });
    QObject::connect(schemesTable_->selectionModel(), &QItemSelectionModel::selectionChanged, schemesTable_, [this] {
        log.debug("change ->", selectedRow());
        selectedKeyScheme.accept(schemeOfRow(selectedRow()));
    });
    const auto& keyService = manager_.keyService();
    if (!keyService) return;
    keyService->availableKeySchemes
        .subscribe([this](const std::vector<VDKeySchemePtr>& schemes) {
            reloadTable();
            keySchemeNameDisposeBag_ = rx::DisposeBag();
            for (const auto& scheme : schemes)
                (scheme->name | rx::skip(1))
                    .subscribe([this](const std::string&) { reloadTable(); })
                    .disposed(keySchemeNameDisposeBag_);
        })
        .disposed(disposeBag_);
}

QWidget* VDKeySchemeManagerWindow::tableView(const QString& columnId, int row)
{
    auto* cell = new ProgrammaticKeySchemeTableCellView(QRect(0, 0, 440, 20));
    auto* field = cell->textField();
    field->setKeyService(manager_.keyService());
    const auto scheme = schemeOfRow(row);
    if (columnId != VDKeySchemeManagerTableView::TableIdentifier::KeySchemeColumnId() || !scheme) {
        field->setText(unreadableName);
        return cell;
    }
    log.debug("cellId = VDKeySchemeManagerTableView.TableIdentifier.KeySchemeCellId ->", scheme->name.value());
    cell->setObjectValue(scheme);
    field->setText(QString::fromStdString(scheme->name.value()));
    field->setEditable(scheme->type() != VDKeySchemeType::builtIn);
    if (scheme->type() == VDKeySchemeType::builtIn) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
        field->setPalette(palette);
    }
    return cell;
}

VDKeySchemePtr VDKeySchemeManagerWindow::schemeOfRow(int row) const
{
    return tableDataSource_ && row >= 0 ? tableDataSource_->keySchemeAt(row) : nullptr;
}

void VDKeySchemeManagerWindow::selectRow(int row)
{
    if (row < 0 || row >= schemesTable_->numberOfRows())
        schemesTable_->clearSelection();
    else
        schemesTable_->selectRow(row);
}

int VDKeySchemeManagerWindow::selectedRow() const
{
    const auto rows = schemesTable_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

QString VDKeySchemeManagerWindow::rowText(int row) const
{
    auto* cell = qobject_cast<ProgrammaticKeySchemeTableCellView*>(schemesTable_->viewAt(0, row));
    return cell ? cell->textField()->text() : QString();
}

void VDKeySchemeManagerWindow::reloadTable()
{
    const auto selected = selectedKeyScheme.value();
    {
        QSignalBlocker quiet(schemesTable_->selectionModel());
        schemesTable_->reloadData();
        schemesTable_->clearSelection();
        const auto list =
            manager_.keyService() ? manager_.keyService()->availableKeySchemes.value() : std::vector<VDKeySchemePtr>{};
        const auto it = std::find(list.begin(), list.end(), selected);
        if (selected && it != list.end()) schemesTable_->selectRow(static_cast<int>(it - list.begin()));
    }
    schemesTable_->viewport()->update();
    if (selected && schemeOfRow(selectedRow()) != selected) selectedKeyScheme.accept(nullptr);
}

void VDKeySchemeManagerWindow::installAddRemoveButtons()
{
    addAndRemoveButtons_ = SegmentedControl::createAddAndRemoveButtons().release();
    auto* row = new QHBoxLayout();
    row->addWidget(addAndRemoveButtons_);
    row->addStretch(1);
    static_cast<QVBoxLayout*>(window_->findChild<WindowContainerView*>()->layout())->addLayout(row);
    (selectedKeyScheme | rx::map([](const VDKeySchemePtr& s) { return s && s->type() != VDKeySchemeType::builtIn; }) |
     rx::distinctUntilChanged())
        .subscribe([this](bool enabled) { addAndRemoveButtons_->segment(1)->setEnabled(enabled); })
        .disposed(disposeBag_);
    QObject::connect(addAndRemoveButtons_, &SegmentedControl::segmentClicked, addAndRemoveButtons_,
                     [this](int segment) {
                         if (segment == 0) addKeyScheme();
                         if (segment == 1) removeKeyScheme();
                     });
}

std::unique_ptr<QMenu> VDKeySchemeManagerWindow::makeAddMenu()
{
    auto menu = std::make_unique<QMenu>();
    if (const auto selected = selectedKeyScheme.value()) {
        const auto title = localized("Duplicate ${0}", localized("\"${0}\"", selected->name.value()));
        QObject::connect(menu->addAction(QString::fromStdString(title)), &QAction::triggered, menu.get(),
                         [this] { duplicateSelectedScheme(); });
    } else {
        menu->addAction(localizedText("Duplicate the selected scheme"))->setEnabled(false);
    }
    QObject::connect(menu->addAction(localizedText("New Scheme")), &QAction::triggered, menu.get(),
                     [this] { createNewScheme(); });
    return menu;
}

void VDKeySchemeManagerWindow::addKeyScheme()
{
    log.debug("add key scheme");
    auto menu = makeAddMenu();
    menu->exec(addAndRemoveButtons_->mapToGlobal(QPoint(0, addAndRemoveButtons_->height())));
}

void VDKeySchemeManagerWindow::createNewScheme()
{
    manager_.createNewScheme();
    reloadTable();
}

void VDKeySchemeManagerWindow::duplicateSelectedScheme()
{
    if (!selectedKeyScheme.value()) return;
    manager_.duplicate(selectedKeyScheme.value());
    reloadTable();
}

void VDKeySchemeManagerWindow::removeKeyScheme()
{
    const auto selected = selectedKeyScheme.value();
    if (!selected || selected->type() == VDKeySchemeType::builtIn) return;
    const auto quoted = localized("\"${0}\"", selected->name.value());
    if (!modal_.confirmRemoval(localizedText(windowWhat),
                               QString::fromStdString(localized("Remove the hotkey scheme ${0}?", quoted))))
        return;
    manager_.remove(selected);
    selectedKeyScheme.accept(nullptr);
    reloadTable();
}

void VDKeySchemeManagerWindow::installDoneBtn()
{
    doneButton_ = new QPushButton(localizedText("Done"));
    beMinimalLimited(doneButton_, UIConstants::buttonMinWidth);
    auto* row = static_cast<QHBoxLayout*>(
        static_cast<QVBoxLayout*>(window_->findChild<WindowContainerView*>()->layout())->itemAt(1)->layout());
    row->addWidget(doneButton_);
    QObject::connect(doneButton_, &QPushButton::clicked, window_, [this] { window_->accept(); });
}

}  // namespace vandrel
