#include "platform/sim/sim_keyboard.h"

#include <algorithm>
#include <atomic>

#include "core/log.h"
#include "platform/hid_usage.h"
#include "platform/sim/sim_keyboard_layout.h"

namespace vandrel {

struct SimKeyboard::TapEntry {
    KeyEventType type;
    TapCallback callback;
    std::atomic<bool> enabled{true};
    std::mutex mutex;
    std::function<void()> onDisabled;
};

// Taps by event type, shared with the tap handles so a handle may outlive the keyboard.
struct SimKeyboard::Registry {
    std::mutex mutex;
    std::map<KeyEventType, std::vector<std::shared_ptr<TapEntry>>> taps;

    std::vector<std::shared_ptr<TapEntry>> snapshot(KeyEventType type)
    {
        std::lock_guard lock(mutex);
        return taps[type];
    }
};

class SimKeyboard::Tap final : public EventTap {
public:
    Tap(std::shared_ptr<TapEntry> entry, std::weak_ptr<Registry> registry)
        : entry_(std::move(entry)), registry_(std::move(registry))
    {
    }
    ~Tap() override
    {
        if (auto r = registry_.lock()) {
            std::lock_guard lock(r->mutex);
            std::erase(r->taps[entry_->type], entry_);
        }
    }
    bool isEnabled() const override { return entry_->enabled.load(); }
    void setEnabled(bool enabled) override { entry_->enabled.store(enabled); }
    void setOnDisabled(std::function<void()> handler) override
    {
        std::lock_guard lock(entry_->mutex);
        entry_->onDisabled = std::move(handler);
    }

private:
    std::shared_ptr<TapEntry> entry_;
    std::weak_ptr<Registry> registry_;
};

class SimKeyboard::Barrier final : public OrderBarrier {
public:
    Barrier(std::weak_ptr<SimKeyboard*> keyboard, std::uint64_t id) : keyboard_(std::move(keyboard)), id_(id) {}
    ~Barrier() override { release(); }
    void release() override
    {
        if (released_.exchange(true)) return;
        if (auto k = keyboard_.lock()) (*k)->closeOrderBarrier(id_);
    }

private:
    const std::weak_ptr<SimKeyboard*> keyboard_;
    const std::uint64_t id_;
    std::atomic<bool> released_{false};
};

SimKeyboard::SimKeyboard(rx::SchedulerPtr scheduler)
    : scheduler_(std::move(scheduler)),
      registry_(std::make_shared<Registry>()),
      self_(std::make_shared<SimKeyboard*>(this))
{
}

SimKeyboard::~SimKeyboard() = default;

std::shared_ptr<OrderBarrier> SimKeyboard::openOrderBarrier()
{
    std::uint64_t id;
    {
        std::lock_guard lock(mutex_);
        id = ++nextBarrierId_;
        openBarriers_.push_back(id);
    }
    std::weak_ptr<SimKeyboard*> weak = self_;
    scheduler_->scheduleAfter(OrderBarrier::maxHold, [weak, id] {
        auto k = weak.lock();
        if (!k) return;
        {
            std::lock_guard lock((*k)->mutex_);
            if (std::find((*k)->openBarriers_.begin(), (*k)->openBarriers_.end(), id) == (*k)->openBarriers_.end())
                return;
        }
        log.warning("Keys waited 500 ms behind an action (a busy main thread, or a paste nobody fetched); they go on");
        (*k)->closeOrderBarrier(id);
    });
    return std::make_shared<Barrier>(self_, id);
}

bool SimKeyboard::heldBack(std::function<void()> input, bool release)
{
    std::lock_guard lock(mutex_);
    // A release waits only behind keys typed after the barrier opened; with none waiting it goes at once.
    if ((openBarriers_.empty() || release) && (heldInput_.empty() || replaying_)) return false;
    heldInput_.push_back(std::move(input));
    return true;
}

void SimKeyboard::closeOrderBarrier(std::uint64_t id)
{
    std::lock_guard input(inputMutex_);
    {
        std::lock_guard lock(mutex_);
        std::erase(openBarriers_, id);
        if (replaying_) return;
        replaying_ = true;
    }
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(mutex_);
            if (!openBarriers_.empty() || heldInput_.empty()) {
                replaying_ = false;
                return;
            }
            next = std::move(heldInput_.front());
            heldInput_.pop_front();
        }
        next();
    }
}

std::shared_ptr<EventTap> SimKeyboard::createTap(KeyEventType type, TapCallback callback, TapPlacement placement)
{
    {
        std::lock_guard lock(mutex_);
        if (tapCreationFails_ || !callback) return nullptr;
    }
    auto entry = std::make_shared<TapEntry>();
    entry->type = type;
    entry->callback = std::move(callback);
    {
        std::lock_guard lock(registry_->mutex);
        auto& list = registry_->taps[type];
        if (placement == TapPlacement::headInsert)
            list.insert(list.begin(), entry);
        else
            list.push_back(entry);
    }
    return std::make_shared<Tap>(entry, registry_);
}

