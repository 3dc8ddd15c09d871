// Key helpers: packing a key code and its modifier keys into a keybit and back, the modifier-flag tests,
// and the one notation in which the user reads a hotkey.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "model/keystroke.h"
#include "platform/key_event.h"

namespace vandrel {

// Modifier key codes (55 Command, 56 Shift, 57 Caps Lock, 58 Option, 59 Control), iterated in ascending
// order wherever order matters.
using ModifierSet = std::set<int>;

class KeyKit {
public:
    // Keybit masks of the modifier key codes.
    static constexpr std::int64_t capsLockMask = 0x10000;
    static constexpr std::int64_t shiftMask = 0x20000;
    static constexpr std::int64_t controlMask = 0x40000;
    static constexpr std::int64_t optionMask = 0x80000;
    static constexpr std::int64_t commandMask = 0x100000;

    // The key code plus the mask of each modifier in the set (an addition; other codes are ignored).
    static std::int64_t makekeybitFrom(std::int64_t keycode, const ModifierSet& modifiers);

    struct KeycodeAndModifiers {
        int keycode;
        ModifierSet modifiers;
    };
    // Key code from the low 12 bits, modifiers from their masks; no other bit is read.
    static KeycodeAndModifiers makeKeycodeAndModifiersFrom(std::int64_t keybit);

    // True when every bit of the modifier's mask is set in the event flags.
    static bool isShiftDown(std::uint64_t flags) { return (flags & EventFlags::maskShift) == EventFlags::maskShift; }
    static bool isCtrlDown(std::uint64_t flags) { return (flags & EventFlags::maskControl) == EventFlags::maskControl; }
    static bool isOptDown(std::uint64_t flags)
    {
        return (flags & EventFlags::maskAlternate) == EventFlags::maskAlternate;
    }
    static bool isCmdDown(std::uint64_t flags) { return (flags & EventFlags::maskCommand) == EventFlags::maskCommand; }

    // A key code as hotkey texts write it (needKeySymbol true): a named key by its Linux name ("Return",
    // "Backspace", "Page Up"), any other key as what the current keyboard layout types, upper-cased (",",
    // "E"). Or (needKeySymbol false) the name the keyboard map knows the key by ("Enter", "Esc", "PageUp"),
    // any other key as the layout's character capitalized. Empty for the four left-hand modifiers and for
    // keys that type nothing.
    static std::string getKeyNameOrKeySymbolFromKeyCode(std::uint16_t keyCode, bool needKeySymbol);
    static std::string getKeyNameFromKeyCode(std::uint16_t keyCode);
    static std::string getCharFromKeyCode(std::uint16_t keyCode);

    // The notation of every hotkey the user reads: the name of each modifier key code in the set followed
    // by "+", always in the order Ctrl, Alt, Shift, Super, Caps Lock (codes 59, 58, 56, 55, 57), then the
    // key as getCharFromKeyCode writes it: "Shift+Caps Lock+" and ",". Stored data keeps the key codes.
    static std::string modifiersToString(const ModifierSet& modifiers);
    // The same for the set modifier flags of a key event.
    static std::string modifierFlagsToString(std::uint64_t modifierFlags);
    // The modifier names of the set flags, then the key.
    static std::string getStringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags);
    static Keystroke cgeventToKeystroke(const KeyEvent& event);
};

}  // namespace vandrel
