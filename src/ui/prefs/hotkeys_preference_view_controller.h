// The Hotkeys pane: the scheme pop-up ("Hotkey scheme:"), the outline of the active scheme's settings, a
// +/- control for settings and a help button with its popover.
//
//   Pop-up     built-in schemes, a separator, the others, a separator, "Manage Hotkey Scheme...". Rebuilt
//              100 ms after the last change of the installed list; each item carries its scheme, so a choice
//              never depends on titles; a rename retitles the scheme's item at once. Choosing a scheme makes
//              it active; the last item opens the scheme manager and leaves the active scheme shown.
//   Outline    follows the active scheme, whoever activates it, and reloads on every change of its settings
//              keeping the selected rows. Double click, or Return, F2 or Space on the current row, edits a
//              setting in the key-setting sheet, which changes nothing until its Done.
//   +/-        "+" opens the sheet for a new setting; "-" or Delete removes the selected settings (enabled while
//              a selectable setting is selected) once the user confirms, as removing a scheme does, and leaves
//              nothing selected. The question names each hotkey it removes with its command; a collapsed
//              group's settings are not selected, so nothing hidden is removed. A built-in scheme is never
//              changed: the key service makes a custom copy, which takes the change and becomes active. Every
//              removal is stored at once.
//
// Before the program has keyboard access the schemes and their settings are shown and can be chosen or
// removed (they are data), but "+" and editing a setting wait for it: they record keys. A note says so.
//
// Subscriptions to the active scheme (its settings, its conflicts) live in one bag renewed per active scheme.
// Events from the engine's queue reach the widgets on the GUI thread. Main thread otherwise.
#pragma once

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QModelIndex>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>
#include <vector>

#include "core/popup_msg.h"
#include "engine/key_service.h"
#include "rx/rx.h"
#include "ui/base/segmented_control.h"
#include "ui/base/stack_view.h"
#include "ui/base/vd_modal.h"
#include "ui/prefs/hotkey_help_view_controller.h"
#include "ui/prefs/hotkey_recorder_engine.h"
#include "ui/prefs/hotkeys_view_model.h"
#include "ui/prefs/preferences_view_controller.h"
#include "ui/prefs/vd_key_scheme_outline.h"

namespace vandrel {

class VDHotkeySettingPopupWindow;
class VDKeySchemeManagerWindow;

class HotkeysPreferenceViewController : public PreferencesViewController {
public:
    struct Dependencies {
        // Null: the pane stays empty (logged).
        std::shared_ptr<KeyService> keyService;
        // What the key-setting sheet's recorders record from.
        HotkeyRecorderEngine recorderEngine;
        // The scheme a new custom scheme starts from. Null: the catalogue's basic scheme.
        std::function<VDKeySchemePtr()> basicScheme;
        // Where the pop-up's 100 ms wait runs. Null: the services' main queue, else the Qt main queue.
        rx::SchedulerPtr debounceScheduler;
        // Shows the messages to the user. Null: popupMsg.
        PopupPresenter popup;
    };

    static constexpr int manageItemData = -2;
    static constexpr int popupDebounceMilliseconds = 100;

    HotkeysPreferenceViewController(PreferencesServices services, Dependencies dependencies = {});
    ~HotkeysPreferenceViewController() override;

    const char* paneClassName() const override { return "HotkeysPreferenceViewController"; }

    const std::shared_ptr<KeyService>& keyService() const { return keyService_; }
    // Asks before settings are removed; by default a modal the user answers.
    void setModal(VDModal modal) { modal_ = std::move(modal); }
    HotkeysViewModel* viewModel() const { return viewModel_.get(); }

