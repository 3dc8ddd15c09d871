#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harness/device_identity.h"
#include "harness/result.h"

struct libevdev;
struct libevdev_uinput;

namespace vandrel::vmtest {

// A key and whether Shift must be held to type it.
struct KeyStroke {
    int code = 0;
    bool shift = false;
};

// A keyboard plugged in through /dev/uinput that the kernel (and the program under test) takes for a physical
// one: every ordinary key, the three lock LEDs, and no autorepeat unless asked, so tests see only what they type.
// Each write is one event followed by SYN_REPORT, as a real keyboard reports.
class UinputKeyboard {
public:
    struct Options {
        bool autorepeat = false;
        // Only these keys (a keypad, a macro pad); empty: every ordinary key.
        std::vector<int> keys;
        // Also relative axes and mouse buttons: a pointer with keys.
        bool pointer = false;
    };

    static Result<UinputKeyboard> create(std::string_view name);
    static Result<UinputKeyboard> create(const DeviceIdentity& identity, Options options);

    UinputKeyboard(UinputKeyboard&&) noexcept;
    UinputKeyboard& operator=(UinputKeyboard&&) noexcept;
    ~UinputKeyboard();

    const std::string& name() const { return name_; }
    // The evdev node the kernel made for it, e.g. /dev/input/event3.
    const std::string& devnode() const { return devnode_; }

    Status press(int code);
    Status release(int code);
    Status repeat(int code);
    Status tap(int code);
    // Holds the modifiers in order, taps the key, releases the modifiers in reverse order.
    Status chord(std::initializer_list<int> modifiers, int key);
    // Types printable ASCII, newline and tab on a US layout, shifting where needed. Each reader's kernel buffer
    // holds about 64 events (a stroke is 4, a shifted one 8): read while typing anything longer.
    Status typeText(std::string_view text);
    // One raw event and its SYN_REPORT.
    Status send(int type, int code, int value);

    // The key that types `c` on a US layout, if any.
    static std::optional<KeyStroke> strokeFor(char c);

private:
    struct Deleter {
        void operator()(libevdev* device) const;
        void operator()(libevdev_uinput* uinput) const;
    };

    UinputKeyboard() = default;

    std::unique_ptr<libevdev, Deleter> device_;
    std::unique_ptr<libevdev_uinput, Deleter> uinput_;
    std::string name_;
    std::string devnode_;
};

}  // namespace vandrel::vmtest
