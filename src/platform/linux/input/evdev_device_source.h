// The keyboards of this machine: /dev/input/event* read through libevdev, hotplug through inotify on
// /dev/input. Every event node is opened and described; which ones are keyboards is judgeInputDevice's call.
#pragma once

#include <string>

#include "platform/linux/input/input_device_source.h"

namespace vandrel {

class EvdevDeviceSource final : public InputDeviceSource {
public:
    explicit EvdevDeviceSource(std::string directory = "/dev/input");

    std::vector<std::string> scan() override;
    Opened open(const std::string& path) override;
    int hotplugFd() override;
    std::vector<HotplugChange> readHotplug() override;
    GrabResult grab(int fd, bool on) override;
    std::optional<KeyBits> keysDown(int fd) override;
    std::optional<bool> capsLockLed(int fd) override;

    // Whether the node is a keyboard (part) this process can read (permission check); fills name when it is.
    static bool isReadableKeyboard(const std::string& path, std::string* name = nullptr);

private:
    const std::string directory_;
    InputFd inotify_;
    bool inotifyTried_ = false;
};

}  // namespace vandrel
