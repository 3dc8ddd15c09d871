#include "engine/input_observer.h"

#include <vector>

#include "core/common_utils.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"

namespace vandrel {

namespace {

rx::SchedulerPtr inputSchedulerOrFallback(rx::SchedulerPtr scheduler)
{
    if (scheduler) return scheduler;
    // Still works, but the repair and the guardian then change the held flag beside the taps' thread.
    log.warning("no input-thread scheduler given: the tap guardian and the Caps-up repair use the global queue");
    return CommonUtils::globalQueueScheduler();
}

}  // namespace

// Shared with the functions blockKeydown returns, which may outlive the observer. The count lets the
// key-down tap skip the lock and the key building while nothing is blocked.
struct InputObserver::BlockedKeys {
    struct Entry {
        std::uint64_t id;
        std::int64_t keybit;
        std::shared_ptr<const KeydownFilter> when;  // null: every key-down of the key
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    std::uint64_t nextId = 0;
    std::atomic<std::size_t> count{0};
};

std::shared_ptr<InputObserver> InputObserver::make(Dependencies dependencies)
{
    return std::make_shared<InputObserver>(Passkey{}, std::move(dependencies));
}

InputObserver::InputObserver(Passkey, Dependencies dependencies)
    : platform_(std::move(dependencies.platform)),
      state_(dependencies.state ? std::move(dependencies.state) : std::make_shared<VandrelState>()),
      inputScheduler_(inputSchedulerOrFallback(std::move(dependencies.inputThreadScheduler))),
      guardianScheduler_(dependencies.guardianScheduler ? std::move(dependencies.guardianScheduler) : inputScheduler_),
      hidObserver_(dependencies.hidObserver ? std::move(dependencies.hidObserver)
                                            : std::make_shared<HIDKeyEventObserver>(platform_)),
      popup_(std::move(dependencies.popup)),
      keydownBlockeds_(std::make_shared<BlockedKeys>())
{
}

InputObserver::~InputObserver()
{
    disposeBag_.dispose();
    // Releasing the taps lets the keyboards go.
    for (auto& tap : taps_) tap.reset();
}

InstalledInstance<InputObserver>& InputObserver::installed()
{
    static InstalledInstance<InputObserver> slot;
    return slot;
}

std::shared_ptr<InputObserver> InputObserver::shared()
{
    return installed().get();
}

std::shared_ptr<InputObserver> InputObserver::install(std::shared_ptr<InputObserver> observer)
{
    return installed().set(std::move(observer));
}

bool InputObserver::isMonitoring() const
{
    std::lock_guard lock(startMutex_);
    return started_;
}

bool InputObserver::startMonitoring()
{
    std::lock_guard lock(startMutex_);
    if (started_) return true;
    log.info("InputObserver start monitoring.");
    if (!platform_) {
        log.error("no platform: the keyboard event taps cannot be created");
        return false;
    }

    std::weak_ptr<InputObserver> weak = weak_from_this();
    using Handler = TapResult (InputObserver::*)(KeyEvent&);
    const std::array<std::pair<KeyEventType, Handler>, 3> kinds{{
        {KeyEventType::keyDown, &InputObserver::keyDownHandler},
        {KeyEventType::keyUp, &InputObserver::keyUpHandleFunction},
        {KeyEventType::flagsChanged, &InputObserver::flagsChangedHandler},
    }};
    static constexpr const char* kNames[] = {"key-down", "key-up", "flags-changed"};

    std::array<std::shared_ptr<EventTap>, 3> created;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const Handler handler = kinds[i].second;
        created[i] = platform_->eventTaps().createTap(
            kinds[i].first,
            [weak, handler](KeyEvent& event) {
                auto self = weak.lock();
                return self ? ((*self).*handler)(event) : TapResult::pass;
            },
            TapPlacement::headInsert);
        if (!created[i]) {
            // Never keep part of the taps: a keyboard grabbed by one tap while another kind of event has
            // no way through would leave the user without a working keyboard.
            for (auto& tap : created) tap.reset();
            log.error("cannot create the keyboard event tap ->", kNames[i]);
            const std::string message =
                localized("Vandrel cannot watch the keyboard. Check its input access and start it again.");
            popup_ ? popup_(message, 6) : popupMsg(message, 6);
            return false;
        }
    }
    taps_ = std::move(created);
    started_ = true;

