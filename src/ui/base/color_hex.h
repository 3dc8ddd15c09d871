// Colours from hexadecimal text and numbers.
//
//   ColorHex::fromHex("#1A2B3C")   // red 26/255, green 43/255, blue 60/255
//   ColorHex::fromHex("FFF")       // white; "12345" and "GGGGGG" give no colour
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>

namespace vandrel {

struct ColorHex {
    // The opaque colour the text names (hexColorValue): "#" followed by 6 or 3 digits, or exactly 6 or 3
    // characters without it.
    static std::optional<QColor> fromHex(const QString& text);

    // 0xRGB: each digit / 15.
    static QColor hex3(std::uint16_t value, double alpha);
    // 0xRRGGBB.
    static QColor hex6(std::uint32_t value, double alpha = 1.0);
    // 0xRRGGBBAA.
    static QColor hex8(std::uint32_t value);
};

}  // namespace vandrel
