// Colour codes in text, as the clip store and the user interface read them.
//
//   hexColorValue("#1A2B3C")   // 0x1A2B3C
//   hexColorValue("FFF")       // 0xFFFFFF; "12345" and "GGGGGG" name no colour
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace vandrel {

// The colour 0xRRGGBB that text names: "#" followed by 6 or 3 digits, or exactly 6 or 3 characters without it.
// The digits are scanned as one hexadecimal number (leading white space and a "0x" prefix allowed, stopping at
// the first non-digit); the length of the text decides between the 6- and the 3-digit form (0xRGB, each digit
// repeated: F is FF).
std::optional<std::uint32_t> hexColorValue(const QString& text);

}  // namespace vandrel
