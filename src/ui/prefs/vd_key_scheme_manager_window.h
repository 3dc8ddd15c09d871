// The key-scheme manager: a window-modal dialog over the preferences window listing every available scheme,
// with +/- below the list ("+" offers "Duplicate <selected>" and "New Scheme"; "-" removes the selected
// scheme, enabled only for a scheme that is not built-in) and "Done". Non-built-in names are edited in
// place. Every change takes effect at once in the key service and the settings (KeySchemeManager).
//
// Removal cannot be undone, so it asks first: "Remove" or "Cancel", Cancel the default, the scheme's name in
// the question, a warning icon, the title "Vandrel — Hotkey Schemes". Delete on the selected row asks the
// same whenever no name is being edited.
//
// Main thread only.
#pragma once

#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>

#include "engine/key_service.h"
#include "rx/rx.h"
#include "ui/base/segmented_control.h"
#include "ui/base/vd_modal.h"
#include "ui/prefs/key_scheme_manager.h"
#include "ui/prefs/vd_key_scheme_manager_table_view.h"

namespace vandrel {

class VDKeySchemeManagerWindow {
    struct Passkey {};

public:
    // The text of a row whose scheme cannot be read.
    static constexpr const char* unreadableName = "<get key shcmem name fail>";

    // Null when the opener's view is in no window.
    static std::unique_ptr<VDKeySchemeManagerWindow> make(QWidget* opener, std::shared_ptr<KeyService> keyService,
                                                          std::function<VDKeySchemePtr()> basicScheme);
    VDKeySchemeManagerWindow(Passkey, QWidget* superWindow, std::shared_ptr<KeyService> keyService,
                             std::function<VDKeySchemePtr()> basicScheme);
    ~VDKeySchemeManagerWindow();
    VDKeySchemeManagerWindow(const VDKeySchemeManagerWindow&) = delete;
    VDKeySchemeManagerWindow& operator=(const VDKeySchemeManagerWindow&) = delete;

    // Shows the sheet over its window (again, when it was shown before).
    void show();
    // Asks whether to remove a scheme; by default a modal the user answers.
    void setModal(VDModal modal) { modal_ = std::move(modal); }

    QWidget* superWindow() const { return superWindow_; }
    QDialog* window() const { return window_; }
    VDKeySchemeManagerTableView* schemesTable() const { return schemesTable_; }
    VDKeySchemeTableDataSource* tableDataSource() const { return tableDataSource_; }
    SegmentedControl* addAndRemoveButtons() const { return addAndRemoveButtons_; }
    QPushButton* doneButton() const { return doneButton_; }
    KeySchemeManager& manager() { return manager_; }

    const rx::BehaviorRelay<VDKeySchemePtr> selectedKeyScheme{nullptr};

    // The scheme of a row of the current list, or null.
    VDKeySchemePtr schemeOfRow(int row) const;
    // Selects the row (-1: none), as a click does.
    void selectRow(int row);
    int selectedRow() const;
    // The name a row shows.
    QString rowText(int row) const;
    // The "+" menu as it would pop up now (owned by the caller).
    std::unique_ptr<QMenu> makeAddMenu();
    void addKeyScheme();
    // Removes the selected scheme once the user confirms.
    void removeKeyScheme();
    void duplicateSelectedScheme();
    void createNewScheme();

private:
    void installTable();
    void installAddRemoveButtons();
    void installDoneBtn();
    void reloadTable();
    QWidget* tableView(const QString& columnId, int row);

    QWidget* superWindow_;
    KeySchemeManager manager_;
    VDModal modal_;
    // Owned; a child of the opener's window too, so it goes with that window when the window goes first.
    QPointer<QDialog> window_;
    VDKeySchemeManagerTableView* schemesTable_ = nullptr;
    VDKeySchemeTableDataSource* tableDataSource_ = nullptr;  // a child of the table
    SegmentedControl* addAndRemoveButtons_ = nullptr;
    QPushButton* doneButton_ = nullptr;

    rx::DisposeBag keySchemeNameDisposeBag_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
