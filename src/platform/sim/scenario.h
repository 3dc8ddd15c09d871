// Keyboard scenarios in words, for tests of anything that sits on the event taps:
//
//   Scenario s(*sim, clock);
//   s.run("capslock down, j down, j up, wait 0.1, capslock up");
//   EXPECT_EQ(s.passed(), "");                                  // nothing reached the applications
//   EXPECT_EQ(s.posted(), "left down, left up");                // what the program posted
//
// Steps, separated by commas: "<key> down", "<key> up", "<key> tap", "<key> repeat [n]" (auto-repeat of a
// held key) and "wait <seconds>" (advances the virtual clock; needs one). Keys are named in lower case:
// letters and digits, capslock, shift, rshift, ctrl, rctrl, option (alt), roption, cmd, rcmd, fn, return
// (enter), tab, space, backspace, esc, delete, home, end, pageup, pagedown, left, right, up, down, f1 to f20,
// minus, equal, lbracket, rbracket, backslash, semicolon, quote, grave, comma, period, slash; any key code
// as "#<code>".
//
// Events read back as "<key> <down|up|flags>", then the set flags in brackets in glyph order
// ("[ctrl+opt+shift+cmd+caps+fn]"), then "(repeat)" for auto-repeats; an event posted at the HID location is
// prefixed with "hid ". Events are joined with ", ".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {

class Scenario {
public:
    explicit Scenario(SimPlatform& sim, std::shared_ptr<rx::VirtualTimeScheduler> clock = nullptr);

    // Runs the steps in order; a step it cannot read throws std::invalid_argument naming it.
    Scenario& run(std::string_view steps);

    std::string passed() const;
    std::string posted() const;
    void clear();

    static std::string describe(const KeyEvent& event);
    static std::string describe(const std::vector<KeyEvent>& events);
    static std::string describe(const std::vector<PostedEvent>& events);
    static std::optional<std::uint16_t> keyCodeNamed(std::string_view name);
    static std::string nameOfKeyCode(std::uint16_t keyCode);

private:
    void step(std::string_view text);

    SimPlatform& sim_;
    std::shared_ptr<rx::VirtualTimeScheduler> clock_;
};

}  // namespace vandrel
