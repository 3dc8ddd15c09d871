#include "net/screen_resolution.h"

#include <QCoreApplication>
#include <QRect>
#include <QVariant>
#include <charconv>

namespace vandrel {

namespace {

// "1440.0", "1366.5": decimal text that always shows its fraction.
std::string decimalText(double value)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    std::string text(buf, ec == std::errc() ? end : buf);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

// Read through Qt's meta-object system, so this library needs no GUI module.
std::optional<std::pair<double, double>> primaryScreenSize()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return std::nullopt;
    auto* screen = app->property("primaryScreen").value<QObject*>();
    if (!screen) return std::nullopt;
    const QRect geometry = screen->property("geometry").toRect();
    if (!geometry.isValid()) return std::nullopt;
    return std::make_pair(double(geometry.width()), double(geometry.height()));
}

std::string screenResolutionText(const std::optional<std::pair<double, double>>& size)
{
    const auto [w, h] = size.value_or(std::make_pair(0.0, 0.0));
    return decimalText(w) + "x" + decimalText(h);
}

}  // namespace vandrel
