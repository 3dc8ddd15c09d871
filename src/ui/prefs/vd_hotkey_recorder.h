// The hotkey editor's recorder: a rounded push button that shows a hint while empty, shows the keys live while
// the user presses them, and keeps the first acceptable combination as a VDKey in recordedHotkey.
//
// It reads keys from the engine (HotkeyRecorderEngine), not from the window: Caps combinations never reach a
// window. While it records it holds a KeyEventSilence, so no key reaches other applications and no Caps
// action runs, not even one already bound to the combination being typed.
//
//   idle ── becomes the focus widget (click on an enabled recorder, keyboard focus) ──▶ recording
//   recording ── acceptable combination ──▶ waiting for the key-up   (recordedHotkey set)
//   recording ── focus lost, window deactivated, OK, host stop ──▶ idle (hotkey unchanged, silence ends)
//   recording ── remove button ──▶ idle, empty
//   waiting for the key-up ── next key-up (not Caps), 2 s without one, hide, stop request ──▶ idle
//
// Waiting keeps the silence until the recorded key is released, so no application sees a release without its
// press; the 2 s limit keeps a lost release (a keyboard unplugged mid-press) from silencing the keyboard for
// good. Hiding (closing the window) and destroying the recorder end recording and waiting alike.
//
// A combination is acceptable when its modifiers hold every code of modifiersMustIncluding and none of
// modifiersMustNotIncluding (the key-setting sheet requires 57, Caps Lock, for a hotkey and forbids it for a
// keystroke parameter). Modifiers are key codes: 55 Command, 56 Shift, 57 Caps Lock, 58 Option, 59 Control.
//
// A host makes the recorder, sets the two rules, may preset recordedHotkey (then flashTitle({}, -1) shows it),
// puts the recorder into its window and calls startFocusingObserve(). Main thread only.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <memory>
#include <optional>

#include "model/key_kit.h"
#include "model/vd_key.h"
#include "rx/rx.h"
#include "ui/prefs/develop_preference_view_controller.h"
#include "ui/prefs/hotkey_recorder_engine.h"

namespace vandrel {

class VDHotkeyRecorder : public QPushButton {
    Q_OBJECT
public:
    enum class StopKeyEventObserverReason { hotkeyRecorded, focusLost, stopRequested };

    static constexpr int btnSize = 12;
    static constexpr int minimumRecorderWidth = 190;
    // How long the silence waits for the recorded key's release.
    static constexpr double keyUpWaitLimit = 2.0;

    // Records from this engine (an incomplete one: the recorder takes the window's keys only).
    explicit VDHotkeyRecorder(HotkeyRecorderEngine engine, QWidget* parent = nullptr);
    ~VDHotkeyRecorder() override;

    const ModifierSet& modifiersMustIncluding() const { return modifiersMustIncluding_; }
    void setModifiersMustIncluding(ModifierSet codes) { modifiersMustIncluding_ = std::move(codes); }
    const ModifierSet& modifiersMustNotIncluding() const { return modifiersMustNotIncluding_; }
    void setModifiersMustNotIncluding(ModifierSet codes) { modifiersMustNotIncluding_ = std::move(codes); }

    // Sets the title from the held modifiers and key (-1 for none); a key with acceptable modifiers is
    // recorded and ends the recording.
    virtual void flashTitle(const ModifierSet& modifiers, int keycode);
    // From now on the recorder records while it is its window's focus widget. Needs the recorder to be in a
    // window; a second call replaces the first.
    virtual void startFocusingObserve();
    virtual void startKeyEventObserver();
    // Ends a recording. A focus-lost stop when nothing was recording only resets the title; the other
    // reasons also end a waiting silence, and the recorder gives up the focus it has.
    virtual void stopKeyEventObserver(StopKeyEventObserverReason reason);

    bool isRecording() const { return phase_ == Phase::recording; }
    bool isWaitingForKeyUp() const { return phase_ == Phase::waitingForKeyUp; }
    bool isFocusObserved() const { return focusObserved_; }

    const QString& fallbackTitle() const { return fallbackTitle_; }
    const QString& fallbackRecordingTitle() const { return fallbackRecordingTitle_; }
    QPushButton* removeBtn() const { return removeBtn_; }
    QPushButton* okBtn() const { return okBtn_; }

    // Whether the recorder is its window's focus widget (while the focus is watched).
    const rx::BehaviorRelay<bool> isInFocus{false};
    const rx::BehaviorRelay<ModifierSet> pressingModifiers{ModifierSet{}};
    const rx::BehaviorRelay<int> pressingKey{-1};
    // The recorded hotkey; hosts subscribe to it and may set it (nullopt: none).
    const rx::BehaviorRelay<std::optional<VDKey>> recordedHotkey{std::nullopt};

    // The Develop pane's handle on a new recorder; the handle owns the recorder.
    static std::unique_ptr<DevelopHotkeyRecorder> makeForDevelopPane(HotkeyRecorderEngine engine);

protected:
    virtual void observeKeyEventToSetTitle();

    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    enum class Phase { idle, recording, waitingForKeyUp };

    void onEngineEvent(const HotkeyRecorderEngine::Event& event);
    void setButtonsShown(bool ok, bool remove);
    // Ends the link to the engine, the silence and the key-up wait.
    void endSilence();
    void giveUpFocus();

    const HotkeyRecorderEngine engine_;
    ModifierSet modifiersMustIncluding_;
    ModifierSet modifiersMustNotIncluding_;
    QString fallbackTitle_;
    QString fallbackRecordingTitle_;
    QPushButton* removeBtn_;  // children of the recorder
    QPushButton* okBtn_;
    Phase phase_ = Phase::idle;
    bool focusObserved_ = false;
    // Fed by focus events; the focus watching reads it.
    const rx::BehaviorRelay<bool> isFocusWidget_{false};
    // The engine of the current recording (and of its key-up wait).
    HotkeyRecorderEngine activeEngine_;
    std::unique_ptr<KeyEventSilence> silence_;
    rx::Disposable keyUpWaitTimer_;

    // Last, so they end before anything their handlers use.
    rx::DisposeBag titleDisposeBag_;
    rx::DisposeBag keyEventDisposeBag_;
    rx::DisposeBag focusingDisposeBag_;
};

}  // namespace vandrel
