#include "platform/linux/input/key_machine.h"

#include <algorithm>

#include "core/log.h"
#include "platform/hid_usage.h"
#include "platform/linux/input/key_code_table.h"

namespace vandrel {

namespace {

constexpr std::uint64_t kModifierMasks[5] = {EventFlags::maskCommand, EventFlags::maskShift, EventFlags::maskAlternate,
                                             EventFlags::maskControl, EventFlags::maskSecondaryFn};

// Index into the modifier counts; -1 for keys that are not modifiers.
int modifierIndex(std::uint16_t virtualKeyCode)
{
    const std::uint64_t flag = KeyCodeTable::modifierFlag(virtualKeyCode);
    for (int i = 0; i < 5; ++i)
        if (flag == kModifierMasks[i]) return i;
    return -1;
}

}  // namespace

KeyMachine::KeyMachine(std::shared_ptr<TapHub> taps) : taps_(std::move(taps))
{
    for (std::size_t i = 0; i < mapping_.size(); ++i) mapping_[i] = static_cast<std::uint16_t>(i);
}

void KeyMachine::beginTurn(bool passThrough)
{
    taps_.refresh();
    if (passThrough == passingThrough_) return;
    passingThrough_ = passThrough;
    log.info(passThrough ? "Secure input is on: key events pass through untouched"
                         : "Secure input is off: key events go through the taps again");
}

void KeyMachine::setMapping(const std::map<std::uint16_t, std::uint16_t>& mapping)
{
    for (std::size_t i = 0; i < mapping_.size(); ++i) mapping_[i] = static_cast<std::uint16_t>(i);
    mappingActive_ = false;
    for (const auto& [src, dst] : mapping) {
        if (src >= mapping_.size() || src == dst) continue;
        mapping_[src] = dst;
        mappingActive_ = true;
    }
}

void KeyMachine::countModifier(std::uint16_t virtualKeyCode, int delta)
{
    const int index = modifierIndex(virtualKeyCode);
    if (index < 0) return;
    modifierCounts_[index] = std::max(0, modifierCounts_[index] + delta);
}

std::uint64_t KeyMachine::currentFlags() const
{
    std::uint64_t flags = capsLock() ? EventFlags::maskAlphaShift : 0;
    for (int i = 0; i < 5; ++i)
        if (modifierCounts_[i] > 0) flags |= kModifierMasks[i];
    return flags;
}

KeyEvent KeyMachine::makeEvent(KeyEventType type, std::uint16_t keyCode, std::uint64_t flags, rx::TimePoint time) const
{
    KeyEvent event;
    event.type = type;
    event.keyCode = keyCode;
    event.flags = flags;
    event.timestamp = time;
    return event;
}

TapResult KeyMachine::dispatch(KeyEvent& event)
{
    if (passingThrough_) return TapResult::pass;
    for (const auto& tap : taps_.lists().of(event.type)) {
        if (!tap->enabled.load(std::memory_order_relaxed)) continue;
        TapResult result = TapResult::pass;
        try {
            result = tap->callback(event);
        } catch (const std::exception& e) {
            log.error("A tap callback failed; the event goes on ->", e.what());
        }
        if (result == TapResult::swallow) return TapResult::swallow;
    }
    return TapResult::pass;
}

void KeyMachine::report(std::uint16_t physical, std::int32_t value)
{
    if (const auto usage = HidUsage::usageForKeyCode(physical))
        reports_.onNext(HidKeyReport{HidUsage::keyboardPage, *usage, value != 0 ? 1 : 0});
}

void KeyMachine::key(Keys& keys, const Input& input)
{
    const std::uint16_t code = input.code;
    if (code >= KEY_CNT) return;
    std::int32_t value = input.value;
    if (value == 1 && keys.raw[code] && keys.held[code].valid) value = 2;
    if (value == 1)
        keys.raw.set(code);
    else if (value == 0)
        keys.raw.reset(code);
    const auto physical = KeyCodeTable::virtualKeyCode(code);
    if (observed_[code] && physical && value != 2) report(*physical, value);
    if (value == 1)
        press(keys, code, physical, input.time);
    else if (value == 0)
        release(keys, code, physical.has_value(), input);
    else
        repeat(keys, code, physical.has_value(), input.time);
}

bool KeyMachine::pressOut(Keys::Held& held, std::uint16_t outCode)
{
    if (!writable()) return false;
    held.out = true;
    held.outCode = outCode;
    held.generation = writer_->generation();
    writer_->userPress(outCode);
    return true;
}

void KeyMachine::press(Keys& keys, std::uint16_t code, std::optional<std::uint16_t> physical, rx::TimePoint time)
{
    auto& held = keys.held[code];
    const std::uint16_t mapped = physical ? (*physical < mapping_.size() ? mapping_[*physical] : *physical) : 0xFFFF;
    held = Keys::Held{true, mapped, false, false, 0, 0};
    if (physical) countModifier(mapped, +1);
    if (!keys.grabbed.load(std::memory_order_relaxed)) return;
    if (!physical) {
        pressOut(held, code);  // a key the program cannot name goes straight through
        return;
    }
    std::uint64_t flags = currentFlags();
    KeyEventType type = VirtualKeyCode::isModifier(mapped) ? KeyEventType::flagsChanged : KeyEventType::keyDown;
    const bool lockKey = mapped == VirtualKeyCode::capsLock;
    const bool lockAfter = !capsLock();
    if (lockKey) {
        // The lock toggles on press; the event already shows the new state, as the desktop will.
        type = KeyEventType::flagsChanged;
        flags = lockAfter ? (flags | EventFlags::maskAlphaShift) : (flags & ~EventFlags::maskAlphaShift);
    }
    KeyEvent event = makeEvent(type, mapped, flags, time);
    if (dispatch(event) == TapResult::swallow) {
        pressSwallowed(held, code, *physical, mapped);
        return;
    }
    // A stalled input thread's keyboards were let go meanwhile: the desktop has this key already.
    if (!keys.grabbed.load()) return;
    if (lockKey && event.keyCode == VirtualKeyCode::capsLock) setCapsLock(lockAfter);
    // Untouched, the key goes out as the physical key it is (a mapped Caps Lock stays Caps Lock for the
    // desktop); rewritten, as the key it was rewritten to.
    const auto outCode =
        event.keyCode == mapped ? std::optional<std::uint16_t>(code) : KeyCodeTable::evdevCode(event.keyCode);
    if (outCode) pressOut(held, *outCode);
}

void KeyMachine::pressSwallowed(Keys::Held& held, std::uint16_t code, std::uint16_t physical, std::uint16_t mapped)
{
    // The output still learns of it: a swallowed modifier is held by the user all the same, and any other key
    // holds the user's modifiers back until it is released.
    if (!writable()) return;
    const std::uint16_t heldCode = mapped == physical ? code : KeyCodeTable::evdevCode(mapped).value_or(code);
    held.out = true;
    held.hold = !VirtualKeyCode::isModifier(mapped);
    held.outCode = heldCode;
    held.generation = writer_->generation();
    writer_->userHoldSwallowed(heldCode);
}

void KeyMachine::release(Keys& keys, std::uint16_t code, bool named, const Input& input)
{
    auto& held = keys.held[code];
    if (!held.valid) return;  // down before we watched: its press went to the desktop, and so does its release
    const Keys::Held was = held;
    held = Keys::Held{};
    if (named) countModifier(was.mapped, -1);
    if (keys.grabbed.load(std::memory_order_relaxed) && named && was.mapped != VirtualKeyCode::capsLock) {
        const bool modifier = VirtualKeyCode::isModifier(was.mapped);
        KeyEvent event = makeEvent(modifier ? KeyEventType::flagsChanged : KeyEventType::keyUp, was.mapped,
                                   currentFlags(), input.time);
        event.keyboardGone = input.keyboardGone;
        if (dispatch(event) == TapResult::swallow && writable()) writer_->userEventSwallowed();
    }
    // Passed or not, a key that went down on the output comes up there.
    if (was.out) releaseOut(was);
}

void KeyMachine::repeat(Keys& keys, std::uint16_t code, bool named, rx::TimePoint time)
{
    const auto& held = keys.held[code];
    if (!held.valid || !keys.grabbed.load(std::memory_order_relaxed)) return;
    if (!named) {
        if (held.out && writable()) writer_->userRepeat(held.outCode);
        return;
    }
    if (VirtualKeyCode::isModifier(held.mapped) || held.mapped == VirtualKeyCode::capsLock) return;
    KeyEvent event = makeEvent(KeyEventType::keyDown, held.mapped, currentFlags(), time);
    event.isAutoRepeat = true;
    if (dispatch(event) == TapResult::swallow) return;
    if (held.out && !held.hold && writable() && writer_->generation() == held.generation)
        writer_->userRepeat(held.outCode);
}

void KeyMachine::releaseOut(const Keys::Held& held)
{
    if (!writable() || writer_->generation() != held.generation) return;
    if (held.hold)
        writer_->userHoldEnded();
    else
        writer_->userRelease(held.outCode);
}

void KeyMachine::letGo(Keys& keys)
{
    for (auto& held : keys.held) {
        if (!held.valid || !held.out) continue;
        held.out = false;
        releaseOut(held);
    }
}

}  // namespace vandrel
