// The keyboards beneath the event taps: the per-keyboard key mapping (how Caps Lock is made to send F19),
// the Caps Lock lock state, and the raw state of the physical keys before any mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "rx/observable.h"

namespace vandrel {

// One entry of a keyboard's user key mapping; both values are HID usages written usage page << 32 | usage
// (0x700000039 is Caps Lock, 0x70000006E is F19).
struct KeyMappingEntry {
    std::uint64_t src = 0;
    std::uint64_t dst = 0;
    bool operator==(const KeyMappingEntry&) const = default;
};

// One value report of a physical key: pressed (1) or released (0), before the key mapping.
struct HidKeyReport {
    std::uint32_t usagePage = 0;
    std::uint32_t usage = 0;
    std::int64_t value = 0;
    bool operator==(const HidKeyReport&) const = default;
};

// Every call may be made from any thread.
class HidKeyboard {
public:
    virtual ~HidKeyboard() = default;

    // Replaces the user key mapping of every keyboard (not keypads); an entry mapping a key to itself removes
    // that key's mapping. Keyboards connected later get the same mapping, so a keyboard that reconnects keeps
    // its Caps key.
    virtual void setUserKeyMapping(const std::vector<KeyMappingEntry>& mapping) = 0;

    // The Caps Lock lock state (the light and the upper-case lock); absent when it cannot be read.
    virtual std::optional<bool> capsLockLockState() = 0;
    // False when the state cannot be set.
    virtual bool setCapsLockLockState(bool on) = 0;
    // Turns the lock over in order with the key events around it and without waiting on the desktop, so the
    // taps' thread may call it: keys typed right after it follow the new state. False when it cannot.
    virtual bool toggleCapsLockLockState()
    {
        const auto current = capsLockLockState();
        return current && setCapsLockLockState(!*current);
    }

    // Starts the raw key observer of keyboards and keypads; false when it cannot be opened (reports then
    // never arrive). Reports come on the platform's input thread; every report emits, also one that does
    // not change the key's state.
    virtual bool startObservingKeys() = 0;
    // The keyboard-page usages whose reports anyone reads: the platform may leave out every other key, so a key
    // nobody watches costs the input thread nothing. Until set, every key is reported.
    virtual void setObservedKeys(std::vector<std::uint32_t> keyboardUsages) { (void)keyboardUsages; }
    virtual rx::Observable<HidKeyReport> keyReports() = 0;
};

}  // namespace vandrel
