// Reading the X key log of the desktop probe: entries "+Name" (press) and "-Name" (release) in the order X
// delivered them.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel::vmtest {

inline bool isModifierKeyName(std::string_view name)
{
    static constexpr std::array<std::string_view, 14> modifiers{
        "Shift_L", "Shift_R", "Control_L", "Control_R",        "Alt_L",      "Alt_R", "Meta_L", "Meta_R", "Super_L",
        "Super_R", "Hyper_L", "Hyper_R",   "ISO_Level3_Shift", "Mode_switch"};
    return std::find(modifiers.begin(), modifiers.end(), name) != modifiers.end();
}

// The modifiers X saw pressed and released with no other key event between: what desktops and applications act
// on as a lone tap (Super opens the launcher, Alt the menu bar). One entry per tap, in order.
inline std::vector<std::string> loneModifierTaps(const std::vector<std::string>& log)
{
    std::vector<std::string> taps;
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        const std::string_view press = log[i];
        const std::string_view next = log[i + 1];
        if (press.size() < 2 || press[0] != '+' || !isModifierKeyName(press.substr(1))) continue;
        if (next.size() == press.size() && next[0] == '-' && next.substr(1) == press.substr(1))
            taps.emplace_back(press.substr(1));
    }
    return taps;
}

// The log without the press and release entries of one key (the test's sentinel, say).
inline std::vector<std::string> withoutKey(std::vector<std::string> log, std::string_view name)
{
    log.erase(std::remove_if(log.begin(), log.end(),
                             [name](const std::string& entry) { return entry.size() > 1 && entry.substr(1) == name; }),
              log.end());
    return log;
}

}  // namespace vandrel::vmtest
