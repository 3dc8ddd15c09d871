// Where the input backend gets its keyboards: the event nodes, opening one, hotplug, and the few ioctls on
// an open keyboard. The real source is EvdevDeviceSource; tests hand out socket pairs that carry raw
// struct input_event, which is all the backend reads and writes on a device fd.
#pragma once

#include <linux/input.h>

#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/input/input_fd.h"

namespace vandrel {

using KeyBits = std::bitset<KEY_CNT>;
struct InputDeviceCapabilities;

class InputDeviceSource {
public:
    enum class OpenStatus {
        opened,
        ignored,      // gone, or not an input device
        unavailable,  // cannot be opened now; a new node may become readable once its permissions settle
    };
    struct Opened {
        OpenStatus status = OpenStatus::unavailable;
        InputFd fd;  // non-blocking, close-on-exec
        std::string name;
        // What the device can report; the backend decides from it whether to take the device.
        std::shared_ptr<const InputDeviceCapabilities> capabilities;
        // Its events carry CLOCK_MONOTONIC stamps, the program's clock, so several keyboards' events compare.
        bool monotonicStamps = false;
    };
    enum class GrabResult {
        done,
        busy,  // another program holds the device (EBUSY); it may let go soon
        failed,
    };
    struct HotplugChange {
        std::string path;
        bool added = true;
    };

    virtual ~InputDeviceSource() = default;

    // The event nodes present now.
    virtual std::vector<std::string> scan() = 0;
    virtual Opened open(const std::string& path) = 0;

    // A descriptor that turns readable when nodes come or go; -1 when hotplug cannot be followed.
    virtual int hotplugFd() = 0;
    virtual std::vector<HotplugChange> readHotplug() = 0;

    // Exclusive access to a keyboard (EVIOCGRAB) or its release.
    virtual GrabResult grab(int fd, bool on) = 0;
    // Keys the kernel holds down on the device (EVIOCGKEY); absent when it cannot be read.
    virtual std::optional<KeyBits> keysDown(int fd) = 0;
    // The device's Caps Lock light (EVIOCGLED); absent when it cannot be read or the device has none.
    virtual std::optional<bool> capsLockLed(int fd) = 0;
};

}  // namespace vandrel
