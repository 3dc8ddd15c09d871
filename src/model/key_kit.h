// Key helpers: packing a key code and its modifier keys into a keybit and back, the modifier-flag tests,
// and showing keys to the user (names, symbols and modifier names).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/keystroke.h"
#include "platform/key_event.h"

namespace vandrel {

// Modifier key codes (55 Command, 56 Shift, 57 Caps Lock, 58 Option, 59 Control), iterated in ascending
// order wherever order matters.
using ModifierSet = std::set<int>;

// How modifiers are written for the user: the names Linux desktops use ("Ctrl+Alt+Shift+Super+Caps Lock+"),
// or the same with "Caps" for Caps Lock where space is short (the cheat sheet, the hotkey list's column).
enum class ModifierNotation { full, compact };

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

    // The name ("Enter", "Pageup", "A") or the symbol ("↩", "⇞", "A") of a key code: from the fixed maps,
    // else what the current keyboard layout types; empty for the four left-hand modifiers and for keys
    // that type nothing. Names come capitalized, symbols upper-cased.
    static std::string getKeyNameOrKeySymbolFromKeyCode(std::uint16_t keyCode, bool needKeySymbol);
    static std::string getKeyNameFromKeyCode(std::uint16_t keyCode);
    static std::string getCharFromKeyCode(std::uint16_t keyCode);

    // The one formatter of displayed modifiers: the name of each modifier key code in the set followed by
    // "+", always in the order Ctrl, Alt, Shift, Super, Caps Lock (codes 59, 58, 56, 55, 57), so that a
    // key's name can follow directly: "Shift+Caps Lock+" then "J". Stored data keeps the key codes.
    static std::string modifiersToString(const ModifierSet& modifiers,
                                         ModifierNotation notation = ModifierNotation::full);
    // The same for the set modifier flags of a key event.
    static std::string modifierFlagsToString(std::uint64_t modifierFlags,
                                             ModifierNotation notation = ModifierNotation::full);
    // The modifier names of the set flags, then the key's name.
    static std::string getStringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags);
    static Keystroke cgeventToKeystroke(const KeyEvent& event);

    // The fixed maps, in the order they are built: key code -> name, key code -> symbol.
    static const std::vector<std::pair<int, std::string_view>>& keyNameMap();
    static const std::vector<std::pair<int, std::string_view>>& keySymbolMap();
};

}  // namespace vandrel
