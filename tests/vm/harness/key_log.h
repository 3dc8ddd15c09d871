// Key events as the VM tests compare them: code and value (1 down, 0 up, 2 repeat), what typing a text on a
// US layout gives, and the write-to-read latency of key events between two devices.
#pragma once

#include <linux/input.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "harness/input_device.h"
#include "harness/uinput_keyboard.h"

namespace vandrel::vmtest {

struct Key {
    int code = 0;
    int value = 0;
    bool operator==(const Key&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Key& key)
{
    return out << key.code << (key.value == 1 ? "v" : key.value == 0 ? "^" : "r");
}

inline std::vector<Key> keysOf(const std::vector<input_event>& events)
{
    std::vector<Key> keys;
    for (const input_event& event : events) keys.push_back({event.code, event.value});
    return keys;
}

inline std::vector<Key> tapOf(int code)
{
    return {{code, 1}, {code, 0}};
}

// What typing `text` on a US layout produces, stroke by stroke.
inline std::vector<Key> expectedKeys(std::string_view text)
{
    std::vector<Key> keys;
    for (char c : text) {
        const std::optional<KeyStroke> stroke = UinputKeyboard::strokeFor(c);
        if (!stroke) continue;
        if (stroke->shift) keys.push_back({KEY_LEFTSHIFT, 1});
        keys.push_back({stroke->code, 1});
        keys.push_back({stroke->code, 0});
        if (stroke->shift) keys.push_back({KEY_LEFTSHIFT, 0});
    }
    return keys;
}

struct KeyLatency {
    std::vector<double> micros;  // sorted
    int lost = 0;                // events that did not come back, or came back out of order

    double median() const { return micros.empty() ? 0 : micros[micros.size() / 2]; }
    double p99() const { return micros.empty() ? 0 : micros[micros.size() * 99 / 100]; }
    double max() const { return micros.empty() ? 0 : micros.back(); }
};

// Presses and releases J on `from` `events` times, one event at a time, timing each until `to` reads it.
inline KeyLatency measureKeyLatency(UinputKeyboard& from, InputDevice& to, int events,
                                    std::chrono::milliseconds timeout)
{
    KeyLatency latency;
    latency.micros.reserve(events);
    for (int i = 0; i < events; ++i) {
        const int value = i % 2 == 0 ? 1 : 0;
        const auto start = std::chrono::steady_clock::now();
        if (!from.send(EV_KEY, KEY_J, value)) {
            ++latency.lost;
            continue;
        }
        const std::vector<input_event> got = to.readKeyEvents(1, timeout);
        const auto end = std::chrono::steady_clock::now();
        if (got.size() != 1 || got[0].code != KEY_J || got[0].value != value) {
            ++latency.lost;
            continue;
        }
        latency.micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(latency.micros.begin(), latency.micros.end());
    return latency;
}

}  // namespace vandrel::vmtest
