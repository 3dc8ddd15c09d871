// The Caps Lock lock state (the light and the upper-case lock), read, set and toggled beneath the taps.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace vandrel {

class ObjcHelper {
public:
    // Request codes of capslockState.
    static constexpr std::int32_t lockOff = 0;
    static constexpr std::int32_t lockOn = 1;
    static constexpr std::int32_t toggle = -1;
    static constexpr std::int32_t query = 9;

    // Result of a request the keyboard could not carry out (never 0 or 1, so it is never taken for a state).
    static constexpr std::int32_t ioReturnError = static_cast<std::int32_t>(0xE00002BC);

    // lockOff, lockOn, toggle: 0 when done, else ioReturnError. query: 0 (off) or 1 (on), else ioReturnError.
    // Any other request changes nothing and gives 0, as does a process without a platform.
    static std::int32_t capslockState(std::int32_t request);
    static std::int32_t capslockState(Platform& platform, std::int32_t request);
};

}  // namespace vandrel
