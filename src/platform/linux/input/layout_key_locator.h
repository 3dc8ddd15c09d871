// Where a character sits on the keyboard in the session's current layout: the key a posted shortcut must
// use so that applications, which read shortcuts by the characters their keys type, see the intended one
// (Ctrl+A is on the key of Q on a French keyboard).
#pragma once

#include <cstdint>
#include <optional>

namespace vandrel {

class LayoutKeyLocator {
public:
    virtual ~LayoutKeyLocator() = default;

    // The evdev key that types `character` with no modifier held in the current layout group, else in the
    // first other group of the keymap that has one; absent when no key types it. Any thread.
    virtual std::optional<std::uint16_t> keyTyping(char32_t character) = 0;
};

}  // namespace vandrel
