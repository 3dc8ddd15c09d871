#include "ui/prefs/hotkey_recorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "model/key_kit.h"
#include "model/vd_key.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

namespace {

constexpr std::uint64_t recordedFlags = EventFlags::maskControl | EventFlags::maskAlternate | EventFlags::maskShift |
                                        EventFlags::maskCommand | EventFlags::maskAlphaShift;
constexpr std::uint16_t kTab = 48, kSpace = 49, kDelete = 51, kEscape = 53;

ModifierSet modifiersOfFlags(std::uint64_t flags)
{
    KeyEvent event;
    event.flags = flags;
    return VDKey(event).modifiers();
}

}  // namespace

HotkeyRecorder::HotkeyRecorder(HotkeyRecorderEngine engine, const QRect& frame, QWidget* parent)
    : ZRShortcutRecorder(frame, parent), engine_(std::move(engine))
{
    HotkeyRecorder::defaultInit();
}

HotkeyRecorder::~HotkeyRecorder()
{
    disposeObserver();
}

void HotkeyRecorder::defaultInit()
{
    ZRShortcutRecorder::defaultInit();
    setDefaultLabel(localizedText("Click to record hotkey"));
    setWaitingForKeysLabel(localizedText("Type hotkey with Caps Lock down"));
    requiresCapslockFlags_ = true;
    labelFontSize_ = QApplication::font().pointSizeF();
    setSnapBackButtonTint(QColor(Qt::gray));
    setClearButtonTint(QColor(Qt::gray));
    QFont font = QApplication::font();
    if (labelFontSize_ > 0) font.setPointSizeF(labelFontSize_);
    setDefaultAttributes(TextAttributes{font, std::nullopt});
    setWaitingForKeysAttributes(TextAttributes{font, QColor(Qt::gray)});
}

void HotkeyRecorder::setDisplay()
{
    update();
}

void HotkeyRecorder::setIsRecording(bool recording)
{
    ZRShortcutRecorder::setIsRecording(recording);
    if (isRecording())
        subscribeHotkey();
    else
        disposeObserver();
}

void HotkeyRecorder::subscribeHotkey()
{
    if (subscribed_) return;
    activeEngine_ = engine_;
    if (!activeEngine_.isComplete()) {
        log.error("No keyboard engine is running: the recorder takes the window's keys only");
        return;
    }
    subscribed_ = true;
    activeEngine_.state->setKeyEventBehavior(VdrKeyEventBehavior::block);
    QPointer<HotkeyRecorder> self(this);
    activeEngine_.keyEvents()
        .subscribe([self](const HotkeyRecorderEngine::Event& event) {
            if (self) self->onEngineEvent(event);
        })
        .disposed(keyEventDisposeBag_);
}

void HotkeyRecorder::disposeObserver()
{
    if (!subscribed_) return;
    subscribed_ = false;
    activeEngine_.state->setKeyEventBehavior(VdrKeyEventBehavior::vandrel);
    keyEventDisposeBag_ = rx::DisposeBag();
}

void HotkeyRecorder::onEngineEvent(const HotkeyRecorderEngine::Event& event)
{
    using Kind = HotkeyRecorderEngine::Event::Kind;
    std::uint64_t flags = event.event.flags;
    const std::uint16_t code = event.event.keyCode;
    switch (event.kind) {
        case Kind::keyDown:
            log.debug("recording keydown");
            if (event.isCapsHeld) flags |= EventFlags::maskAlphaShift;
            if (code == VandrelState::proxyKey) return;
            keyDown(ShortcutKeyEvent{ShortcutKeyEvent::Type::keyDown, code, flags});
            log.info("recording vd hotkey", code);
            break;
        case Kind::capsUp:
            log.info("OnCapsUp");
            flagsChanged(ShortcutKeyEvent{ShortcutKeyEvent::Type::flagsChanged, code, flags});
            break;
        case Kind::capsDown:
            log.info("OnCapsDown");
            flagsChanged(
                ShortcutKeyEvent{ShortcutKeyEvent::Type::flagsChanged, code, flags | EventFlags::maskAlphaShift});
            break;
        case Kind::flagsChanged:
            log.info("OnFlagsChange", code);
            if (event.isCapsHeld) flags |= EventFlags::maskAlphaShift;
            flagsChanged(ShortcutKeyEvent{ShortcutKeyEvent::Type::flagsChanged, code, flags});
            break;
        case Kind::keyUp:
            break;
    }
}

QString HotkeyRecorder::stringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags) const
{
    // The flags already carry Caps Lock when the key came during a Caps hold.
    return QString::fromStdString(KeyKit::getStringFromKeyCode(keyCode, modifierFlags));
}

void HotkeyRecorder::flagsChanged(const ShortcutKeyEvent& event)
{
    if (!isRecording()) return;
    const std::uint64_t flags = event.modifierFlags & recordedFlags;
    setModifierFlags(flags);
    setMutableLabel(QString::fromStdString(KeyKit::modifiersToString(modifiersOfFlags(flags))));
    setDisplay();
}

bool HotkeyRecorder::keyDown(const ShortcutKeyEvent& event)
{
    log.info("keyDown");
    performKeyEquivalent(event);
    return true;
}

