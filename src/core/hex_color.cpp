#include "core/hex_color.h"

#include <algorithm>

namespace vandrel {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// The platform scanner's hexadecimal scan: skips leading white space, accepts "0x"/"0X", stops at the
// first non-digit; no digits means no value. Values beyond 32 bits saturate, as the scanner does.
std::optional<std::uint32_t> scanHex(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    std::uint64_t value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) break;
        any = true;
        value = std::min<std::uint64_t>(value * 16 + static_cast<std::uint64_t>(digit), 0xFFFFFFFFull);
    }
    if (!any) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::uint32_t> hexColorValue(const QString& text)
{
    QString digits = text;
    if (digits.startsWith('#')) {
        digits.remove(0, 1);
    } else if (digits.size() != 6 && digits.size() != 3) {
        return std::nullopt;
    }
    const auto value = scanHex(digits);
    if (!value) return std::nullopt;
    if (digits.size() == 6) return *value & 0xFFFFFF;
    if (digits.size() != 3) return std::nullopt;
    std::uint32_t rgb = 0;
    for (int shift = 8; shift >= 0; shift -= 4) rgb = (rgb << 8) | ((*value >> shift) & 0xF) * 0x11;
    return rgb;
}

}  // namespace vandrel
