// A key event of a Qt widget in the program's own terms: the virtual key code of the key (0 A, 36 Return,
// 49 Space, 53 Escape, 55 Command ...) and the EventFlags of the modifiers held once the event has taken
// effect (Super is Command, Alt is Option).
//
// The key code comes from the key's position when the windowing system tells it (on X11 the event's key
// code, through the keyboard layout of the platform), otherwise from the key Qt reports, as it sits on a
// US keyboard.
#pragma once

#include <QKeyEvent>
#include <cstdint>
#include <optional>

#include "platform/keyboard_layout.h"

namespace vandrel {

struct ShortcutKeyEvent {
    enum class Type { keyDown, keyUp, flagsChanged };

    Type type = Type::keyDown;
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;

    // Absent for keys that have no virtual key code. The layout places the event's native key; null: the
    // installed platform's.
    static std::optional<ShortcutKeyEvent> from(const QKeyEvent& event, KeyboardLayout* layout = nullptr);

    // The virtual key code of a Qt key on a US keyboard; absent when there is none.
    static std::optional<std::uint16_t> keyCodeOfQtKey(int qtKey);
    // The EventFlags of Qt modifiers.
    static std::uint64_t flagsOfQtModifiers(Qt::KeyboardModifiers modifiers);
};

}  // namespace vandrel