bool HotkeyRecorder::performKeyEquivalent(const ShortcutKeyEvent& event)
{
    if (!isFirstResponder()) return false;
    const std::uint16_t code = event.keyCode;
    // The key's own flags decide, label and report alike.
    const std::uint64_t flags = event.modifierFlags & recordedFlags;
    if (flags == 0) {
        if (isRecording() && code == kDelete) {
            log.info("delete taped");
            setIsRecording(false);
            clearKeyboardShortcut();
            setDisplay();
            return true;
        }
        if (isRecording() && (code == kEscape || (code == kTab && !captureTabKey()))) {
            setIsRecording(false);
            popKeyboardShortcut();
            setDisplay();
            return true;
        }
        if (!isRecording() && code == kSpace) {
            pushKeyboardShortcut();
            setIsRecording(true);
            setDisplay();
            return true;
        }
    }
    if (!isRecording()) return false;
    if ((requiresCapslockFlags_ && (flags & EventFlags::maskAlphaShift) == 0) ||
        (requiresModifierFlags() && flags == 0)) {
        QApplication::beep();
        return true;
    }
    const QString label = stringFromKeyCode(code, flags);
    if (!label.isEmpty()) setMutableLabel(label);
    setModifierFlags(flags);
    setKeyCode(code);
    setIsRecording(false);
    setDisplay();
    tellSetFlags(modifierFlags(), keyCode());
    return true;
}

std::pair<QString, ZRShortcutRecorder::TextAttributes> HotkeyRecorder::labelToDraw() const
{
    QFont font = QApplication::font();
    if (labelFontSize_ > 0) font.setPointSizeF(labelFontSize_);
    if (!mutableLabel().isEmpty()) return {mutableLabel(), TextAttributes{font, std::nullopt}};
    if (!isRecording()) return {defaultLabel(), TextAttributes{font, std::nullopt}};
    if (!previousMutableLabel().isEmpty()) return {previousMutableLabel(), TextAttributes{font, std::nullopt}};
    return {waitingForKeysLabel(), TextAttributes{font, waitingForKeysAttributes().foregroundColor}};
}

void HotkeyRecorder::hideEvent(QHideEvent* event)
{
    ZRShortcutRecorder::hideEvent(event);
    // A closed window must not leave Caps actions blocked.
    if (isRecording()) setIsRecording(false);
}

void HotkeyRecorder::keyPressEvent(QKeyEvent* event)
{
    // While subscribed the engine is the one source of keys: the window's copy of a key is not taken twice.
    if (subscribed_) {
        event->accept();
        return;
    }
    ZRShortcutRecorder::keyPressEvent(event);
}

void HotkeyRecorder::keyReleaseEvent(QKeyEvent* event)
{
    if (subscribed_) {
        event->accept();
        return;
    }
    ZRShortcutRecorder::keyReleaseEvent(event);
}

// --- the legacy developer view ---------------------------------------------------------------------------------

std::shared_ptr<DevelopViewController> DevelopViewController::make(HotkeyRecorderEngine engine)
{
    auto controller = std::make_shared<DevelopViewController>(Passkey{}, std::move(engine));
    controller->viewDidLoad();
    return controller;
}

DevelopViewController::DevelopViewController(Passkey, HotkeyRecorderEngine engine) : view_(std::make_unique<QWidget>())
{
    testHotkeyRecorderButton_ = new QPushButton(QStringLiteral("Test"), view_.get());
    text1_ = new QLineEdit(view_.get());
    text2_ = new QLineEdit(view_.get());
    hotkeyRecorder_ = new HotkeyRecorder(std::move(engine), QRect(), view_.get());
    labelField_ = new QLineEdit(view_.get());
    labelField_->setReadOnly(true);
    btn222_ = new QPushButton(QStringLiteral("btn222"), view_.get());
    auto* layout = new QVBoxLayout(view_.get());
    for (QWidget* w : std::initializer_list<QWidget*>{testHotkeyRecorderButton_, text1_, text2_, hotkeyRecorder_,
                                                      labelField_, btn222_})
        layout->addWidget(w);
    QObject::connect(btn222_, &QPushButton::clicked, view_.get(), [this] { btnClick(); });
    QObject::connect(text1_, &QLineEdit::returnPressed, view_.get(), [this] { textclick(); });
}

DevelopViewController::~DevelopViewController() = default;

void DevelopViewController::viewDidLoad()
{
    hotkeyRecorder_->setDelegate(weak_from_this());
}

bool DevelopViewController::isCheckAlphaUpdate() const
{
    return Defaults().get(DefaultsKeys::app_isCheckAlphaUpdate);
}

void DevelopViewController::setIsCheckAlphaUpdate(bool check)
{
    Defaults().set(DefaultsKeys::app_isCheckAlphaUpdate, check);
}

void DevelopViewController::shortcutRecorderSetFlags(ZRShortcutRecorder&, std::uint64_t, std::uint16_t)
{
    log.info("shortcutRecorder setFlags");
    doAfterHotkeyChanged();
}

void DevelopViewController::shortcutRecorderDidClearFlags(ZRShortcutRecorder&, std::uint64_t, std::uint16_t)
{
    log.info("shortcutRecorder didClear");
    // The recorder still holds the shortcut it is about to drop: show that none is set.
    labelField_->clear();
}

void DevelopViewController::textclick()
{
    log.info("textclick");
}

void DevelopViewController::doAfterHotkeyChanged()
{
    const std::int64_t code = hotkeyRecorder_->keyCode();
    if (code < 0) {
        labelField_->clear();
        return;
    }
    const std::int64_t keybit = KeyKit::makekeybitFrom(code, modifiersOfFlags(hotkeyRecorder_->modifierFlags()));
    labelField_->setText(QString::number(keybit, 16));
}

}  // namespace vandrel
