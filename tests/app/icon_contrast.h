// How well an icon stands out from the panel it is drawn on, for the tray icon's tests.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vandrel::test {

// WCAG contrast ratio of two colours.
inline double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The share of the icon's drawn pixels that stand out (3:1 at least) from the panel they are drawn on.
inline double legibleShare(const QImage& icon, const QColor& panel)
{
    QImage shown(icon.size(), QImage::Format_ARGB32);
    shown.fill(panel);
    QPainter(&shown).drawImage(0, 0, icon);
    int drawn = 0, legible = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) {
            if (icon.pixelColor(x, y).alpha() < 128) continue;
            ++drawn;
            if (contrast(shown.pixelColor(x, y), panel) >= 3.0) ++legible;
        }
    return drawn ? double(legible) / drawn : 0.0;
}

}  // namespace vandrel::test
