// Pseudo key codes that no keyboard produces.
#pragma once

namespace vandrel {

struct VDKeycode {
    // Caps Lock pressed and held (a tap of Caps Lock alone is the real key code 57).
    static constexpr int capslockPress = 313;
};

}  // namespace vandrel
