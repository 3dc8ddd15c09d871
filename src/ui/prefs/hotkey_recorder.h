// The older hotkey recorder: a shortcut recorder view that records combinations with Caps Lock.
//
// The engine withholds the proxy Caps key and every key pressed while it is held, so those keys never reach
// the view as window key events. While it records, the recorder therefore reads the engine's key events
// (HotkeyRecorderEngine: key-downs, modifier changes, Caps presses and releases, in the order the taps saw
// them), puts the Caps Lock flag into the events of a Caps hold, and feeds them to its own key handling. It
// also switches the engine's Caps behaviour to block, so a combination already bound runs no action; any
// end of recording (a recorded key, Escape, Tab, Delete, focus loss, hiding, destruction) switches it back.
//
// Caps Lock counts as a modifier: the label shows Ctrl, Alt, Shift, Super, Caps Lock in that order, then the key's
// name, and a recording needs the Caps Lock flag unless requiresCapslockFlags is off. With no modifier held, Space
// starts recording, and while recording Escape (and Tab, unless captured) restores the previous shortcut and
// Delete clears it. Main thread only.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <optional>

#include "rx/rx.h"
#include "ui/prefs/hotkey_recorder_engine.h"
#include "ui/prefs/zr_shortcut_recorder.h"

namespace vandrel {

class HotkeyRecorder : public ZRShortcutRecorder {
    Q_OBJECT
public:
    // Records from this engine (an incomplete one: the recorder takes the window's keys only).
    explicit HotkeyRecorder(HotkeyRecorderEngine engine, const QRect& frame = {}, QWidget* parent = nullptr);
    ~HotkeyRecorder() override;

    bool requiresCapslockFlags() const { return requiresCapslockFlags_; }
    void setRequiresCapslockFlags(bool required) { requiresCapslockFlags_ = required; }
    double labelFontSize() const { return labelFontSize_; }
    void setLabelFontSize(double size) { labelFontSize_ = size; }
    // Redraws.
    void setDisplay();
    // Whether the engine's events reach the recorder now.
    bool isSubscribed() const { return subscribed_; }

    void setIsRecording(bool recording) override;
    QString stringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags) const override;
    bool performKeyEquivalent(const ShortcutKeyEvent& event) override;
    bool keyDown(const ShortcutKeyEvent& event) override;
    void flagsChanged(const ShortcutKeyEvent& event) override;
    std::pair<QString, TextAttributes> labelToDraw() const override;

protected:
    void defaultInit() override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void subscribeHotkey();
    void disposeObserver();
    void onEngineEvent(const HotkeyRecorderEngine::Event& event);
    bool isCapsHeld() const;

    const HotkeyRecorderEngine engine_;
    HotkeyRecorderEngine activeEngine_;
    bool requiresCapslockFlags_ = true;
    double labelFontSize_ = 0;
    bool subscribed_ = false;
    rx::DisposeBag keyEventDisposeBag_;
};

// The legacy developer view: an older recorder and a field showing the keybit it recorded.
class DevelopViewController : public ZRShortcutRecorderDelegate,
                              public std::enable_shared_from_this<DevelopViewController> {
public:
    // engine: what the recorder records from.
    static std::shared_ptr<DevelopViewController> make(HotkeyRecorderEngine engine);
    ~DevelopViewController() override;
    DevelopViewController(const DevelopViewController&) = delete;
    DevelopViewController& operator=(const DevelopViewController&) = delete;

    // The view with its controls; the controller owns it.
    QWidget* view() const { return view_.get(); }
    QPushButton* testHotkeyRecorderButton() const { return testHotkeyRecorderButton_; }
    QLineEdit* text1() const { return text1_; }
    QLineEdit* text2() const { return text2_; }
    HotkeyRecorder* hotkeyRecorder() const { return hotkeyRecorder_; }
    QLineEdit* labelField() const { return labelField_; }
    QPushButton* btn222() const { return btn222_; }
    bool testbool() const { return testbool_; }

    // The setting app_isCheckAlphaUpdate.
    bool isCheckAlphaUpdate() const;
    void setIsCheckAlphaUpdate(bool check);

    void shortcutRecorderSetFlags(ZRShortcutRecorder& recorder, std::uint64_t flags, std::uint16_t keyCode) override;
    void shortcutRecorderDidClearFlags(ZRShortcutRecorder& recorder, std::uint64_t flags,
                                       std::uint16_t keyCode) override;

    void btnClick() {}
    void textclick();

private:
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    DevelopViewController(Passkey, HotkeyRecorderEngine engine);

private:
    void viewDidLoad();
    // The label shows the recorded key's keybit in lower-case hexadecimal.
    void doAfterHotkeyChanged();

    std::unique_ptr<QWidget> view_;
    QPushButton* testHotkeyRecorderButton_;
    QLineEdit* text1_;
    QLineEdit* text2_;
    HotkeyRecorder* hotkeyRecorder_;
    QLineEdit* labelField_;
    QPushButton* btn222_;
    bool testbool_ = true;
};

}  // namespace vandrel
