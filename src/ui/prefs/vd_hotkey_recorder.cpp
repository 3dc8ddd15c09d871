#include "ui/prefs/vd_hotkey_recorder.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <algorithm>
#include <string>
#include <tuple>

#include "core/log.h"
#include "ui/base/image_asset.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

namespace {

QPushButton* makeImageButton(const ImageAsset& asset, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    const QSize size(VDHotkeyRecorder::btnSize, VDHotkeyRecorder::btnSize);
    button->setIcon(QIcon(QPixmap::fromImage(asset.image())));
    button->setIconSize(size);
    button->setFixedSize(size);
    button->setFlat(true);
    // A click on it must not take the focus from the recorder: that would end the recording first.
    button->setFocusPolicy(Qt::NoFocus);
    button->setObjectName(QString::fromStdString(asset.name()));
    button->hide();
    return button;
}

QString namesOf(const ModifierSet& modifiers)
{
    return QString::fromStdString(KeyKit::modifiersToString(modifiers));
}

class DevelopHandle final : public DevelopHotkeyRecorder {
public:
    explicit DevelopHandle(VDHotkeyRecorder* recorder) : recorder_(recorder) {}
    ~DevelopHandle() override { delete recorder_.data(); }

    QWidget* view() override { return recorder_; }
    void clearRecordedHotkey() override
    {
        if (!recorder_) return;
        recorder_->recordedHotkey.accept(std::nullopt);
        recorder_->flashTitle({}, -1);
    }
    void startFocusingObserve() override
    {
        if (recorder_) recorder_->startFocusingObserve();
    }
    void stopKeyEventObserver(int reason) override
    {
        if (!recorder_) return;
        using Reason = VDHotkeyRecorder::StopKeyEventObserverReason;
        // An unknown reason is a stop request: it must end the silence.
        const Reason r = reason == 0 ? Reason::hotkeyRecorded : reason == 1 ? Reason::focusLost : Reason::stopRequested;
        recorder_->stopKeyEventObserver(r);
    }

private:
    QPointer<VDHotkeyRecorder> recorder_;
};

}  // namespace

VDHotkeyRecorder::VDHotkeyRecorder(HotkeyRecorderEngine engine, QWidget* parent)
    : QPushButton(parent),
      engine_(std::move(engine)),
      fallbackTitle_(localizedText("Click to record hotkey...")),
      fallbackRecordingTitle_(localizedText("Press a hotkey..."))
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    okBtn_ = makeImageButton(Asset::cCheck, this);
    removeBtn_ = makeImageButton(Asset::cRemove, this);
    auto* stack = new QHBoxLayout(this);
    stack->setSpacing(4);
    stack->setContentsMargins(0, 0, 6, 0);
    stack->addStretch(1);
    stack->addWidget(okBtn_, 0, Qt::AlignVCenter);
    stack->addWidget(removeBtn_, 0, Qt::AlignVCenter);

    QPointer<VDHotkeyRecorder> self(this);
    connect(okBtn_, &QPushButton::clicked, this, [self] {
        if (self) self->stopKeyEventObserver(StopKeyEventObserverReason::stopRequested);
    });
    connect(removeBtn_, &QPushButton::clicked, this, [self] {
        if (!self) return;
        self->recordedHotkey.accept(std::nullopt);
        self->stopKeyEventObserver(StopKeyEventObserverReason::stopRequested);
    });

    observeKeyEventToSetTitle();
    setMinimumWidth(minimumRecorderWidth);
    resize(minimumRecorderWidth, sizeHint().height());
}

VDHotkeyRecorder::~VDHotkeyRecorder()
{
    focusingDisposeBag_ = rx::DisposeBag();
    titleDisposeBag_ = rx::DisposeBag();
    endSilence();
}

void VDHotkeyRecorder::observeKeyEventToSetTitle()
{
    titleDisposeBag_ = rx::DisposeBag();
    QPointer<VDHotkeyRecorder> self(this);
    rx::combineLatest(pressingModifiers, pressingKey)
        .subscribe([self](const std::tuple<ModifierSet, int>& held) {
            if (self) self->flashTitle(std::get<0>(held), std::get<1>(held));
        })
        .disposed(titleDisposeBag_);
}

void VDHotkeyRecorder::flashTitle(const ModifierSet& modifiers, int keycode)
{
    if (keycode != -1) {
        const VDKey pressed(keycode, modifiers);
        const bool hasAllRequired = std::all_of(modifiersMustIncluding_.begin(), modifiersMustIncluding_.end(),
                                                [&](int code) { return modifiers.count(code) != 0; });
        const bool hasNoForbidden = std::none_of(modifiersMustNotIncluding_.begin(), modifiersMustNotIncluding_.end(),
                                                 [&](int code) { return modifiers.count(code) != 0; });
        if (hasAllRequired && hasNoForbidden) {
            recordedHotkey.accept(pressed);
            stopKeyEventObserver(StopKeyEventObserverReason::hotkeyRecorded);
        }
        setText(QString::fromStdString(pressed.keyCharWithModifiers()));
        return;
    }
    if (!modifiers.empty()) {
        setText(namesOf(modifiers));
    } else if (const auto recorded = recordedHotkey.value()) {
        setText(QString::fromStdString(recorded->keyCharWithModifiers()));
    } else {
        setText(isInFocus.value() ? fallbackRecordingTitle_ : fallbackTitle_);
    }
}

