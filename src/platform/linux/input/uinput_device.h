// The output keyboard: one uinput device, "Vandrel Virtual Keyboard", on the virtual bus with our own
// vendor and product ids, able to send every key a keyboard can and to show the three lock lights. It has
// no auto-repeat of its own: repeats of held keys come from the physical keyboards. Destroying it releases
// whatever it still holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/input/input_fd.h"
#include "platform/linux/input/input_output_device.h"

struct libevdev_uinput;

namespace vandrel {

class UinputDevice final : public InputOutputDevice {
public:
    static constexpr const char* deviceName = "Vandrel Virtual Keyboard";
    static constexpr std::uint16_t busType = 0x06;  // BUS_VIRTUAL
    static constexpr std::uint16_t vendorId = 0x5644;
    static constexpr std::uint16_t productId = 0x0001;

    // Null, with the reason logged, when the device cannot be made (no /dev/uinput, no write access).
    static std::unique_ptr<UinputDevice> create(const std::string& uinputPath = "/dev/uinput");
    ~UinputDevice() override;
    UinputDevice(const UinputDevice&) = delete;
    UinputDevice& operator=(const UinputDevice&) = delete;

    int fd() const override { return fd_.get(); }
    // The event node the kernel made for it (/dev/input/eventN), empty when unknown.
    std::string devnode() const;

    // Whether a device with this name and these ids is ours.
    static bool isOurs(const std::string& name, std::uint16_t bus, std::uint16_t vendor, std::uint16_t product);

private:
    UinputDevice(InputFd fd, libevdev_uinput* device);

    InputFd fd_;
    libevdev_uinput* device_;  // released by the destructor
};

}  // namespace vandrel
