// The main screen's size as the reports of this folder send it, without linking the GUI module.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vandrel {

// Width and height of the GUI application's primary screen in device-independent pixels; none without a
// GUI application or a screen.
std::optional<std::pair<double, double>> primaryScreenSize();

// "1440.0x900.0": each number with at least one decimal; "0.0x0.0" when there is no screen.
std::string screenResolutionText(const std::optional<std::pair<double, double>>& size);

}  // namespace vandrel
