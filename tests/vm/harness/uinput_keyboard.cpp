#include "harness/uinput_keyboard.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cstring>
#include <string>
#include <utility>

namespace vandrel::vmtest {

namespace {

std::string errnoText(int error)
{
    return std::strerror(error < 0 ? -error : error);
}

// The keys a full-size keyboard has: everything below the button ranges (BTN_MISC starts at 0x100).
constexpr int kFirstKey = KEY_ESC;
constexpr int kLastKey = KEY_MICMUTE;

}  // namespace

void UinputKeyboard::Deleter::operator()(libevdev* device) const
{
    libevdev_free(device);
}

void UinputKeyboard::Deleter::operator()(libevdev_uinput* uinput) const
{
    libevdev_uinput_destroy(uinput);
}

Result<UinputKeyboard> UinputKeyboard::create(std::string_view name)
{
    return create(DeviceIdentity{name, BUS_USB, kTestKeyboardVendor, kTestKeyboardProduct}, Options{});
}

Result<UinputKeyboard> UinputKeyboard::create(const DeviceIdentity& identity, Options options)
{
    UinputKeyboard keyboard;
    keyboard.name_ = std::string(identity.name);
    keyboard.device_.reset(libevdev_new());
    if (!keyboard.device_) return Result<UinputKeyboard>::failure("libevdev_new failed");
    libevdev* device = keyboard.device_.get();
    libevdev_set_name(device, keyboard.name_.c_str());
    libevdev_set_id_bustype(device, identity.bustype);
    libevdev_set_id_vendor(device, identity.vendor);
    libevdev_set_id_product(device, identity.product);
    libevdev_set_id_version(device, 1);

    libevdev_enable_event_type(device, EV_KEY);
    if (options.keys.empty())
        for (int code = kFirstKey; code <= kLastKey; ++code) libevdev_enable_event_code(device, EV_KEY, code, nullptr);
    for (int code : options.keys) libevdev_enable_event_code(device, EV_KEY, code, nullptr);
    if (options.pointer) {
        for (int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
            libevdev_enable_event_code(device, EV_KEY, button, nullptr);
        libevdev_enable_event_type(device, EV_REL);
        for (int axis : {REL_X, REL_Y, REL_WHEEL}) libevdev_enable_event_code(device, EV_REL, axis, nullptr);
    }
    libevdev_enable_event_type(device, EV_MSC);
    libevdev_enable_event_code(device, EV_MSC, MSC_SCAN, nullptr);
    libevdev_enable_event_type(device, EV_LED);
    for (int led : {LED_NUML, LED_CAPSL, LED_SCROLLL}) libevdev_enable_event_code(device, EV_LED, led, nullptr);
    if (options.autorepeat) {
        // The kernel's usual defaults; it generates the repeats itself.
        const int delay = 250;
        const int period = 33;
        libevdev_enable_event_type(device, EV_REP);
        libevdev_enable_event_code(device, EV_REP, REP_DELAY, &delay);
        libevdev_enable_event_code(device, EV_REP, REP_PERIOD, &period);
    }

    libevdev_uinput* uinput = nullptr;
    const int rc = libevdev_uinput_create_from_device(device, LIBEVDEV_UINPUT_OPEN_MANAGED, &uinput);
    if (rc < 0) {
        return Result<UinputKeyboard>::failure("cannot create uinput keyboard '" + keyboard.name_ +
                                               "': " + errnoText(rc) + " (is the uinput module loaded?)");
    }
    keyboard.uinput_.reset(uinput);
    const char* node = libevdev_uinput_get_devnode(uinput);
    if (node == nullptr) {
        return Result<UinputKeyboard>::failure("uinput keyboard '" + keyboard.name_ +
                                               "' has no /dev/input node (is the evdev module loaded?)");
    }
    keyboard.devnode_ = node;
    return Result<UinputKeyboard>::success(std::move(keyboard));
}

UinputKeyboard::UinputKeyboard(UinputKeyboard&&) noexcept = default;
UinputKeyboard& UinputKeyboard::operator=(UinputKeyboard&&) noexcept = default;
UinputKeyboard::~UinputKeyboard() = default;

Status UinputKeyboard::send(int type, int code, int value)
{
    if (!uinput_) return Status::failure("keyboard was moved from");
    int rc = libevdev_uinput_write_event(uinput_.get(), type, code, value);
    if (rc == 0) rc = libevdev_uinput_write_event(uinput_.get(), EV_SYN, SYN_REPORT, 0);
    if (rc < 0) return Status::failure("writing to uinput keyboard '" + name_ + "' failed: " + errnoText(rc));
    return Status::success();
}

Status UinputKeyboard::press(int code)
{
    return send(EV_KEY, code, 1);
}

Status UinputKeyboard::release(int code)
{
    return send(EV_KEY, code, 0);
}

Status UinputKeyboard::repeat(int code)
{
    return send(EV_KEY, code, 2);
}

Status UinputKeyboard::tap(int code)
{
    if (Status pressed = press(code); !pressed) return pressed;
    return release(code);
}

Status UinputKeyboard::chord(std::initializer_list<int> modifiers, int key)
{
    for (int modifier : modifiers) {
        if (Status status = press(modifier); !status) return status;
    }
    Status status = tap(key);
    // Release what was pressed even after a failure, so no modifier stays stuck down for later tests.
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
        Status released = release(*it);
        if (status && !released) status = released;
    }
    return status;
}

Status UinputKeyboard::typeText(std::string_view text)
{
    for (char c : text) {
        const std::optional<KeyStroke> stroke = strokeFor(c);
        if (!stroke) return Status::failure(std::string("no US key types '") + c + "'");
        Status status = stroke->shift ? chord({KEY_LEFTSHIFT}, stroke->code) : tap(stroke->code);
        if (!status) return status;
    }
    return Status::success();
}

std::optional<KeyStroke> UinputKeyboard::strokeFor(char c)
{
    static constexpr int letters[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                      KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                      KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    static constexpr int digits[] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};
    if (c >= 'a' && c <= 'z') return KeyStroke{letters[c - 'a'], false};
    if (c >= 'A' && c <= 'Z') return KeyStroke{letters[c - 'A'], true};
    if (c >= '0' && c <= '9') return KeyStroke{digits[c - '0'], false};

    struct Symbol {
        char plain;
        char shifted;
        int code;
    };
    static constexpr Symbol symbols[] = {
        {'`', '~', KEY_GRAVE},      {'-', '_', KEY_MINUS},      {'=', '+', KEY_EQUAL},     {'[', '{', KEY_LEFTBRACE},
        {']', '}', KEY_RIGHTBRACE}, {'\\', '|', KEY_BACKSLASH}, {';', ':', KEY_SEMICOLON}, {'\'', '"', KEY_APOSTROPHE},
        {',', '<', KEY_COMMA},      {'.', '>', KEY_DOT},        {'/', '?', KEY_SLASH},     {'1', '!', KEY_1},
        {'2', '@', KEY_2},          {'3', '#', KEY_3},          {'4', '$', KEY_4},         {'5', '%', KEY_5},
        {'6', '^', KEY_6},          {'7', '&', KEY_7},          {'8', '*', KEY_8},         {'9', '(', KEY_9},
        {'0', ')', KEY_0},
    };
    for (const Symbol& symbol : symbols) {
        if (c == symbol.plain) return KeyStroke{symbol.code, false};
        if (c == symbol.shifted) return KeyStroke{symbol.code, true};
    }
    switch (c) {
        case ' ':
            return KeyStroke{KEY_SPACE, false};
        case '\n':
            return KeyStroke{KEY_ENTER, false};
        case '\t':
            return KeyStroke{KEY_TAB, false};
        default:
            return std::nullopt;
    }
}

}  // namespace vandrel::vmtest
