// Small bridges to the system: whether this process may watch and rewrite keyboard input, and posting a
// single raw key event.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace vandrel {

class VdrCore {
public:
    // Whether input access is granted, without asking the user. False without an installed platform.
    static bool hasAXPermission();
    static bool hasAXPermission(Platform& platform);
    // The same check, letting the platform ask the user for access; the answer is not used.
    static void promptToGetAXPermission();
    // Posts one key-down or key-up of the key code, with no flags, after our own taps.
    static void postKeyEventWithVKeyCode(std::uint16_t keyCode, bool isDown);
};

}  // namespace vandrel
