#pragma once

#include <linux/input.h>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harness/device_identity.h"
#include "harness/result.h"

namespace vandrel::vmtest {

// One /dev/input/event* node as the kernel describes it.
struct InputDeviceInfo {
    std::string path;
    std::string name;
    input_id id{};
};

// An evdev node opened for reading, the way the program under test opens keyboards: events with a time-out, the
// kernel's key state, and grabs.
class InputDevice {
public:
    using Milliseconds = std::chrono::milliseconds;

    static Result<InputDevice> open(const std::string& path);
    // Every event node that can be opened and described now.
    static std::vector<InputDeviceInfo> list();
    // Opens the first device whose description satisfies `match`, waiting up to `timeout` for the kernel to make it
    // (hotplug is watched with inotify on /dev/input).
    static Result<InputDevice> waitFor(const std::function<bool(const InputDeviceInfo&)>& match, Milliseconds timeout,
                                       std::string_view what);
    static Result<InputDevice> waitForName(std::string_view name, Milliseconds timeout);
    static Result<InputDevice> waitForIdentity(const DeviceIdentity& identity, Milliseconds timeout);

    InputDevice(InputDevice&& other) noexcept;
    InputDevice& operator=(InputDevice&& other) noexcept;
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;
    ~InputDevice();

    const InputDeviceInfo& info() const { return info_; }
    const std::string& path() const { return info_.path; }
    const std::string& name() const { return info_.name; }
    int fd() const { return fd_; }

    // The next event, or nothing when none arrives within `timeout`.
    std::optional<input_event> readEvent(Milliseconds timeout);
    // Key events (EV_KEY) only, until `count` arrived or `timeout` passed since the call.
    std::vector<input_event> readKeyEvents(std::size_t count, Milliseconds timeout);
    // Drops every event already queued.
    void drain();
    // How often the kernel reported SYN_DROPPED: this reader fell behind and lost events (a reader's buffer holds
    // only about 64 events).
    int droppedEvents() const { return dropped_; }

    // Keys the kernel holds down on this device (EVIOCGKEY).
    Result<std::vector<int>> pressedKeys() const;
    bool isKeyDown(int code) const;
    // Whether the device reports this key code at all (EVIOCGBIT).
    bool hasKey(int code) const;

    Status grab();
    Status ungrab();
    bool grabbed() const { return grabbed_; }
    // Whether another open file holds the device's grab. Probing takes the grab for an instant, so it can make a
    // concurrent EVIOCGRAB elsewhere fail; tests probe only while the program under test is settled.
    Result<bool> isGrabbedByOther();

private:
    InputDevice(int fd, InputDeviceInfo info) : fd_(fd), info_(std::move(info)) {}
    void close();

    int fd_ = -1;
    InputDeviceInfo info_;
    bool grabbed_ = false;
    int dropped_ = 0;
    std::deque<input_event> pending_;
};

}  // namespace vandrel::vmtest
