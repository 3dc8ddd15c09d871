// KeyboardLayout through xkbcommon: the layout of the X session's core keyboard, followed as the user
// switches layouts or loads another keymap; without an X display, the default layout (XKB_DEFAULT_LAYOUT and
// its siblings, else US). Thread-safe. A thread of its own makes the keymap (so that making the layout costs its
// caller nothing), then reads the display's notices and publishes the layout; keyTyping() reads what was
// published and never waits on the X server or a lock (until the first keymap is published it finds no key);
// the other lookups wait for the keymap.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/keyboard_layout.h"
#include "platform/linux/input/layout_key_locator.h"

namespace vandrel {

class XkbKeyboardLayout final : public KeyboardLayout, public LayoutKeyLocator {
public:
    // The display to follow: the given name, or $DISPLAY when absent; an empty name means none.
    explicit XkbKeyboardLayout(std::optional<std::string> displayName = std::nullopt);
    ~XkbKeyboardLayout() override;
    XkbKeyboardLayout(const XkbKeyboardLayout&) = delete;
    XkbKeyboardLayout& operator=(const XkbKeyboardLayout&) = delete;

    // In the active layout group, with no modifier held (keypad keys give their digits).
    std::string characterForKeyCode(std::uint16_t keyCode) override;
    // X key codes are evdev codes plus 8.
    std::optional<std::uint16_t> keyCodeOfWindowSystemKey(std::uint32_t xKeyCode) override;

    // Searches the keymap for the key of the character's keysym.
    std::optional<std::uint16_t> keyTyping(char32_t character) override;

    // Whether the layout comes from an X display (else from the defaults).
    bool followsDisplay() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vandrel
