// The simulated keyboard layout: US by default, replaceable by a test (a layout switch).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/keyboard_layout.h"

namespace vandrel {

class SimKeyboardLayout final : public KeyboardLayout {
public:
    SimKeyboardLayout();

    std::string characterForKeyCode(std::uint16_t keyCode) override;

    // Replaces the layout: key code -> text it types. An empty map is a layout that types nothing.
    void setCharacters(std::map<std::uint16_t, std::string> characters);
    void useUsLayout();

    // The US key that types a printable ASCII character, and whether it needs Shift.
    struct UsKey {
        std::uint16_t keyCode;
        bool shift;
    };
    static std::optional<UsKey> usKeyForCharacter(char c);

private:
    std::mutex mutex_;
    std::map<std::uint16_t, std::string> characters_;
};

}  // namespace vandrel