bool SimKeyboard::postEvent(const KeyEvent& event, EventTapLocation location)
{
    KeyEvent stamped = event;
    stamped.timestamp = scheduler_->now();
    {
        std::lock_guard lock(mutex_);
        if (postingFails_) return false;
        posted_.push_back({stamped, location});
    }
    if (location == EventTapLocation::hid) dispatch(stamped);
    return true;
}

void SimKeyboard::setUserKeyMapping(const std::vector<KeyMappingEntry>& mapping)
{
    std::lock_guard lock(mutex_);
    mapping_ = mapping;
    ++mappingApplyCount_;
}

std::optional<bool> SimKeyboard::capsLockLockState()
{
    std::lock_guard lock(mutex_);
    if (capsLockStateFails_) return std::nullopt;
    return capsLocked_;
}

bool SimKeyboard::setCapsLockLockState(bool on)
{
    std::lock_guard lock(mutex_);
    if (capsLockStateFails_) return false;
    capsLocked_ = on;
    return true;
}

bool SimKeyboard::toggleCapsLockLockState()
{
    std::lock_guard lock(mutex_);
    if (capsLockStateFails_) return false;
    capsLocked_ = !capsLocked_;
    return true;
}

bool SimKeyboard::startObservingKeys()
{
    std::lock_guard lock(mutex_);
    if (keyObserverOpenFails_) return false;
    observing_ = true;
    return true;
}

rx::Observable<HidKeyReport> SimKeyboard::keyReports()
{
    return reports_.asObservable();
}

std::uint16_t SimKeyboard::mapped(std::uint16_t keyCode) const
{
    const auto usage = HidUsage::usageForKeyCode(keyCode);
    if (!usage) return keyCode;
    const auto src = HidUsage::keyboardUsage(*usage);
    for (const auto& entry : mapping_) {
        if (entry.src != src || entry.dst == entry.src) continue;
        if ((entry.dst >> 32) != HidUsage::keyboardPage) return keyCode;
        return HidUsage::keyCodeForUsage(static_cast<std::uint32_t>(entry.dst & 0xFFFFFFFF)).value_or(keyCode);
    }
    return keyCode;
}

std::uint64_t SimKeyboard::currentFlags() const
{
    std::uint64_t flags = capsLocked_ ? EventFlags::maskAlphaShift : 0;
    for (const auto& [physical, code] : held_) {
        switch (code) {
            case VirtualKeyCode::shift:
            case VirtualKeyCode::rightShift:
                flags |= EventFlags::maskShift;
                break;
            case VirtualKeyCode::control:
            case VirtualKeyCode::rightControl:
                flags |= EventFlags::maskControl;
                break;
            case VirtualKeyCode::option:
            case VirtualKeyCode::rightOption:
                flags |= EventFlags::maskAlternate;
                break;
            case VirtualKeyCode::command:
            case VirtualKeyCode::rightCommand:
                flags |= EventFlags::maskCommand;
                break;
            case VirtualKeyCode::function:
                flags |= EventFlags::maskSecondaryFn;
                break;
            default:
                break;
        }
    }
    return flags;
}

void SimKeyboard::physicalReport(std::uint16_t keyCode, bool down)
{
    const auto usage = HidUsage::usageForKeyCode(keyCode);
    bool observing;
    {
        std::lock_guard lock(mutex_);
        observing = observing_;
    }
    if (observing && usage) reports_.onNext(HidKeyReport{HidUsage::keyboardPage, *usage, down ? 1 : 0});
}

void SimKeyboard::press(std::uint16_t keyCode)
{
    pressAt(keyCode, scheduler_->now());
}

void SimKeyboard::pressAt(std::uint16_t keyCode, rx::TimePoint at)
{
    std::lock_guard input(inputMutex_);
    if (heldBack([this, keyCode, at] { pressAt(keyCode, at); })) return;
    physicalReport(keyCode, true);
    KeyEvent event;
    {
        std::lock_guard lock(mutex_);
        const std::uint16_t code = mapped(keyCode);
        held_[keyCode] = code;
        event.keyCode = code;
        if (code == VirtualKeyCode::capsLock) {
            capsLocked_ = !capsLocked_;
            event.type = KeyEventType::flagsChanged;
        } else {
            event.type = VirtualKeyCode::isModifier(code) ? KeyEventType::flagsChanged : KeyEventType::keyDown;
        }
        event.flags = currentFlags();
    }
    event.timestamp = at;
    dispatch(event);
}

void SimKeyboard::release(std::uint16_t keyCode)
{
    releaseAt(keyCode, scheduler_->now());
}

