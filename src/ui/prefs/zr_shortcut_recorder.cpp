#include "ui/prefs/zr_shortcut_recorder.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include "model/key_kit.h"
#include "platform/key_event.h"

namespace vandrel {

namespace {

constexpr std::uint64_t recordedModifiers =
    EventFlags::maskControl | EventFlags::maskAlternate | EventFlags::maskShift | EventFlags::maskCommand;

constexpr std::uint16_t kTab = 48, kSpace = 49, kDelete = 51, kEscape = 53;

QString modifierNames(std::uint64_t flags)
{
    return QString::fromStdString(KeyKit::modifierFlagsToString(flags & recordedModifiers));
}

std::uint16_t low16(std::int64_t keyCode)
{
    return static_cast<std::uint16_t>(keyCode & 0xFFFF);
}

// The template images of the two buttons, black on transparent, 12 x 12.
QImage stopTemplate()
{
    QImage image(ZRShortcutRecorder::buttonSize, ZRShortcutRecorder::buttonSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2.5, 2.5), QPointF(9.5, 9.5));
    p.drawLine(QPointF(9.5, 2.5), QPointF(2.5, 9.5));
    return image;
}

QImage invalidDataTemplate()
{
    QImage image(ZRShortcutRecorder::buttonSize, ZRShortcutRecorder::buttonSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawEllipse(QRectF(1, 1, 10, 10));
    p.drawLine(QPointF(3, 3), QPointF(9, 9));
    return image;
}

// The template filled with tint where it is drawn (source-atop), then, for the pressed variant, with the
// adjustment colour over that.
QImage tinted(const QImage& templ, const QColor& tint, const QColor* adjustment = nullptr)
{
    QImage image = templ;
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    p.fillRect(image.rect(), tint);
    if (adjustment) p.fillRect(image.rect(), *adjustment);
    return image;
}

}  // namespace

ZRShortcutRecorder::ZRShortcutRecorder(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    if (frame.isValid()) setGeometry(frame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    ZRShortcutRecorder::defaultInit();
}

ZRShortcutRecorder::~ZRShortcutRecorder() = default;

void ZRShortcutRecorder::defaultInit()
{
    setModifierFlags(0);
    setPreviousModifierFlags(0);
    setKeyCode(-1);
    setPreviousKeyCode(-1);
    defaultLabel_ = QStringLiteral("Click to record shortcut");
    waitingForKeysLabel_ = QStringLiteral("Type shortcut");
    setCaptureTabKey(false);
    setRequiresModifierFlags(true);
    // Straight into the fields: the images are tinted once, below.
    snapBackButtonTint_ = QColor(255, 149, 0);
    clearButtonTint_ = QColor::fromRgbF(0.5, 0.5, 0.5, 1.0);
    mouseDownTintAdjustment_ = QColor::fromRgbF(0, 0, 0, 0.2);
    defaultAttributes_ = TextAttributes{QApplication::font(), std::nullopt};
    waitingForKeysAttributes_ = TextAttributes{QApplication::font(), QColor(Qt::gray)};
    tintSnapBackImage();
    tintClearImage();
}

void ZRShortcutRecorder::tintSnapBackImage()
{
    const QImage templ = invalidDataTemplate();
    snapBackImage_ = tinted(templ, snapBackButtonTint_);
    if (mouseDownTintAdjustment_) snapBackImageTinted_ = tinted(templ, snapBackButtonTint_, &*mouseDownTintAdjustment_);
}

void ZRShortcutRecorder::tintClearImage()
{
    const QImage templ = stopTemplate();
    clearImage_ = tinted(templ, clearButtonTint_);
    if (mouseDownTintAdjustment_) clearImageTinted_ = tinted(templ, clearButtonTint_, &*mouseDownTintAdjustment_);
}

void ZRShortcutRecorder::setDefaultLabel(QString label)
{
    defaultLabel_ = std::move(label);
    update();
}

void ZRShortcutRecorder::setDefaultAttributes(TextAttributes attributes)
{
    defaultAttributes_ = std::move(attributes);
    update();
}

void ZRShortcutRecorder::setWaitingForKeysLabel(QString label)
{
    waitingForKeysLabel_ = std::move(label);
    update();
}

void ZRShortcutRecorder::setWaitingForKeysAttributes(TextAttributes attributes)
{
    waitingForKeysAttributes_ = std::move(attributes);
    update();
}

void ZRShortcutRecorder::setSnapBackButtonTint(QColor tint)
{
    snapBackButtonTint_ = std::move(tint);
    tintSnapBackImage();
    update();
}

void ZRShortcutRecorder::setClearButtonTint(QColor tint)
{
    clearButtonTint_ = std::move(tint);
    tintClearImage();
    update();
}

void ZRShortcutRecorder::setMouseDownTintAdjustment(std::optional<QColor> adjustment)
{
    mouseDownTintAdjustment_ = std::move(adjustment);
    tintSnapBackImage();
    tintClearImage();
    update();
}

void ZRShortcutRecorder::setKeyCodeAndModifierFlags(std::int64_t keyCode, std::uint64_t modifierFlags)
{
    setModifierFlags(modifierFlags);
    setKeyCode(keyCode);
    setMutableLabel(stringFromKeyCode(low16(keyCode), modifierFlags));
    update();
}

void ZRShortcutRecorder::clear()
{
    setModifierFlags(0);
    setPreviousModifierFlags(0);
    setKeyCode(-1);
    setPreviousKeyCode(-1);
    setMutableLabel(QString());
    setPreviousMutableLabel(QString());
    update();
}

QString ZRShortcutRecorder::stringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags) const
{
    return QString::fromStdString(KeyKit::getStringFromKeyCode(keyCode, modifierFlags & recordedModifiers));
}

void ZRShortcutRecorder::tellSetFlags(std::uint64_t flags, std::int64_t keyCode)
{
    if (auto d = delegate()) d->shortcutRecorderSetFlags(*this, flags, low16(keyCode));
}

void ZRShortcutRecorder::tellDidClearFlags(std::uint64_t flags, std::int64_t keyCode)
{
    if (auto d = delegate()) d->shortcutRecorderDidClearFlags(*this, flags, low16(keyCode));
}

void ZRShortcutRecorder::pushKeyboardShortcut()
{
    if (isRecording()) return;
    if (keyCode() >= 0 || modifierFlags() != 0) tellDidClearFlags(modifierFlags(), keyCode());
    setPreviousModifierFlags(modifierFlags());
    setPreviousKeyCode(keyCode());
    setPreviousMutableLabel(mutableLabel());
    setModifierFlags(0);
    setKeyCode(-1);
    setMutableLabel(QString());
}

void ZRShortcutRecorder::popKeyboardShortcut()
{
    if (previousModifierFlags() == 0 && previousKeyCode() == -1) {
        setModifierFlags(0);
        setKeyCode(-1);
        setMutableLabel(QString());
        return;
    }
    setModifierFlags(previousModifierFlags());
    setKeyCode(previousKeyCode());
    setMutableLabel(previousMutableLabel());
    tellSetFlags(modifierFlags(), keyCode());
    setPreviousModifierFlags(0);
    setPreviousKeyCode(-1);
    setPreviousMutableLabel(QString());
}

void ZRShortcutRecorder::clearKeyboardShortcut()
{
    tellDidClearFlags(modifierFlags(), keyCode());
    setPreviousModifierFlags(0);
    setPreviousKeyCode(-1);
    setPreviousMutableLabel(QString());
    setModifierFlags(0);
    setKeyCode(-1);
    setMutableLabel(QString());
}

void ZRShortcutRecorder::flagsChanged(const ShortcutKeyEvent& event)
{
    if (!isRecording()) return;
    // Caps Lock and every other flag are dropped: only the four modifiers make a shortcut.
    setModifierFlags(event.modifierFlags & recordedModifiers);
    setMutableLabel(modifierNames(modifierFlags()));
    update();
}

bool ZRShortcutRecorder::isFirstResponder() const
{
    const QWidget* w = window();
    return w && w->focusWidget() == this;
}

bool ZRShortcutRecorder::performKeyEquivalent(const ShortcutKeyEvent& event)
{
    if (!isFirstResponder()) return false;
    const std::uint16_t code = event.keyCode;
    if (!isRecording()) {
        if (code == kDelete) {
            setIsRecording(false);
            clearKeyboardShortcut();
            update();
            return true;
        }
        if (code == kSpace) {
            pushKeyboardShortcut();
            setIsRecording(true);
            update();
            return true;
        }
        return false;
    }
    if (code == kEscape || (code == kTab && !captureTabKey())) {
        setIsRecording(false);
        popKeyboardShortcut();
        update();
        return true;
    }
    // The modifiers of the key itself decide, label and report alike: the ones gathered from modifier
    // changes can be stale (a modifier released while the focus was elsewhere).
    setModifierFlags(event.modifierFlags & recordedModifiers);
    if (requiresModifierFlags() && modifierFlags() == 0) {
        QApplication::beep();
        setIsRecording(false);
        popKeyboardShortcut();
        update();
        return false;
    }
    setMutableLabel(stringFromKeyCode(code, modifierFlags()));
    setKeyCode(code);
    setIsRecording(false);
    update();
    tellSetFlags(modifierFlags(), keyCode());
    return true;
}

bool ZRShortcutRecorder::keyDown(const ShortcutKeyEvent& event)
{
    return performKeyEquivalent(event);
}

std::pair<QString, ZRShortcutRecorder::TextAttributes> ZRShortcutRecorder::labelToDraw() const
{
    if (!mutableLabel().isEmpty()) return {mutableLabel(), defaultAttributes()};
    if (isRecording()) return {waitingForKeysLabel(), waitingForKeysAttributes()};
    return {defaultLabel(), defaultAttributes()};
}

QRectF ZRShortcutRecorder::innerRect() const
{
    QRectF r = rect();
    r.setHeight(r.height() - 3);
    return r;
}

QRectF ZRShortcutRecorder::centerRect(const QSizeF& size, const QRectF& inRect)
{
    return QRectF(inRect.x() + (inRect.width() - size.width()) / 2, inRect.y() + (inRect.height() - size.height()) / 2,
                  size.width(), size.height());
}

QRectF ZRShortcutRecorder::rectForLabel() const
{
    const auto [text, attributes] = labelToDraw();
    const QSizeF bounds(width(), height());
    const QSizeF textSize = QFontMetricsF(attributes.font).boundingRect(QRectF(QPointF(), bounds), 0, text).size();
    return centerRect(textSize, innerRect());
}

bool ZRShortcutRecorder::clearButtonVisible() const
{
    return !previousMutableLabel().isEmpty();
}

QRectF ZRShortcutRecorder::clearButtonRect() const
{
    return QRectF(width() - (clearImage_.width() + 4), (height() - buttonSize) / 2.0, buttonSize, buttonSize);
}

bool ZRShortcutRecorder::snapBackButtonVisible() const
{
    return isRecording();
}

QRectF ZRShortcutRecorder::snapBackButtonRect() const
{
    QRectF r(width() - (snapBackImage_.width() + 4), (height() - buttonSize) / 2.0, buttonSize, buttonSize);
    if (clearButtonVisible()) r.translate(-16, 0);
    return r;
}

QRectF ZRShortcutRecorder::focusRingMaskBounds() const
{
    return rect();
}

bool ZRShortcutRecorder::isMouseInClearButton(const QPointF& point) const
{
    return clearButtonVisible() && clearButtonRect().contains(point);
}

bool ZRShortcutRecorder::isMouseInSnapBackButton(const QPointF& point) const
{
    return snapBackButtonVisible() && snapBackButtonRect().contains(point);
}

QSize ZRShortcutRecorder::sizeHint() const
{
    return {200, 22};
}

void ZRShortcutRecorder::drawBackground(QPainter& painter)
{
    const qreal scale = devicePixelRatioF();
    const qreal p = 1.0 / scale;
    QRectF r = rect();
    r.setHeight(r.height() - p);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath outer;
    outer.addRoundedRect(r, 4, 4);
    painter.fillPath(outer, QColor::fromRgbF(0.784, 0.784, 0.784));
    QPainterPath inner;
    inner.addRoundedRect(r.adjusted(p, p, -p, -p), 4, 4);
    painter.fillPath(inner, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const qreal y = height() - p;
    painter.setPen(QPen(QColor::fromRgbF(0.716, 0.716, 0.716), p));
    painter.drawLine(QPointF(3 * scale, y), QPointF(width() - 3 * scale, y));
    painter.setPen(QPen(QColor::fromRgbF(0.674, 0.674, 0.674), p));
    painter.drawLine(QPointF(4, y), QPointF(width() - 4, y));
}

void ZRShortcutRecorder::drawLabel(QPainter& painter)
{
    const auto [text, attributes] = labelToDraw();
    painter.setFont(attributes.font);
    // The field is white whatever the palette: dark themes still get dark text.
    painter.setPen(attributes.foregroundColor.value_or(QColor(Qt::black)));
    painter.drawText(rectForLabel(), Qt::AlignCenter, text);
}

void ZRShortcutRecorder::drawClearButton(QPainter& painter)
{
    painter.drawImage(clearButtonRect(),
                      mouseDownInClear() && !clearImageTinted_.isNull() ? clearImageTinted_ : clearImage_);
}

void ZRShortcutRecorder::drawSnapBackButton(QPainter& painter)
{
    painter.drawImage(snapBackButtonRect(),
                      mouseDownInSnapBack() && !snapBackImageTinted_.isNull() ? snapBackImageTinted_ : snapBackImage_);
}

void ZRShortcutRecorder::drawFocusRingMask(QPainter& painter)
{
    QRectF r = focusRingMaskBounds();
    r.setHeight(r.height() - 1);
    r.adjust(1, 1, -1, -1);
    QColor ring = palette().color(QPalette::Highlight);
    ring.setAlphaF(0.6);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(ring, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(r, 4, 4);
}

void ZRShortcutRecorder::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawBackground(painter);
    drawLabel(painter);
    if (isRecording()) {
        if (clearButtonVisible()) drawClearButton(painter);
        drawSnapBackButton(painter);
    }
    if (hasFocus()) drawFocusRingMask(painter);
}

bool ZRShortcutRecorder::event(QEvent* event)
{
    // While recording, every key is the recorder's: no shortcut of the window may take it first.
    if (event->type() == QEvent::ShortcutOverride && isRecording()) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

bool ZRShortcutRecorder::focusNextPrevChild(bool next)
{
    // Tab while recording is a key to record (or to end recording), not a move to the next control.
    if (isRecording()) return false;
    return QWidget::focusNextPrevChild(next);
}

void ZRShortcutRecorder::keyPressEvent(QKeyEvent* event)
{
    const auto key = ShortcutKeyEvent::from(*event);
    if (!key) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (key->type == ShortcutKeyEvent::Type::flagsChanged) {
        flagsChanged(*key);
        return;
    }
    if (!keyDown(*key)) QWidget::keyPressEvent(event);
}

void ZRShortcutRecorder::keyReleaseEvent(QKeyEvent* event)
{
    const auto key = ShortcutKeyEvent::from(*event);
    if (key && key->type == ShortcutKeyEvent::Type::flagsChanged) {
        flagsChanged(*key);
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void ZRShortcutRecorder::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    event->accept();
    if (!isFirstResponder()) setFocus(Qt::MouseFocusReason);
    const QPointF where = event->position();
    if (isMouseInClearButton(where)) {
        mouseDownInClear_ = true;
    } else if (isMouseInSnapBackButton(where)) {
        mouseDownInSnapBack_ = true;
    } else {
        pushKeyboardShortcut();
        setIsRecording(true);
    }
    update();
}

void ZRShortcutRecorder::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF where = event->position();
    if (mouseDownInClear() && isMouseInClearButton(where)) {
        mouseDownInClear_ = false;
        setIsRecording(false);
        clearKeyboardShortcut();
    } else if (mouseDownInSnapBack() && isMouseInSnapBackButton(where)) {
        mouseDownInSnapBack_ = false;
        setIsRecording(false);
        popKeyboardShortcut();
    }
    mouseDownInClear_ = false;
    mouseDownInSnapBack_ = false;
    update();
}

void ZRShortcutRecorder::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void ZRShortcutRecorder::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    setIsRecording(false);
    update();
}

}  // namespace vandrel
