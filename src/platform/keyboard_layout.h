// The current keyboard layout: what character a key types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vandrel {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;

    // The text (UTF-8) the key types in the current layout as a key-down with no modifier held and no
    // pending dead key; empty when it types nothing (a dead key, a key the layout lacks). Reads the layout
    // at the moment of the call. Any thread.
    virtual std::string characterForKeyCode(std::uint16_t keyCode) = 0;
    // The virtual key code of a key as the windowing system numbers it in its key events (a widget's
    // native scan code); absent when it cannot tell. Any thread.
    virtual std::optional<std::uint16_t> keyCodeOfWindowSystemKey(std::uint32_t) { return std::nullopt; }
};

}  // namespace vandrel
