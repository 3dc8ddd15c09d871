// A self-drawn view that records one keyboard shortcut. Click it (or press Space while it has the focus),
// press a key combination, and it shows the combination as modifier names (Ctrl, Alt, Shift, Super, always in this
// order) followed by the key's label, and tells its delegate. While recording, a snap-back button restores the shortcut
// shown before, and a clear button (when there was one) removes it.
//
//   idle ── click / Space ──▶ recording      (the shown shortcut is set aside: didClear to the delegate)
//   recording ── key with modifiers ──▶ idle (setFlags to the delegate)
//   recording ── Escape, Tab, snap-back, a key without modifiers (beep) ──▶ idle, the set-aside shortcut back
//   recording ── clear button ──▶ idle, nothing shown (didClear)
//   idle and focused ── Delete ──▶ nothing shown (didClear, even when nothing was shown)
//   recording ── focus moves elsewhere ──▶ idle
//
// Recorders of the hotkey editor derive from this view: they replace the key handling, the labels and the
// recording state through the virtual members, and every step here goes through those members, so an
// override takes effect everywhere. A subclass runs its own defaultInit() from its constructor.
//
// Modifier flags are EventFlags (Shift 0x20000, Control 0x40000, Option 0x80000, Command 0x100000); the key
// code is a virtual key code, -1 for none. Main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "ui/prefs/shortcut_key_event.h"

namespace vandrel {

class ZRShortcutRecorder;

class ZRShortcutRecorderDelegate {
public:
    virtual ~ZRShortcutRecorderDelegate() = default;
    // A shortcut was recorded, or the one set aside was restored.
    virtual void shortcutRecorderSetFlags(ZRShortcutRecorder& recorder, std::uint64_t flags, std::uint16_t keyCode) = 0;
    // The shown shortcut was cleared, or set aside because recording began.
    virtual void shortcutRecorderDidClearFlags(ZRShortcutRecorder& recorder, std::uint64_t flags,
                                               std::uint16_t keyCode) = 0;
};

class ZRShortcutRecorder : public QWidget {
    Q_OBJECT
public:
    struct TextAttributes {
        QFont font;
        std::optional<QColor> foregroundColor;  // absent: the palette's text colour
    };

    static constexpr int buttonSize = 12;

    explicit ZRShortcutRecorder(const QRect& frame = {}, QWidget* parent = nullptr);
    ~ZRShortcutRecorder() override;

    // The delegate is held weakly: a delegate that is gone is simply not told.
    void setDelegate(std::weak_ptr<ZRShortcutRecorderDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<ZRShortcutRecorderDelegate> delegate() const { return delegate_.lock(); }

    // Shows a stored shortcut; the delegate is not told.
    void setKeyCodeAndModifierFlags(std::int64_t keyCode, std::uint64_t modifierFlags);
    // Forgets the shown and the set-aside shortcut; the delegate is not told.
    void clear();

    // The label of a shortcut in the program's hotkey notation (KeyKit): the modifier names, then the key;
    // the key part is empty when the key types nothing.
    virtual QString stringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags) const;

    virtual void pushKeyboardShortcut();
    virtual void popKeyboardShortcut();
    virtual void clearKeyboardShortcut();

    // Key handling as the window hands it on: true when the recorder took the key.
    virtual bool performKeyEquivalent(const ShortcutKeyEvent& event);
    virtual bool keyDown(const ShortcutKeyEvent& event);
    virtual void flagsChanged(const ShortcutKeyEvent& event);

    // The text to show and its attributes.
    virtual std::pair<QString, TextAttributes> labelToDraw() const;

    virtual bool isRecording() const { return isRecording_; }
    virtual void setIsRecording(bool recording) { isRecording_ = recording; }