    startGuardian();
    ensureCapsUpByUsingHIDEvent();
    return true;
}

std::function<void()> InputObserver::blockKeydown(const VDKey& keyShouldBlock, KeydownFilter when)
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(keydownBlockeds_->mutex);
        id = ++keydownBlockeds_->nextId;
        keydownBlockeds_->entries.push_back(
            {id, keyShouldBlock.keybit(), when ? std::make_shared<const KeydownFilter>(std::move(when)) : nullptr});
        keydownBlockeds_->count.store(keydownBlockeds_->entries.size());
    }
    std::weak_ptr<BlockedKeys> weak = keydownBlockeds_;
    return [weak, id] {
        auto blocked = weak.lock();
        if (!blocked) return;
        std::lock_guard lock(blocked->mutex);
        std::erase_if(blocked->entries, [id](const BlockedKeys::Entry& e) { return e.id == id; });
        blocked->count.store(blocked->entries.size());
    };
}

TapResult InputObserver::keyDownHandler(KeyEvent& event)
{
    const std::uint16_t key = event.keyCode;
    const bool held = state_->isCapsDown();
    if (key == proxyKeyCode || held) event.flags |= EventFlags::maskAlphaShift;

    if (key == proxyKeyCode) {
        event.keyCode = capsLockKeyCode;
        if (held) return TapResult::swallow;  // auto-repeat of Caps
        flagsChanged.onNext(event);
        capsDown.onNext(event);
        // Only now, so that subscribers of the two subjects still read held as false.
        keyWentDownInHold_ = false;
        state_->updateLastPressedTime();
        state_->setIsCapsDown(true);
        return TapResult::swallow;
    }

    if (held) {
        if (!event.isAutoRepeat) keyWentDownInHold_ = true;
        keydown.onNext(event);
        if (state_->keyEventBehavior() != VdrKeyEventBehavior::block) keydownWithCaps.onNext(event);
        return TapResult::swallow;
    }

    keydownWithoutCaps.onNext(event);
    keydown.onNext(event);
    if (const auto count = keydownBlockeds_->count.load(std::memory_order_acquire); count != 0) {
        log.verbose("keydownBlockeds.count ->", count);
        // The keybit of VDKey(event), without building the key: the flag masks are the keybit masks.
        constexpr std::uint64_t keyMasks = EventFlags::maskAlphaShift | EventFlags::maskCommand |
                                           EventFlags::maskAlternate | EventFlags::maskControl | EventFlags::maskShift;
        const std::int64_t keybit = event.keyCode + static_cast<std::int64_t>(event.flags & keyMasks);
        std::vector<std::shared_ptr<const KeydownFilter>> filters;
        {
            std::lock_guard lock(keydownBlockeds_->mutex);
            for (const auto& entry : keydownBlockeds_->entries) {
                if (entry.keybit != keybit) continue;
                if (!entry.when) return TapResult::swallow;
                filters.push_back(entry.when);
            }
        }
        // Asked outside the lock: a filter may take locks of its own, and unblocking may happen under them.
        for (const auto& filter : filters)
            if ((*filter)(event)) return TapResult::swallow;
    }
    if (isBlockAllKeyEventBubbling()) return TapResult::swallow;
    passedDown_.set(key);
    return TapResult::pass;
}

TapResult InputObserver::keyUpHandleFunction(KeyEvent& event)
{
    const std::uint16_t key = event.keyCode;

    if (key == proxyKeyCode) {
        // A proxy release always ends the hold, whatever the held flag said.
        event.keyCode = capsLockKeyCode;
        state_->setIsCapsDown(false);
        flagsChanged.onNext(event);
        const rx::Duration pressed = state_->clock()->now() - state_->lastPressedTime();
        // Another key pressed in the hold makes it a chord, bound or not: a stray Escape would close the
        // user's dialog, a stray lock toggle turn the next words into capitals. A keyboard unplugged during
        // the hold is no tap either.
        if (pressed < rx::seconds(VandrelState::tappingTimeLimit) && !state_->hasRunAnyVdrAction() &&
            !keyWentDownInHold_ && !event.keyboardGone) {
            log.debug("is vandrel tap, vandrel.state.hasRunAnyVdrAction ->", state_->hasRunAnyVdrAction());
            capsTap.onNext(event);
        }
        capsUp.onNext(event);
        return TapResult::swallow;
    }

    const bool held = state_->isCapsDown();
    const bool pressWasPassed = passedDown_.test(key);
    passedDown_.reset(key);
    keyup.onNext(event);
    if (held) {
        keyupWithCaps.onNext(event);
        return pressWasPassed ? TapResult::pass : TapResult::swallow;
    }
    keyupWithoutCaps.onNext(event);
    if (pressWasPassed) return TapResult::pass;
    return isBlockAllKeyEventBubbling() ? TapResult::swallow : TapResult::pass;
}

