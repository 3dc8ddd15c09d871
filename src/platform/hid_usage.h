// HID keyboard-page usages and their virtual key codes, for the key mapping (which is written in usages)
// and for raw key reports (which carry usages).
#pragma once

#include <cstdint>
#include <optional>

namespace vandrel {

class HidUsage {
public:
    static constexpr std::uint32_t keyboardPage = 7;
    static constexpr std::uint32_t capsLock = 0x39;
    static constexpr std::uint32_t f19 = 0x6E;
    static constexpr std::uint32_t leftShift = 0xE1;
    static constexpr std::uint32_t rightShift = 0xE5;

    // The mapping value of a keyboard-page usage: page << 32 | usage.
    static constexpr std::uint64_t keyboardUsage(std::uint32_t usage)
    {
        return (std::uint64_t{keyboardPage} << 32) | usage;
    }

    // Keyboard-page usage of a virtual key code, absent for keys outside the keyboard page (Fn).
    static std::optional<std::uint32_t> usageForKeyCode(std::uint16_t keyCode);
    static std::optional<std::uint16_t> keyCodeForUsage(std::uint32_t usage);
};

}  // namespace vandrel
