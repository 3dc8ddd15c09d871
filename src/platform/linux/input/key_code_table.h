// The one table between evdev key codes (KEY_* of linux/input-event-codes.h) and the virtual key codes the
// rest of the program speaks, both ways, with the modifier flag each modifier key contributes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vandrel {

class KeyCodeTable {
public:
    struct Entry {
        std::uint16_t evdevCode;
        std::uint16_t virtualKeyCode;
    };

    // Every key the program can name, one row per key; no code appears twice on either side.
    static std::span<const Entry> entries();

    static std::optional<std::uint16_t> virtualKeyCode(std::uint16_t evdevCode);
    static std::optional<std::uint16_t> evdevCode(std::uint16_t virtualKeyCode);

    // The EventFlags mask a held modifier key contributes (either side of Shift gives maskShift ...); 0 for
    // keys that are not modifiers. Caps Lock contributes through its lock, not by being held, so it gives 0.
    static std::uint64_t modifierFlag(std::uint16_t virtualKeyCode);
};

}  // namespace vandrel
