// One keyboard event as the event taps see it, in the terms the model uses everywhere: the virtual key codes
// of the original keyboard layout (55 Command, 56 Shift, 57 Caps Lock, 58 Option, 59 Control, 80 F19, 0 A
// ...) and its modifier-flag masks. The Linux backend translates evdev codes into these; nothing above the
// platform layer sees evdev or X11 codes.
#pragma once

#include <cstdint>

#include "rx/scheduler.h"

namespace vandrel {

enum class KeyEventType : std::uint8_t { keyDown, keyUp, flagsChanged };

// Modifier-flag masks of KeyEvent::flags (the same numbers as the keybit masks of the key model).
struct EventFlags {
    static constexpr std::uint64_t maskAlphaShift = 0x10000;  // Caps Lock
    static constexpr std::uint64_t maskShift = 0x20000;
    static constexpr std::uint64_t maskControl = 0x40000;
    static constexpr std::uint64_t maskAlternate = 0x80000;  // Option
    static constexpr std::uint64_t maskCommand = 0x100000;
    static constexpr std::uint64_t maskSecondaryFn = 0x800000;
};

// Virtual key codes the platform code itself needs to name.
struct VirtualKeyCode {
    static constexpr std::uint16_t rightCommand = 54;
    static constexpr std::uint16_t command = 55;
    static constexpr std::uint16_t shift = 56;
    static constexpr std::uint16_t capsLock = 57;
    static constexpr std::uint16_t option = 58;
    static constexpr std::uint16_t control = 59;
    static constexpr std::uint16_t rightShift = 60;
    static constexpr std::uint16_t rightOption = 61;
    static constexpr std::uint16_t rightControl = 62;
    static constexpr std::uint16_t function = 63;
    static constexpr std::uint16_t f19 = 80;

    // Keys whose press and release arrive as flagsChanged events rather than key-down and key-up.
    static constexpr bool isModifier(std::uint16_t code) { return code >= rightCommand && code <= function; }

    // The flag mask that is set while this modifier key is down, either side; 0 for other keys and for Caps
    // Lock, whose flag follows its lock rather than the key.
    static constexpr std::uint64_t modifierFlag(std::uint16_t code)
    {
        switch (code) {
            case command:
            case rightCommand:
                return EventFlags::maskCommand;
            case shift:
            case rightShift:
                return EventFlags::maskShift;
            case option:
            case rightOption:
                return EventFlags::maskAlternate;
            case control:
            case rightControl:
                return EventFlags::maskControl;
            case function:
                return EventFlags::maskSecondaryFn;
            default:
                return 0;
        }
    }
};

struct KeyEvent {
    KeyEventType type = KeyEventType::keyDown;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    bool isAutoRepeat = false;
    // A release made because the key's keyboard went away (unplugged) while the key was down, not by the user.
    bool keyboardGone = false;
    // Monotonic time of the event; for posted events the platform fills it in.
    rx::TimePoint timestamp{};

    bool operator==(const KeyEvent&) const = default;
};

}  // namespace vandrel