void SimKeyboard::releaseAt(std::uint16_t keyCode, rx::TimePoint at)
{
    std::lock_guard input(inputMutex_);
    // The release of Caps (pressed as F19) ends the hold the action belongs to: it keeps its place behind the
    // action, as presses do.
    const bool capsUp = [&] {
        std::lock_guard lock(mutex_);
        const auto it = held_.find(keyCode);
        return it != held_.end() && it->second == VirtualKeyCode::f19;
    }();
    if (heldBack([this, keyCode, at] { releaseAt(keyCode, at); }, !capsUp)) return;
    physicalReport(keyCode, false);
    KeyEvent event;
    {
        std::lock_guard lock(mutex_);
        auto it = held_.find(keyCode);
        const std::uint16_t code = it != held_.end() ? it->second : mapped(keyCode);
        if (it != held_.end()) held_.erase(it);
        // The lock key reports its toggle on press only.
        if (code == VirtualKeyCode::capsLock) return;
        event.keyCode = code;
        event.type = VirtualKeyCode::isModifier(code) ? KeyEventType::flagsChanged : KeyEventType::keyUp;
        event.flags = currentFlags();
    }
    event.timestamp = at;
    dispatch(event);
}

void SimKeyboard::tap(std::uint16_t keyCode)
{
    press(keyCode);
    release(keyCode);
}

void SimKeyboard::repeat(std::uint16_t keyCode, int count)
{
    repeatAt(keyCode, count, scheduler_->now());
}

void SimKeyboard::repeatAt(std::uint16_t keyCode, int count, rx::TimePoint at)
{
    std::lock_guard input(inputMutex_);
    if (heldBack([this, keyCode, count, at] { repeatAt(keyCode, count, at); })) return;
    for (int i = 0; i < count; ++i) {
        KeyEvent event;
        {
            std::lock_guard lock(mutex_);
            auto it = held_.find(keyCode);
            event.keyCode = it != held_.end() ? it->second : mapped(keyCode);
            if (VirtualKeyCode::isModifier(event.keyCode)) return;  // modifiers do not repeat
            event.type = KeyEventType::keyDown;
            event.isAutoRepeat = true;
            event.flags = currentFlags();
        }
        event.timestamp = at;
        dispatch(event);
    }
}

void SimKeyboard::chord(std::initializer_list<std::uint16_t> modifiers, std::uint16_t keyCode)
{
    for (auto m : modifiers) press(m);
    tap(keyCode);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) release(*it);
}

void SimKeyboard::typeText(std::string_view text)
{
    for (char c : text) {
        auto key = SimKeyboardLayout::usKeyForCharacter(c);
        if (!key) continue;
        if (key->shift)
            chord({VirtualKeyCode::shift}, key->keyCode);
        else
            tap(key->keyCode);
    }
}

void SimKeyboard::dispatch(KeyEvent event)
{
    std::lock_guard input(inputMutex_);
    for (const auto& tap : registry_->snapshot(event.type)) {
        if (!tap->enabled.load()) continue;
        if (tap->callback(event) == TapResult::swallow) return;
    }
    std::lock_guard lock(mutex_);
    passed_.push_back(event);
}

std::vector<KeyEvent> SimKeyboard::passedEvents() const
{
    std::lock_guard lock(mutex_);
    return passed_;
}

std::vector<PostedEvent> SimKeyboard::postedEvents() const
{
    std::lock_guard lock(mutex_);
    return posted_;
}

void SimKeyboard::clearEvents()
{
    std::lock_guard lock(mutex_);
    passed_.clear();
    posted_.clear();
}

void SimKeyboard::disableTaps(KeyEventType type)
{
    for (const auto& tap : registry_->snapshot(type)) {
        tap->enabled.store(false);
        std::function<void()> handler;
        {
            std::lock_guard lock(tap->mutex);
            handler = tap->onDisabled;
        }
        if (handler) handler();
    }
}

std::size_t SimKeyboard::tapCount(KeyEventType type) const
{
    return registry_->snapshot(type).size();
}

bool SimKeyboard::isPhysicallyDown(std::uint16_t keyCode) const
{
    std::lock_guard lock(mutex_);
    return held_.count(keyCode) != 0;
}

std::vector<KeyMappingEntry> SimKeyboard::userKeyMapping() const
{
    std::lock_guard lock(mutex_);
    return mapping_;
}

int SimKeyboard::userKeyMappingApplyCount() const
{
    std::lock_guard lock(mutex_);
    return mappingApplyCount_;
}

void SimKeyboard::setTapCreationFails(bool fails)
{
    std::lock_guard lock(mutex_);
    tapCreationFails_ = fails;
}

void SimKeyboard::setPostingFails(bool fails)
{
    std::lock_guard lock(mutex_);
    postingFails_ = fails;
}

void SimKeyboard::setCapsLockStateFails(bool fails)
{
    std::lock_guard lock(mutex_);
    capsLockStateFails_ = fails;
}

void SimKeyboard::setKeyObserverOpenFails(bool fails)
{
    std::lock_guard lock(mutex_);
    keyObserverOpenFails_ = fails;
}

}  // namespace vandrel