TapResult InputObserver::flagsChangedHandler(KeyEvent& event)
{
    const std::uint16_t key = event.keyCode;
    const std::uint64_t originalFlags = event.flags;
    const bool held = state_->isCapsDown();
    const std::uint64_t mask = VirtualKeyCode::modifierFlag(key);
    if (held) {
        event.flags |= EventFlags::maskAlphaShift;
        if (mask != 0 && (originalFlags & mask) != 0) keyWentDownInHold_ = true;
    }
    flagsChanged.onNext(event);

    if (mask != 0 && passedDown_.test(key)) {
        // A modifier whose press went out: this is its release, and it goes out too, as the applications
        // last saw the flags.
        passedDown_.reset(key);
        event.flags = originalFlags;
        return TapResult::pass;
    }
    if (held || isBlockAllKeyEventBubbling()) return TapResult::swallow;
    if (mask != 0 && (event.flags & mask) != 0) passedDown_.set(key);
    return TapResult::pass;
}

void InputObserver::startGuardian()
{
    std::weak_ptr<InputObserver> weak = weak_from_this();
    // The check runs where the taps run: it may clear the held flag, which only the taps' thread changes.
    theGuardian_
        .subscribe([weak](std::int64_t) {
            auto self = weak.lock();
            if (!self) return;
            self->inputScheduler_->schedule([weak] {
                if (auto s = weak.lock()) s->checkTaps();
            });
        })
        .disposed(disposeBag_);
    // The guardian wakes only when the platform disabled a tap (a stalled input path), and looks after the
    // guardian period: taps that stay enabled cost no wake-up.
    for (const auto& tap : taps_) {
        tap->setOnDisabled([weak] {
            const auto self = weak.lock();
            if (!self || self->guardianPending_.exchange(true)) return;
            self->guardianScheduler_->scheduleAfter(rx::seconds(guardianPeriod), [weak] {
                const auto s = weak.lock();
                if (!s) return;
                s->guardianPending_.store(false);
                s->theGuardian_.onNext(s->theGuardian_.value() + 1);
            });
        });
    }
}

void InputObserver::checkTaps()
{
    const auto& down = taps_[keyDownTap];
    const auto& up = taps_[keyUpTap];
    const auto& flags = taps_[flagsChangedTap];
    if (!down || !up || !flags) return;
    const bool isKeydownEventTapEnabled = down->isEnabled();
    const bool isKeyupEventTapEnabled = up->isEnabled();
    const bool isFlagsChangedEventTapEnabled = flags->isEnabled();
    if (!isKeydownEventTapEnabled) {
        log.debug("isKeydownEventTapEnabled ->", isKeydownEventTapEnabled);
        down->setEnabled(true);
    }
    if (!isKeyupEventTapEnabled) {
        log.debug("isKeyupEventTapEnabled ->", isKeyupEventTapEnabled);
        // A Caps release may have gone by while the tap was off.
        state_->setIsCapsDown(false);
        up->setEnabled(true);
    }
    if (!isFlagsChangedEventTapEnabled) {
        log.debug("isFlagsChangedEventTapEnabled ->", isFlagsChangedEventTapEnabled);
        flags->setEnabled(true);
    }
}

void InputObserver::ensureCapsUpByUsingHIDEvent()
{
    std::weak_ptr<InputObserver> weak = weak_from_this();
    (hidObserver_->isCapsDown | rx::filter([](bool down) { return !down; }) | rx::skip(1))
        .subscribe([weak](bool) {
            auto self = weak.lock();
            if (!self) return;
            // The real release normally comes through the key-up tap first and clears the flag; only a lost
            // one is left for the repair.
            self->inputScheduler_->scheduleAfter(rx::seconds(repairDelay), [weak] {
                if (auto s = weak.lock()) s->repairCapsUp();
            });
        })
        .disposed(disposeBag_);
    hidObserver_->startObserving();
}

void InputObserver::repairCapsUp()
{
    // Caps pressed again since that release: the hold is a new one, not a lost release.
    if (!state_->isCapsDown() || hidObserver_->isCapsDown.value()) return;
    log.info("capslock state should be set up, be fail with unknow reason. HID set it as up.");
    KeyEvent release;
    release.type = KeyEventType::keyUp;
    release.keyCode = proxyKeyCode;
    release.timestamp = state_->clock()->now();
    keyUpHandleFunction(release);
    log.info("have set vandrel.state.isCapsDown by HID event");
}

}  // namespace vandrel
