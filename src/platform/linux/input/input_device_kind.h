// Which input devices the backend takes over: every keyboard part (a full keyboard, a separate numeric
// keypad, the second event node of a keyboard that reports some keys there, a macro pad with function keys),
// and nothing that also does something the output keyboard cannot repeat (moves a pointer, reports touches,
// joystick axes or switches), nor a device of buttons only (power, sleep, lid, volume), nor our own output
// keyboard. A grabbed device's events other than keys are lost, so a combined keyboard and pointer is left
// alone: its keys then reach applications untouched.
#pragma once

#include <linux/input.h>

#include <bitset>
#include <string>

#include "platform/linux/input/input_device_source.h"

namespace vandrel {

struct InputDeviceCapabilities {
    std::bitset<EV_CNT> types;
    KeyBits keys;
    std::bitset<REL_CNT> relative;
    std::bitset<ABS_CNT> absolute;
    std::bitset<INPUT_PROP_CNT> properties;
    // The device is our own output keyboard.
    bool ours = false;

    // A full keyboard: every ordinary key of a PC keyboard (tests, fakes).
    static InputDeviceCapabilities fullKeyboard();
    // Only the given keys.
    static InputDeviceCapabilities keysOnly(std::initializer_list<unsigned> codes);
};

struct InputDeviceVerdict {
    bool take = false;
    // What the device is, for the log: the keyboard parts found ("letters, digits, keypad") when taken,
    // else why it is left out ("a pointer", "no keyboard keys" ...).
    std::string what;
};

InputDeviceVerdict judgeInputDevice(const InputDeviceCapabilities& device);

}  // namespace vandrel
