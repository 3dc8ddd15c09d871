// The key-setting sheet: a window-modal dialog over the preferences window in which one key setting of a
// scheme is made or changed. Rows, top to bottom: the hotkey (a Caps Lock combination) with a note on that
// rule, the action (the settable actions by group, then "None"), and one row per parameter of the action
// that has a selector ("Number of Times", "Window", "Keystroke"). A setting of the Vandrel General group
// opens with every control disabled.
//
// The sheet edits a draft (HotkeySettingEditor): "Done" (Return) stores it and closes; "Cancel", Escape
// and closing the window drop it, and the scheme and the stored settings stay exactly as they were. While
// the draft lacks a hotkey, an action (a new setting starts on "None" with none chosen) or a parameter its
// action needs, Done keeps the sheet open and says above the buttons what is missing. A
// hotkey that another command of the scheme uses is flagged right under the field as soon as it is recorded,
// naming that command; the user may keep it. The sheet's messages sit in its own rows, never over a field.
//
// Main thread only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <memory>
#include <vector>

#include "engine/key_service.h"
#include "rx/rx.h"
#include "ui/base/stack_view.h"
#include "ui/prefs/hotkey_recorder_engine.h"
#include "ui/prefs/hotkey_setting_editor.h"

namespace vandrel {

class VDHotkeyRecorder;
class VDHotkeyPopupButton;
class VDHotkeyMenuItem;

class VDHotkeySettingPopupWindow {
public:
    // Null when the opener's view is in no window. keySetting null: a new setting. The recorders record from
    // recorderEngine (an incomplete one: they take the window's keys only).
    static std::unique_ptr<VDHotkeySettingPopupWindow> make(QWidget* opener, std::shared_ptr<KeyService> keyService,
                                                            VDKeySettingPtr keySetting, VDKeySchemePtr keyScheme,
                                                            HotkeyRecorderEngine recorderEngine = {});
    ~VDHotkeySettingPopupWindow();
    VDHotkeySettingPopupWindow(const VDHotkeySettingPopupWindow&) = delete;
    VDHotkeySettingPopupWindow& operator=(const VDHotkeySettingPopupWindow&) = delete;

    // Shows the sheet over the opener's window, with no control focused.
    void popup();
    // Disables every control: the sheet only shows the setting.
    void disable();
    // Ends the parameter selectors' subscriptions and removes their rows.
    void removeAllParameterSelectors();

    HotkeySettingEditor& editor() { return editor_; }
    QDialog* settingWindow() const { return settingWindow_; }
    VDHotkeyRecorder* hotkeyRecorder() const { return hotkeyRecorder_; }
    VDHotkeyPopupButton* actionPopupButton() const { return actionPopupButton_; }
    // Picks the action in the action row, as the user does.
    void pickAction(const VDActionPtr& action);
    const std::vector<QPointer<QWidget>>& parameterSelectors() const { return parameterSelectors_; }
    // Under the hotkey field: the other commands of the scheme that use the recorded hotkey (hidden when
    // none does).
    QLabel* conflictNote() const { return conflictNote_; }
    QPushButton* doneButton() const { return doneButton_; }
    // Above the buttons, after Done was refused: what the setting still lacks (hidden otherwise).
    QLabel* doneNote() const { return doneNote_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    struct Passkey {};

public:
    VDHotkeySettingPopupWindow(Passkey, QWidget* parentWindow, std::shared_ptr<KeyService> keyService,
                               VDKeySettingPtr keySetting, VDKeySchemePtr keyScheme,
                               HotkeyRecorderEngine recorderEngine);

private:
    void installHotkeyRecorder();
    void installActionSelector();
    void installParameterBlock(const VDActionPtr& action, const HotkeySettingEditor::Params& params);
    void installSettingWindowButtons();
    void startActionMonitoring();
    void actionChosen(const VDActionPtr& action);
    void installParameterSelector(const VDAtomicActionParam& param, std::size_t index);
    void showConflicts(const VDKeyScheme::KeySettings& others);
    void showWhatIsMissing();

    QPointer<QWidget> parentWindow_;
    const HotkeyRecorderEngine recorderEngine_;
    HotkeySettingEditor editor_;
    // Owned; a child of the opener's window too, so it goes with that window when the window goes first.
    QPointer<QDialog> settingWindow_;
    StackView* hotkeyGroupStack_ = nullptr;
    StackView* actionGroupStack_ = nullptr;
    StackView* paramGroupStack_ = nullptr;
    VDHotkeyRecorder* hotkeyRecorder_ = nullptr;
    VDHotkeyPopupButton* actionPopupButton_ = nullptr;
    VDHotkeyMenuItem* noneItem_ = nullptr;  // owned by the chooser's menu
    std::vector<QPointer<QWidget>> parameterSelectors_;
    QLabel* conflictNote_ = nullptr;
    QWidget* conflictRow_ = nullptr;  // the note's row
    QPushButton* doneButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QLabel* doneNote_ = nullptr;
    bool doneRefused_ = false;

    rx::DisposeBag paramsDisposebag_;
    rx::DisposeBag settingWindowDisposebag_;
};

}  // namespace vandrel
