#include "ui/base/color_hex.h"

#include "core/hex_color.h"

namespace vandrel {

std::optional<QColor> ColorHex::fromHex(const QString& text)
{
    const auto rgb = hexColorValue(text);
    if (!rgb) return std::nullopt;
    return hex6(*rgb, 1.0);
}

QColor ColorHex::hex3(std::uint16_t value, double alpha)
{
    const double r = ((value >> 8) & 0xF) / 15.0;
    const double g = ((value >> 4) & 0xF) / 15.0;
    const double b = (value & 0xF) / 15.0;
    return QColor::fromRgbF(static_cast<float>(r), static_cast<float>(g), static_cast<float>(b),
                            static_cast<float>(alpha));
}

QColor ColorHex::hex6(std::uint32_t value, double alpha)
{
    const double r = ((value >> 16) & 0xFF) / 255.0;
    const double g = ((value >> 8) & 0xFF) / 255.0;
    const double b = (value & 0xFF) / 255.0;
    return QColor::fromRgbF(static_cast<float>(r), static_cast<float>(g), static_cast<float>(b),
                            static_cast<float>(alpha));
}

QColor ColorHex::hex8(std::uint32_t value)
{
    return QColor::fromRgbF(
        static_cast<float>(((value >> 24) & 0xFF) / 255.0), static_cast<float>(((value >> 16) & 0xFF) / 255.0),
        static_cast<float>(((value >> 8) & 0xFF) / 255.0), static_cast<float>((value & 0xFF) / 255.0));
}

}  // namespace vandrel