void VDHotkeyRecorder::startFocusingObserve()
{
    if (!parentWidget()) {
        log.debug("startObserve fail", "the recorder is in no window");
        return;
    }
    focusingDisposeBag_ = rx::DisposeBag();
    focusObserved_ = true;
    log.debug("startObserve");
    isFocusWidget_.accept(hasFocus());
    QPointer<VDHotkeyRecorder> self(this);
    (isFocusWidget_ | rx::distinctUntilChanged())
        .subscribe([self](bool focused) {
            if (!self) return;
            log.debug("firstResponder ->", focused);
            self->isInFocus.accept(focused);
            if (focused)
                self->startKeyEventObserver();
            else
                self->stopKeyEventObserver(StopKeyEventObserverReason::focusLost);
        })
        .disposed(focusingDisposeBag_);
}

void VDHotkeyRecorder::startKeyEventObserver()
{
    keyEventDisposeBag_ = rx::DisposeBag();
    keyUpWaitTimer_.dispose();
    activeEngine_ = engine_;
    phase_ = Phase::recording;
    if (activeEngine_.isComplete()) {
        if (!silence_) silence_ = std::make_unique<KeyEventSilence>(activeEngine_.inputObserver);
        QPointer<VDHotkeyRecorder> self(this);
        activeEngine_.keyEvents()
            .subscribe([self](const HotkeyRecorderEngine::Event& event) {
                if (self) self->onEngineEvent(event);
            })
            .disposed(keyEventDisposeBag_);
    } else {
        log.error("No keyboard engine is running: the hotkey recorder sees no keys");
    }
    setButtonsShown(true, recordedHotkey.value().has_value());
    pressingKey.accept(-1);
    pressingModifiers.accept({});
}

void VDHotkeyRecorder::onEngineEvent(const HotkeyRecorderEngine::Event& event)
{
    using Kind = HotkeyRecorderEngine::Event::Kind;
    const VDKey key(event.event);
    const bool isCaps = key.keycode() == 57;
    if (phase_ == Phase::recording) {
        switch (event.kind) {
            case Kind::flagsChanged:
                pressingModifiers.accept(key.modifiers());
                break;
            case Kind::keyDown:
                if (!isCaps) pressingKey.accept(key.keycode());
                break;
            case Kind::keyUp:
                if (!isCaps) pressingKey.accept(-1);
                break;
            case Kind::capsDown:
            case Kind::capsUp:
                break;
        }
    } else if (phase_ == Phase::waitingForKeyUp && event.kind == Kind::keyUp && !isCaps) {
        log.debug("the recorded hotkey is released");
        endSilence();
        giveUpFocus();
    }
}

void VDHotkeyRecorder::stopKeyEventObserver(StopKeyEventObserverReason reason)
{
    const bool wasRecording = phase_ == Phase::recording;
    // Side effects belong to a recording: a focus-lost stop of an idle recorder must not touch the engine
    // or the host's focus.
    const bool endsSilence = reason == StopKeyEventObserverReason::stopRequested ||
                             (reason == StopKeyEventObserverReason::focusLost && wasRecording);
    if (reason == StopKeyEventObserverReason::hotkeyRecorded && wasRecording && silence_) {
        // The key subscriptions end; the link stays open for the key-up that ends the silence.
        phase_ = Phase::waitingForKeyUp;
        QPointer<VDHotkeyRecorder> self(this);
        keyUpWaitTimer_ = activeEngine_.mainScheduler->scheduleAfter(rx::seconds(keyUpWaitLimit), [self] {
            if (!self || !self->isWaitingForKeyUp()) return;
            log.warning("No key-up came after the recorded hotkey: the keyboard is given back");
            self->endSilence();
            self->giveUpFocus();
        });
    } else if (endsSilence || wasRecording) {
        endSilence();
    }

    flashTitle({}, -1);
    setButtonsShown(false, false);
    if (endsSilence) giveUpFocus();
}

void VDHotkeyRecorder::endSilence()
{
    keyEventDisposeBag_ = rx::DisposeBag();
    keyUpWaitTimer_.dispose();
    silence_.reset();
    phase_ = Phase::idle;
}

void VDHotkeyRecorder::giveUpFocus()
{
    const QWidget* w = window();
    if (w && w->focusWidget() == this) clearFocus();
}

void VDHotkeyRecorder::setButtonsShown(bool ok, bool remove)
{
    okBtn_->setVisible(ok);
    removeBtn_->setVisible(remove);
}

void VDHotkeyRecorder::mousePressEvent(QMouseEvent* event)
{
    QPushButton::mousePressEvent(event);
    const QPoint at = event->position().toPoint();
    log.debug("mouse clicked ->", std::to_string(at.x()) + ", " + std::to_string(at.y()));
    if (isEnabled()) setFocus(Qt::MouseFocusReason);
}

void VDHotkeyRecorder::focusInEvent(QFocusEvent* event)
{
    QPushButton::focusInEvent(event);
    isFocusWidget_.accept(true);
}

void VDHotkeyRecorder::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    isFocusWidget_.accept(false);
}

void VDHotkeyRecorder::hideEvent(QHideEvent* event)
{
    QPushButton::hideEvent(event);
    // A closed window must not leave the keyboard silenced.
    if (phase_ != Phase::idle) stopKeyEventObserver(StopKeyEventObserverReason::stopRequested);
}

void VDHotkeyRecorder::keyPressEvent(QKeyEvent* event)
{
    // While recording the engine is the one source of keys; a key that also reaches the window is not a
    // click of this button.
    if (phase_ != Phase::idle) {
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void VDHotkeyRecorder::keyReleaseEvent(QKeyEvent* event)
{
    if (phase_ != Phase::idle) {
        event->accept();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

std::unique_ptr<DevelopHotkeyRecorder> VDHotkeyRecorder::makeForDevelopPane(HotkeyRecorderEngine engine)
{
    return std::make_unique<DevelopHandle>(new VDHotkeyRecorder(std::move(engine), nullptr));
}

}  // namespace vandrel
