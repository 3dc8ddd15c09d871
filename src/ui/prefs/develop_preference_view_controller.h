// The Develop pane: a test bench for the hotkey recorders. It shows the hotkey editor's recorder, the
// older Caps Lock recorder (a ZRShortcutRecorder) and a button that takes the keyboard focus away from
// them. It holds no settings and writes nothing. Leaving the pane always ends a recording, so key delivery
// is never left paused by it.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <memory>

#include "rx/rx.h"
#include "ui/prefs/preference_pane.h"
#include "ui/prefs/preferences_services.h"
#include "ui/prefs/zr_shortcut_recorder.h"

namespace vandrel {

// What the Develop pane drives of the hotkey editor's recorder.
class DevelopHotkeyRecorder {
public:
    virtual ~DevelopHotkeyRecorder() = default;
    // The control. The recorder owns it (and deletes it when it goes); the pane only places it in its view.
    virtual QWidget* view() = 0;
    // No hotkey recorded, and the title says so.
    virtual void clearRecordedHotkey() = 0;
    // From now on the control records while it has the focus.
    virtual void startFocusingObserve() = 0;
    // Ends a recording: key delivery resumes, keys reach other applications again, the focus goes.
    virtual void stopKeyEventObserver(int reason) = 0;
};

// A push button that takes the keyboard focus.
class MyBtn : public QPushButton {
    Q_OBJECT
public:
    explicit MyBtn(const QString& title, QWidget* parent = nullptr);
};

class DevelopPreferenceViewController : public PreferencePane {
public:
    // The reason the pane ends a recording when it leaves the screen.
    static constexpr int stopReasonViewWillDisappear = 2;
    static constexpr int viewHeight = 300;

    explicit DevelopPreferenceViewController(const PreferencesServices& services);
    ~DevelopPreferenceViewController() override;

    const char* paneClassName() const override { return "DevelopPreferenceViewController"; }

    void viewDidAppear() override;
    void viewWillDisappear() override;

    MyBtn* btn2() const { return btn2_; }
    ZRShortcutRecorder* oldRecorder() const { return oldRecorder_; }
    // Absent when the program supplied no hotkey recorder.
    DevelopHotkeyRecorder* hotkeyRecorder() const { return hotkeyRecorder_.get(); }

    // The button's action: nothing keeps the keyboard focus.
    void btn2Clicked();
    // The sentence shown while the hotkey recorder waits for keyboard access; null until the view is made.
    QLabel* keyboardAccessNote() const { return keyboardAccessNote_; }

protected:
    void viewDidLoad() override;

private:
    void addHotkeyRecorder();

    // Until the view is made, the pane owns its controls; then the view does.
    std::unique_ptr<MyBtn> ownedBtn2_;
    std::unique_ptr<ZRShortcutRecorder> ownedOldRecorder_;
    MyBtn* btn2_;
    ZRShortcutRecorder* oldRecorder_;
    std::unique_ptr<DevelopHotkeyRecorder> hotkeyRecorder_;
    const std::function<rx::Observable<bool>()> keyboardAccess_;
    QLabel* keyboardAccessNote_ = nullptr;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
