#include "platform/linux/input/input_device_kind.h"

#include <algorithm>

namespace vandrel {

namespace {

struct Part {
    const char* name;
    std::initializer_list<unsigned> codes;
};

// A device counts as a keyboard part when it has any of these keys. Letters and digits are the main block,
// the keypad a numeric pad, editing and function keys what the command layer and macro pads use.
const Part kParts[] = {
    {"letters", {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O, KEY_P, KEY_A, KEY_S, KEY_D,
                 KEY_F, KEY_G, KEY_H, KEY_J, KEY_K, KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M}},
    {"digits", {KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9, KEY_0}},
    {"keypad",
     {KEY_KP0, KEY_KP1, KEY_KP2, KEY_KP3, KEY_KP4, KEY_KP5, KEY_KP6, KEY_KP7, KEY_KP8, KEY_KP9, KEY_KPENTER, KEY_KPPLUS,
      KEY_KPMINUS, KEY_KPASTERISK, KEY_KPSLASH, KEY_KPDOT, KEY_NUMLOCK}},
    {"editing keys",
     {KEY_ESC, KEY_BACKSPACE, KEY_TAB, KEY_ENTER, KEY_SPACE, KEY_CAPSLOCK, KEY_LEFTSHIFT, KEY_LEFTCTRL, KEY_LEFTALT,
      KEY_INSERT, KEY_DELETE, KEY_HOME, KEY_END, KEY_PAGEUP, KEY_PAGEDOWN, KEY_LEFT, KEY_RIGHT, KEY_UP, KEY_DOWN}},
    {"function keys",
     {KEY_F1,  KEY_F2,  KEY_F3,  KEY_F4,  KEY_F5,  KEY_F6,  KEY_F7,  KEY_F8,  KEY_F9,  KEY_F10, KEY_F11, KEY_F12,
      KEY_F13, KEY_F14, KEY_F15, KEY_F16, KEY_F17, KEY_F18, KEY_F19, KEY_F20, KEY_F21, KEY_F22, KEY_F23, KEY_F24}},
};

bool anyKey(const KeyBits& keys, unsigned from, unsigned to)
{
    for (unsigned code = from; code <= to; ++code)
        if (keys[code]) return true;
    return false;
}

// Why the device must not be grabbed although it may have keys; empty when nothing speaks against it.
std::string leftOutBecause(const InputDeviceCapabilities& d)
{
    if (d.ours) return "our own virtual keyboard";
    if (d.properties[INPUT_PROP_POINTING_STICK]) return "a pointer";
    if (d.keys[BTN_TOOL_FINGER] || d.properties[INPUT_PROP_BUTTONPAD] ||
        (d.properties[INPUT_PROP_POINTER] && d.absolute[ABS_X]))
        return "a touchpad";
    if (d.properties[INPUT_PROP_DIRECT] || d.keys[BTN_TOUCH] || d.absolute[ABS_MT_POSITION_X])
        return "a touch screen or tablet";
    if (anyKey(d.keys, BTN_JOYSTICK, BTN_THUMBR) || anyKey(d.keys, BTN_TRIGGER_HAPPY, BTN_TRIGGER_HAPPY40))
        return "a joystick or game pad";
    if (d.relative[REL_X] || d.relative[REL_Y] || d.absolute[ABS_X] || d.absolute[ABS_Y] ||
        anyKey(d.keys, BTN_MOUSE, BTN_TASK))
        return "a pointer";
    if (d.types[EV_SW]) return "a device with switches (lid, tablet mode, jack)";
    return {};
}

}  // namespace

InputDeviceCapabilities InputDeviceCapabilities::fullKeyboard()
{
    InputDeviceCapabilities d;
    d.types.set(EV_SYN).set(EV_KEY).set(EV_MSC).set(EV_LED).set(EV_REP);
    for (unsigned code = KEY_ESC; code <= KEY_KPDOT; ++code) d.keys.set(code);
    for (unsigned code : {KEY_F11, KEY_F12, KEY_KPENTER, KEY_RIGHTCTRL, KEY_KPSLASH, KEY_RIGHTALT, KEY_HOME, KEY_UP,
                          KEY_PAGEUP, KEY_LEFT, KEY_RIGHT, KEY_END, KEY_DOWN, KEY_PAGEDOWN, KEY_INSERT, KEY_DELETE,
                          KEY_LEFTMETA, KEY_RIGHTMETA, KEY_COMPOSE})
        d.keys.set(code);
    return d;
}

InputDeviceCapabilities InputDeviceCapabilities::keysOnly(std::initializer_list<unsigned> codes)
{
    InputDeviceCapabilities d;
    d.types.set(EV_SYN).set(EV_KEY);
    for (unsigned code : codes) d.keys.set(code);
    return d;
}

InputDeviceVerdict judgeInputDevice(const InputDeviceCapabilities& device)
{
    if (!device.types[EV_KEY]) return {false, "no keys"};
    if (auto why = leftOutBecause(device); !why.empty()) return {false, why};
    std::string parts;
    for (const auto& part : kParts) {
        if (std::none_of(part.codes.begin(), part.codes.end(), [&](unsigned code) { return device.keys[code]; }))
            continue;
        if (!parts.empty()) parts += ", ";
        parts += part.name;
    }
    if (parts.empty()) return {false, "no keyboard keys (buttons only)"};
    return {true, parts};
}

}  // namespace vandrel
