// One key event as the keyboard map mirrors it.
#pragma once

#include <optional>
#include <string>

namespace vandrel {

struct Keystroke {
    bool vdr = false;  // the key is the Caps proxy key (F19, which the remapped Caps Lock key sends)
    bool shift = false;
    bool ctrl = false;
    bool opt = false;
    bool cmd = false;
    std::optional<int> keyCode;

    // Absent without a key code, or for a code no key event can carry.
    std::optional<std::string> keyName() const;

    bool operator==(const Keystroke&) const = default;
};

}  // namespace vandrel
