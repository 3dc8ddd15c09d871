#include "platform/sim/scenario.h"

#include <charconv>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace vandrel {

namespace {

const std::pair<std::string_view, std::uint16_t> kKeyNames[] = {
    {"a", 0},      {"s", 1},          {"d", 2},          {"f", 3},        {"h", 4},          {"g", 5},
    {"z", 6},      {"x", 7},          {"c", 8},          {"v", 9},        {"b", 11},         {"q", 12},
    {"w", 13},     {"e", 14},         {"r", 15},         {"y", 16},       {"t", 17},         {"1", 18},
    {"2", 19},     {"3", 20},         {"4", 21},         {"6", 22},       {"5", 23},         {"equal", 24},
    {"9", 25},     {"7", 26},         {"minus", 27},     {"8", 28},       {"0", 29},         {"rbracket", 30},
    {"o", 31},     {"u", 32},         {"lbracket", 33},  {"i", 34},       {"p", 35},         {"return", 36},
    {"l", 37},     {"j", 38},         {"quote", 39},     {"k", 40},       {"semicolon", 41}, {"backslash", 42},
    {"comma", 43}, {"slash", 44},     {"n", 45},         {"m", 46},       {"period", 47},    {"tab", 48},
    {"space", 49}, {"grave", 50},     {"backspace", 51}, {"esc", 53},     {"rcmd", 54},      {"cmd", 55},
    {"shift", 56}, {"capslock", 57},  {"option", 58},    {"ctrl", 59},    {"rshift", 60},    {"roption", 61},
    {"rctrl", 62}, {"fn", 63},        {"f17", 64},       {"f18", 79},     {"f19", 80},       {"f20", 90},
    {"f5", 96},    {"f6", 97},        {"f7", 98},        {"f3", 99},      {"f8", 100},       {"f9", 101},
    {"f11", 103},  {"f13", 105},      {"f16", 106},      {"f14", 107},    {"f10", 109},      {"f12", 111},
    {"f15", 113},  {"home", 115},     {"pageup", 116},   {"delete", 117}, {"f4", 118},       {"end", 119},
    {"f2", 120},   {"pagedown", 121}, {"f1", 122},       {"left", 123},   {"right", 124},    {"down", 125},
    {"up", 126},
};

const std::pair<std::string_view, std::string_view> kAliases[] = {
    {"alt", "option"},   {"opt", "option"},  {"enter", "return"},  {"escape", "esc"},
    {"control", "ctrl"}, {"command", "cmd"}, {"caps", "capslock"},
};

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> out;
    s = trim(s);
    while (!s.empty()) {
        auto end = s.find_first_of(" \t");
        out.push_back(s.substr(0, end));
        if (end == std::string_view::npos) break;
        s = trim(s.substr(end));
    }
    return out;
}

[[noreturn]] void unreadable(std::string_view step, std::string_view why)
{
    throw std::invalid_argument("scenario step \"" + std::string(step) + "\": " + std::string(why));
}

}  // namespace

Scenario::Scenario(SimPlatform& sim, std::shared_ptr<rx::VirtualTimeScheduler> clock)
    : sim_(sim), clock_(std::move(clock))
{
}

Scenario& Scenario::run(std::string_view steps)
{
    while (!steps.empty()) {
        const auto comma = steps.find(',');
        const auto item = trim(steps.substr(0, comma));
        if (!item.empty()) step(item);
        if (comma == std::string_view::npos) break;
        steps.remove_prefix(comma + 1);
    }
    return *this;
}

void Scenario::step(std::string_view text)
{
    const auto w = words(text);
    if (w.size() < 2 || w.size() > 3) unreadable(text, "expected \"<key> <action>\" or \"wait <seconds>\"");
    if (w[0] == "wait") {
        if (!clock_) unreadable(text, "waiting needs a virtual clock");
        double seconds = 0;
        std::istringstream in{std::string(w[1])};
        if (!(in >> seconds) || seconds < 0) unreadable(text, "bad number of seconds");
        clock_->advanceBy(rx::seconds(seconds));
        return;
    }
    const auto code = keyCodeNamed(w[0]);
    if (!code) unreadable(text, "unknown key");
    auto& keyboard = sim_.keyboard();
    if (w[1] == "repeat") {
        int count = 1;
        if (w.size() == 3) {
            auto [ptr, ec] = std::from_chars(w[2].data(), w[2].data() + w[2].size(), count);
            if (ec != std::errc() || ptr != w[2].data() + w[2].size() || count < 0) unreadable(text, "bad count");
        }
        keyboard.repeat(*code, count);
        return;
    }
    if (w.size() != 2) unreadable(text, "unexpected word");
    if (w[1] == "down")
        keyboard.press(*code);
    else if (w[1] == "up")
        keyboard.release(*code);
    else if (w[1] == "tap")
        keyboard.tap(*code);
    else
        unreadable(text, "unknown action");
}

std::string Scenario::passed() const
{
    return describe(sim_.keyboard().passedEvents());
}

std::string Scenario::posted() const
{
    return describe(sim_.keyboard().postedEvents());
}

void Scenario::clear()
{
    sim_.keyboard().clearEvents();
}

std::string Scenario::describe(const KeyEvent& event)
{
    std::string out = nameOfKeyCode(event.keyCode);
    switch (event.type) {
        case KeyEventType::keyDown:
            out += " down";
            break;
        case KeyEventType::keyUp:
            out += " up";
            break;
        case KeyEventType::flagsChanged:
            out += " flags";
            break;
    }
    const std::pair<std::uint64_t, const char*> flagNames[] = {
        {EventFlags::maskControl, "ctrl"}, {EventFlags::maskAlternate, "opt"},   {EventFlags::maskShift, "shift"},
        {EventFlags::maskCommand, "cmd"},  {EventFlags::maskAlphaShift, "caps"}, {EventFlags::maskSecondaryFn, "fn"},
    };
    std::string flags;
    for (const auto& [mask, name] : flagNames) {
        if (!(event.flags & mask)) continue;
        if (!flags.empty()) flags += "+";
        flags += name;
    }
    if (!flags.empty()) out += " [" + flags + "]";
    if (event.isAutoRepeat) out += " (repeat)";
    return out;
}

std::string Scenario::describe(const std::vector<KeyEvent>& events)
{
    std::string out;
    for (const auto& e : events) {
        if (!out.empty()) out += ", ";
        out += describe(e);
    }
    return out;
}

std::string Scenario::describe(const std::vector<PostedEvent>& events)
{
    std::string out;
    for (const auto& e : events) {
        if (!out.empty()) out += ", ";
        if (e.location == EventTapLocation::hid) out += "hid ";
        out += describe(e.event);
    }
    return out;
}

std::optional<std::uint16_t> Scenario::keyCodeNamed(std::string_view name)
{
    for (const auto& [alias, canonical] : kAliases)
        if (name == alias) name = canonical;
    for (const auto& [n, code] : kKeyNames)
        if (n == name) return code;
    if (name.size() > 1 && name.front() == '#') {
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), value);
        if (ec == std::errc() && ptr == name.data() + name.size() && value <= 0xFFFF)
            return static_cast<std::uint16_t>(value);
    }
    return std::nullopt;
}

std::string Scenario::nameOfKeyCode(std::uint16_t keyCode)
{
    for (const auto& [n, code] : kKeyNames)
        if (code == keyCode) return std::string(n);
    return "#" + std::to_string(keyCode);
}

}  // namespace vandrel
