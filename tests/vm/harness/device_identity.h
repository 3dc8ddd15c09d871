#pragma once

#include <linux/input.h>

#include <cstdint>
#include <string_view>

namespace vandrel::vmtest {

// What an input device says it is: its name and the kernel's input_id triple.
struct DeviceIdentity {
    std::string_view name;
    std::uint16_t bustype = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    bool matches(std::string_view otherName, const input_id& id) const
    {
        return otherName == name && id.bustype == bustype && id.vendor == vendor && id.product == product;
    }
};

// The keyboard the program under test writes everything it passes or posts to.
inline constexpr DeviceIdentity kVandrelVirtualKeyboard{"Vandrel Virtual Keyboard", BUS_VIRTUAL, 0x5644, 0x0001};

// The default identity of a keyboard a test plugs in: a USB keyboard, as the program sees a real one.
inline constexpr std::uint16_t kTestKeyboardVendor = 0x1209;
inline constexpr std::uint16_t kTestKeyboardProduct = 0x7e57;

}  // namespace vandrel::vmtest
