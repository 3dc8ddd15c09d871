#include "ui/overlays/vd_cheat_sheet_window_controller.h"

#include <QEvent>
#include <QKeyEvent>
#include <QStyle>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "core/popup_msg.h"
#include "ui/base/binding_operators.h"
#include "ui/base/image_asset.h"
#include "ui/base/ui_constants.h"
#include "ui/base/window_states.h"
#include "ui/base/window_title.h"
#include "ui/overlays/shared_window_controller.h"
#include "ui/overlays/vd_window_maker.h"

namespace vandrel {

namespace {

constexpr int kLockInset = 3;

struct ToolTipStrings {
    static const QString& pin()
    {
        static const QString text = QString::fromStdString(localized("Pin the Window"));
        return text;
    }
    static const QString& unpin()
    {
        static const QString text = QString::fromStdString(localized("Unpin the Window"));
        return text;
    }
};

QIcon lockIcon(const ImageAsset& asset)
{
    const QImage image = asset.image();
    if (image.isNull()) return {};
    constexpr int size = CheatSheetUIConstants::lockIconSize;
    return QIcon(QPixmap::fromImage(image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

constexpr const char* kWhat = "The cheat sheet";

}  // namespace

const std::string& CheatSheetMessages::canReleaseCapslock()
{
    static const std::string text = localized("_can_release_capslock");
    return text;
}

const std::string& CheatSheetMessages::holdToKeepTheDisplay()
{
    static const std::string text = localized("_hold_to_keep_display");
    return text;
}

// Hands the window's key presses to the controller.
class VDCheatSheetWindowController::KeyFilter : public QObject {
public:
    explicit KeyFilter(std::function<bool(int, Qt::KeyboardModifiers)> onKey) : onKey_(std::move(onKey)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            onKey_(key->key(), key->modifiers());
            return true;
        }
        // Shortcuts of other widgets never see the sheet's keys.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(int, Qt::KeyboardModifiers)> onKey_;
};

InstalledInstance<VDCheatSheetWindowController::Shared>& VDCheatSheetWindowController::installed()
{
    static InstalledInstance<Shared> slot;
    return slot;
}

std::shared_ptr<VDCheatSheetWindowController> VDCheatSheetWindowController::make(Dependencies dependencies)
{
    auto controller = std::make_shared<VDCheatSheetWindowController>(Passkey(), std::move(dependencies));
    controller->installLockingBtn();
    controller->observeActiveKeySchemeToDrawCheatSheet();
    controller->observeScreenSizeToRearrangementCheatSheetGroup();
    return controller;
}

VDCheatSheetWindowController::VDCheatSheetWindowController(Passkey, Dependencies dependencies)
    : deps_(std::move(dependencies)),
      main_(deps_.mainScheduler ? deps_.mainScheduler : MainQueue::shared()),
      screenInfo_(deps_.screenInfo ? deps_.screenInfo : ScreenInfo::system()),
      window_(std::make_unique<VisualEffectWindow>(QRect(0, 0, 7, 7), Qt::Tool))
{
    theTimeWindowShowed_ = main_->now();
    window_->setWindowTitle(productWindowTitle(QString::fromStdString(localized("Cheat Sheet"))));
    window_->setFocusPolicy(Qt::StrongFocus);

    scrollView_ = new QScrollArea(window_->contentView());
    scrollView_->setGeometry(0, 0, 7, 7);
    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setFocusPolicy(Qt::NoFocus);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView_->setWidgetResizable(false);
    // No background of its own: the window's translucent backdrop shows through.
    scrollView_->setAutoFillBackground(false);
    scrollView_->viewport()->setAutoFillBackground(false);

    containerStackView_ = new StackView(Qt::Horizontal);
    containerStackView_->setSpacing(PreferencesUIConstants::basicGap);
    constexpr int padding = PreferencesUIConstants::windowPadding;
    containerStackView_->boxLayout()->setContentsMargins(padding, padding, padding, padding);
    containerStackView_->setAutoFillBackground(false);
    scrollView_->setWidget(containerStackView_);

    keyFilter_ = std::make_unique<KeyFilter>(
        [this](int key, Qt::KeyboardModifiers modifiers) { return handleKey(key, modifiers); });
    window_->installEventFilter(keyFilter_.get());
    VDWindowMaker::makeMovableByBackground(*window_);
}

VDCheatSheetWindowController::~VDCheatSheetWindowController()
{
    disposeBag_.dispose();
    capsRelease_.dispose();
    unpinClose_.dispose();
    redrawResize_.dispose();
    if (window_) window_->removeEventFilter(keyFilter_.get());
}

VDCheatSheetWindowController::Dependencies VDCheatSheetWindowController::dependenciesOf(const Vandrel& core)
{
    Dependencies d;
    d.activeKeyScheme = core.keyService->activeKeyScheme;
    d.capsUp = core.inputObserver()->capsUp.asObservable();
    d.isCapsDown = [state = core.state] { return state->isCapsDown(); };
    d.mainScheduler = core.mainScheduler();
    return d;
}

std::shared_ptr<VDCheatSheetWindowController> VDCheatSheetWindowController::forVandrel()
{
    return Shared::from(installed(), kWhat);
}

void VDCheatSheetWindowController::installForVandrel(std::function<Dependencies()> makeDependencies)
{
    Shared::install(installed(), kWhat, std::move(makeDependencies));
}

SettingsStore& VDCheatSheetWindowController::settings() const
{
    return deps_.settings ? *deps_.settings : Defaults();
}

void VDCheatSheetWindowController::installLockingBtn()
{
    lockButton_ = new QToolButton(window_->contentView());
    lockButton_->setCheckable(true);
    lockButton_->setAutoRaise(true);
    lockButton_->setFocusPolicy(Qt::NoFocus);
    lockButton_->setIconSize(QSize(CheatSheetUIConstants::lockIconSize, CheatSheetUIConstants::lockIconSize));
    lockButton_->setFixedSize(CheatSheetUIConstants::lockIconSize, CheatSheetUIConstants::lockIconSize);
    lockButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    applyPinnedLook(false);
    placeLockButton(window_->width());

    bindSettingToButton(DefaultsKeys::cheatSheet_isWindowPined, lockButton_, settings()).disposed(disposeBag_);
    std::weak_ptr<VDCheatSheetWindowController> weak = weakSelf();
    bindButtonToAction(lockButton_, [weak](bool on) {
        if (auto self = weak.lock()) self->onLockButton(on);
    }).disposed(disposeBag_);
    // The look follows the stored state from the start, not only after a click.
    settings()
        .observe(DefaultsKeys::cheatSheet_isWindowPined)
        .subscribe([weak](const bool& pinned) {
            if (auto self = weak.lock())
                self->onMainThread([weak, pinned] {
                    if (auto s = weak.lock()) s->applyPinnedLook(pinned);
                });
        })
        .disposed(disposeBag_);
}

void VDCheatSheetWindowController::applyPinnedLook(bool pinned)
{
    lockButton_->setIcon(lockIcon(pinned ? Asset::lockClose : Asset::lockOpen));
    lockButton_->setToolTip(pinned ? ToolTipStrings::unpin() : ToolTipStrings::pin());
    // Through the window manager: the sheet stays the same window, on screen.
    WindowStates::setKeptAbove(*window_, pinned);
}

void VDCheatSheetWindowController::onLockButton(bool pin)
{
    log.debug("Lock btn state ->", pin);
    SettingsStore& store = settings();
    const bool closeOnCapsUp = store[DefaultsKeys::cheatSheet_isCloseOnCapsUp];
    const bool wasPinned = store[DefaultsKeys::cheatSheet_isWindowPined];
    if (pin) {
        if (closeOnCapsUp && !wasPinned) toast(CheatSheetMessages::canReleaseCapslock());
        // A close still due from unpinning would take the sheet the user just pinned.
        unpinClose_.set({});
        store[DefaultsKeys::cheatSheet_isWindowPined] = true;
        return;
    }
    if (deps_.isCapsDown && deps_.isCapsDown()) {
        waitForCapsReleaseToClose(true);
    } else {
        toast(CheatSheetMessages::holdToKeepTheDisplay());
        if (closeOnCapsUp && wasPinned) {
            std::weak_ptr<VDCheatSheetWindowController> weak = weakSelf();
            unpinClose_.set(main_->scheduleAfter(rx::seconds(unpinCloseDelay), [weak] {
                if (auto self = weak.lock()) self->close();
            }));
        }
    }
    store[DefaultsKeys::cheatSheet_isWindowPined] = false;
}

void VDCheatSheetWindowController::onMainThread(std::function<void()> work)
{
    if (MainQueue::isMainThread())
        work();
    else
        main_->schedule(std::move(work));
}

void VDCheatSheetWindowController::toast(const std::string& message) const
{
    if (deps_.toast)
        deps_.toast(message, toastSeconds);
    else
        popupMsg(message, toastSeconds);
}

void VDCheatSheetWindowController::waitForCapsReleaseToClose(bool checkCloseOnCapsUp)
{
    std::weak_ptr<VDCheatSheetWindowController> weak = weakSelf();
    auto pending = std::make_shared<std::atomic<bool>>(true);
    waitingForCapsRelease_ = pending;
    // Replaces a wait still pending, so one release never closes twice nor shows the hint twice.
    capsRelease_.set((deps_.capsUp | rx::take(1) | rx::observeOn(main_))
                         .subscribe([weak, checkCloseOnCapsUp, pending](const KeyEvent&) {
                             pending->store(false);
                             auto self = weak.lock();
                             if (!self) return;
                             SettingsStore& store = self->settings();
                             if (checkCloseOnCapsUp && !store[DefaultsKeys::cheatSheet_isCloseOnCapsUp]) return;
                             if (store[DefaultsKeys::cheatSheet_isWindowPined]) return;
                             self->close();
                         }));
}

void VDCheatSheetWindowController::cancelCapsReleaseWait()
{
    if (waitingForCapsRelease_) waitingForCapsRelease_->store(false);
    capsRelease_.set({});
}

bool VDCheatSheetWindowController::isWaitingForCapsRelease() const
{
    return waitingForCapsRelease_ && waitingForCapsRelease_->load();
}

bool VDCheatSheetWindowController::isVisible() const
{
    return window_->isVisible();
}

bool VDCheatSheetWindowController::isPinned() const
{
    return const_cast<VDCheatSheetWindowController*>(this)->settings()[DefaultsKeys::cheatSheet_isWindowPined];
}

bool VDCheatSheetWindowController::isFloating() const
{
    return WindowStates::isKeptAbove(*window_);
}

int VDCheatSheetWindowController::calculateMaxListCount(const VDKeySchemePtr& scheme) const
{
    const auto frame = screenInfo_->mainScreenVisibleFrame();
    const auto visibleWidth = frame ? std::optional<double>(frame->width()) : std::nullopt;
    const auto fitted = scheme ? scheme : deps_.activeKeyScheme.value();
    if (!fitted) return vandrel::calculateMaxListCount(visibleWidth);
    const auto widths = cheatSheetGroupWidths(*fitted);
    return vandrel::calculateMaxListCount(
        visibleWidth, static_cast<int>(fitted->allSettingsGroups().size()),
        [&](int count) { return listWidthsOf(widths, calcGroupsOfListToDisplay(*fitted, count)); });
}

void VDCheatSheetWindowController::show()
{
    if (window_->isVisible()) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    currentListCount.accept(calculateMaxListCount());
    // Sized and placed before it maps, so it never flashes at its old size.
    setSizeToFitContent(false);
    if (const auto frame = screenInfo_->mainScreenVisibleFrame()) {
        const QSize size = window_->size();
        window_->move(frame->x() + (frame->width() - size.width()) / 2,
                      frame->y() + (frame->height() - size.height()) / 2);
    }
    window_->VisualEffectWindow::show();
    window_->activateWindow();
    window_->setFocus(Qt::ActiveWindowFocusReason);
    if (settings()[DefaultsKeys::cheatSheet_isCloseOnCapsUp]) waitForCapsReleaseToClose(false);
    theTimeWindowShowed_ = main_->now();
}

void VDCheatSheetWindowController::close()
{
    cancelCapsReleaseWait();
    unpinClose_.set({});
    window_->VisualEffectWindow::hide();
    hintIfQuick();
}

void VDCheatSheetWindowController::hintIfQuick()
{
    if (main_->now() - theTimeWindowShowed_ < rx::seconds(quickShowingSeconds))
        toast(CheatSheetMessages::holdToKeepTheDisplay());
}

bool VDCheatSheetWindowController::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    modifiers &= ~Qt::KeypadModifier;
    // Ctrl+W closes windows on Linux desktops; Super+W, the command key with W, does too.
    const bool closeKey = key == Qt::Key_Escape ||
                          (key == Qt::Key_W && (modifiers == Qt::ControlModifier || modifiers == Qt::MetaModifier));
    if (closeKey) close();
    return closeKey;
}

void VDCheatSheetWindowController::observeActiveKeySchemeToDrawCheatSheet()
{
    currentListCount.accept(calculateMaxListCount());
    std::weak_ptr<VDCheatSheetWindowController> weak = weakSelf();
    (deps_.activeKeyScheme | rx::filter([](const VDKeySchemePtr& scheme) { return scheme != nullptr; }))
        .subscribe([weak](const VDKeySchemePtr& scheme) {
            // The key service activates schemes on its own queue; widgets are touched on the main thread only.
            if (auto self = weak.lock())
                self->onMainThread([weak, scheme] {
                    if (auto s = weak.lock()) s->draw(scheme);
                });
        })
        .disposed(disposeBag_);
}

void VDCheatSheetWindowController::draw(const VDKeySchemePtr& scheme)
{
    // The scheme's texts decide how wide each column is, and so how many fit.
    const int count = calculateMaxListCount(scheme);
    drawCheatSheet(*containerStackView_, *scheme, calcGroupsOfListToDisplay(*scheme, count), allGroupStackViews_);
    containerStackView_->adjustSize();
    currentListCount.accept(count);
    if (!window_->isVisible()) return;
    std::weak_ptr<VDCheatSheetWindowController> weak = weakSelf();
    redrawResize_.set(main_->scheduleAfter(rx::seconds(redrawResizeDelay), [weak] {
        auto self = weak.lock();
        if (!self) return;
        const QRect old = self->window_->geometry();
        self->setSizeToFitContent(true);
        const QSize now = self->window_->size();
        log.debug("frameNow ->",
                  std::vector<int>{old.x(), old.y(), old.width(), old.height(), now.width(), now.height()});
        // Same horizontal centre, same top edge.
        self->window_->move(old.x() + (old.width() - now.width()) / 2, old.y());
    }));
}

void VDCheatSheetWindowController::observeScreenSizeToRearrangementCheatSheetGroup()
{
    std::weak_ptr<VDCheatSheetWindowController> weak = weakSelf();
    (currentListCount | rx::distinctUntilChanged())
        .subscribe([weak](const int& count) {
            auto self = weak.lock();
            if (!self) return;
            const auto scheme = self->deps_.activeKeyScheme.value();
            if (!scheme) return;
            const auto columns = calcGroupsOfListToDisplay(*scheme, count);
            if (static_cast<int>(columns.size()) == listStackSubviewCount(*self->containerStackView_)) return;
            changeColumnCount(*self->containerStackView_, columns, self->allGroupStackViews_,
                              listWidthsOf(cheatSheetGroupWidths(*scheme), columns));
            self->containerStackView_->adjustSize();
        })
        .disposed(disposeBag_);
}

void VDCheatSheetWindowController::setSizeToFitContent(bool isUseOldWindowScreenFrame)
{
    log.debug("view sizes:", std::vector<int>{window_->width(), window_->height(), containerStackView_->width(),
                                              containerStackView_->height()});
    log.debug("window is visible -> ", window_->isVisible());
    const auto frame =
        isUseOldWindowScreenFrame ? screenInfo_->visibleFrameOf(*window_) : screenInfo_->mainScreenVisibleFrame();
    if (!frame) return;
    containerStackView_->adjustSize();
    const QSize content = containerStackView_->size();
    const double share = CheatSheetUIConstants::maxPercentOfFullVisibleScreen;
    const int maxWidth = static_cast<int>(frame->width() * share);
    const int maxHeight = static_cast<int>(frame->height() * share);
    // The vertical scroller shows exactly when the content is taller than the window may be.
    const int scroller =
        content.height() > maxHeight ? scrollView_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    log.debug("Scroller width ->", scroller);
    const QSize size(std::min(content.width(), maxWidth) + scroller, std::min(content.height(), maxHeight));
    window_->resize(size);
    scrollView_->resize(size);
    placeLockButton(size.width() - scroller);
}

void VDCheatSheetWindowController::placeLockButton(int containerRight)
{
    lockButton_->move(std::max(0, containerRight - kLockInset - CheatSheetUIConstants::lockIconSize), kLockInset);
    lockButton_->raise();
}

}  // namespace vandrel