    // Present once the controls are installed (a turn of the main queue after the view loaded).
    QComboBox* schemePopup() const { return schemePopup_; }
    VDKeySchemeOutlineView* hotkeysOutlineView() const { return hotkeysOutlineView_; }
    VDKeySchemeOutlineViewDataSource* hotkeysOutlineViewDataSource() const;
    SegmentedControl* addRemoveButtons() const { return addRemoveButtons_; }
    QPushButton* helpButton() const { return helpButton_; }
    // The sentence shown while recording waits for keyboard access.
    QLabel* keyboardAccessNote() const { return keyboardAccessNote_; }
    QFrame* helpPopover() const { return helpPopover_; }
    VDHotkeySettingPopupWindow* hotkeySettingPopupWindow() const { return hotkeySettingPopupWindow_.get(); }
    VDKeySchemeManagerWindow* keySchemeManagerWindow() const { return keySchemeManagerWindow_.get(); }

    // The selected rows of the outline (display rows, ascending) and their settings.
    const rx::BehaviorRelay<std::vector<int>> hotkeysOutlineSelectedIndexes{std::vector<int>{}};
    const rx::BehaviorRelay<VDKeyScheme::KeySettings> hotkeysOutlineSelectedKeySettings{VDKeyScheme::KeySettings{}};

    // The scheme an item of the pop-up carries, or null (separators, "Manage Hotkey Scheme...").
    VDKeySchemePtr schemeOfPopupItem(int index) const;
    // What a choice of the pop-up's item does.
    void chooseSchemeItem(int index);
    // Edits the setting of the row (a Vandrel General setting only shows a message); the keyboard's keys
    // that open a row come here too.
    void doWhenDoubleClicked(const QModelIndex& index);
    void startToAddHotkeySetting();
    // Removes the selected settings once the user confirms.
    void removeHotkeySettingsSelecting();
    void showHelpPopover();
    // What the warning button of the setting's row does: selects the next row bound to the same hotkey,
    // wrapping to the first.
    void selectNextConflict(const VDKeySettingPtr& setting);
    // Reloads the outline and selects the same rows again.
    void reloadOutlineKeepingSelection();

protected:
    void viewDidLoad() override;

private:
    void installSchemeSelector();
    void installHotkeysOutline();
    void installAddRemoveButtons();
    void addHelpButton();
    void followKeyboardAccess();
    void rebuildPopup(const std::vector<VDKeySchemePtr>& schemes);
    void selectActiveInPopup();
    void followActiveScheme(const VDKeySchemePtr& scheme);
    QWidget* outlineCell(int column, const QModelIndex& index);
    void publishSelection();
    void removeSelectedKeySettings(VDKeyScheme& scheme, const VDKeyScheme::KeySettings& toRemove);
    // Runs work on the GUI thread: at once when called there, else queued (dropped once the view is gone).
    void onGuiThread(std::function<void()> work);

    const std::shared_ptr<KeyService> keyService_;
    const HotkeyRecorderEngine recorderEngine_;
    const std::function<VDKeySchemePtr()> basicScheme_;
    const rx::SchedulerPtr debounceScheduler_;
    const PopupPresenter popup_;
    VDModal modal_;
    std::unique_ptr<HotkeysViewModel> viewModel_;
    // The view, read from any thread to post work to the GUI thread.
    QPointer<QWidget> guiContext_;

    StackView* containerStackView_ = nullptr;
    QComboBox* schemePopup_ = nullptr;
    std::vector<std::weak_ptr<VDKeyScheme>> popupSchemes_;  // what each scheme item's data points at
    VDKeySchemeOutlineView* hotkeysOutlineView_ = nullptr;
    SegmentedControl* addRemoveButtons_ = nullptr;
    StackView* bottomRow_ = nullptr;  // the +/- control and the help button
    QPushButton* helpButton_ = nullptr;
    QLabel* keyboardAccessNote_ = nullptr;
    bool hasKeyboardAccess_ = true;
    const std::function<rx::Observable<bool>()> keyboardAccess_;
    QPointer<QFrame> helpPopover_;
    std::unique_ptr<VDHotkeySettingPopupWindow> hotkeySettingPopupWindow_;
    std::unique_ptr<VDKeySchemeManagerWindow> keySchemeManagerWindow_;

    // Declared last, so they end their subscriptions before anything they reach goes.
    rx::DisposeBag conflictingBtnsDisposeBag_;
    rx::DisposeBag schemeNamesDisposeBag_;
    rx::DisposeBag activeSchemeDisposeBag_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