    // Plain state.
    std::int64_t keyCode() const { return keyCode_; }
    void setKeyCode(std::int64_t keyCode) { keyCode_ = keyCode; }
    std::uint64_t modifierFlags() const { return modifierFlags_; }
    void setModifierFlags(std::uint64_t flags) { modifierFlags_ = flags; }
    const QString& mutableLabel() const { return mutableLabel_; }
    void setMutableLabel(QString label) { mutableLabel_ = std::move(label); }
    std::int64_t previousKeyCode() const { return previousKeyCode_; }
    void setPreviousKeyCode(std::int64_t keyCode) { previousKeyCode_ = keyCode; }
    std::uint64_t previousModifierFlags() const { return previousModifierFlags_; }
    void setPreviousModifierFlags(std::uint64_t flags) { previousModifierFlags_ = flags; }
    const QString& previousMutableLabel() const { return previousMutableLabel_; }
    void setPreviousMutableLabel(QString label) { previousMutableLabel_ = std::move(label); }
    bool captureTabKey() const { return captureTabKey_; }
    void setCaptureTabKey(bool capture) { captureTabKey_ = capture; }
    bool requiresModifierFlags() const { return requiresModifierFlags_; }
    void setRequiresModifierFlags(bool required) { requiresModifierFlags_ = required; }
    bool mouseDownInClear() const { return mouseDownInClear_; }
    bool mouseDownInSnapBack() const { return mouseDownInSnapBack_; }

    // Labels and tints; each setter redraws (a tint setter re-tints its image first).
    const QString& defaultLabel() const { return defaultLabel_; }
    void setDefaultLabel(QString label);
    const TextAttributes& defaultAttributes() const { return defaultAttributes_; }
    void setDefaultAttributes(TextAttributes attributes);
    const QString& waitingForKeysLabel() const { return waitingForKeysLabel_; }
    void setWaitingForKeysLabel(QString label);
    const TextAttributes& waitingForKeysAttributes() const { return waitingForKeysAttributes_; }
    void setWaitingForKeysAttributes(TextAttributes attributes);
    const QColor& snapBackButtonTint() const { return snapBackButtonTint_; }
    void setSnapBackButtonTint(QColor tint);
    const QColor& clearButtonTint() const { return clearButtonTint_; }
    void setClearButtonTint(QColor tint);
    const std::optional<QColor>& mouseDownTintAdjustment() const { return mouseDownTintAdjustment_; }
    void setMouseDownTintAdjustment(std::optional<QColor> adjustment);

    // Geometry, in view coordinates.
    virtual QRectF innerRect() const;
    virtual QRectF rectForLabel() const;
    virtual bool clearButtonVisible() const;
    virtual QRectF clearButtonRect() const;
    virtual bool snapBackButtonVisible() const;
    virtual QRectF snapBackButtonRect() const;
    virtual QRectF focusRingMaskBounds() const;
    bool isMouseInClearButton(const QPointF& point) const;
    bool isMouseInSnapBackButton(const QPointF& point) const;
    static QRectF centerRect(const QSizeF& size, const QRectF& inRect);

    QSize sizeHint() const override;

protected:
    // The initial state; the constructor runs this class's own.
    virtual void defaultInit();

    virtual void drawBackground(class QPainter& painter);
    virtual void drawLabel(QPainter& painter);
    virtual void drawClearButton(QPainter& painter);
    virtual void drawSnapBackButton(QPainter& painter);
    virtual void drawFocusRingMask(QPainter& painter);

    // Sends to the delegate when there is one.
    void tellSetFlags(std::uint64_t flags, std::int64_t keyCode);
    void tellDidClearFlags(std::uint64_t flags, std::int64_t keyCode);
    // Whether the recorder has its window's keyboard focus.
    bool isFirstResponder() const;

    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void tintSnapBackImage();
    void tintClearImage();

    std::weak_ptr<ZRShortcutRecorderDelegate> delegate_;
    QColor snapBackButtonTint_;
    QColor clearButtonTint_;
    std::optional<QColor> mouseDownTintAdjustment_;
    QString defaultLabel_;
    TextAttributes defaultAttributes_;
    QString waitingForKeysLabel_;
    TextAttributes waitingForKeysAttributes_;
    bool captureTabKey_ = false;
    bool requiresModifierFlags_ = true;
    bool isRecording_ = false;
    std::int64_t keyCode_ = -1;
    std::uint64_t modifierFlags_ = 0;
    QString mutableLabel_;
    QString previousMutableLabel_;
    bool mouseDownInClear_ = false;
    bool mouseDownInSnapBack_ = false;
    std::uint64_t previousModifierFlags_ = 0;
    std::int64_t previousKeyCode_ = -1;
    QImage clearImage_, clearImageTinted_;
    QImage snapBackImage_, snapBackImageTinted_;
};

}  // namespace vandrel
