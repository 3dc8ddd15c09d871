#include "platform/linux/input/uinput_device.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <cerrno>
#include <cstring>

#include "core/log.h"

namespace vandrel {

UinputDevice::UinputDevice(InputFd fd, libevdev_uinput* device) : fd_(std::move(fd)), device_(device) {}

UinputDevice::~UinputDevice()
{
    // Destroys the kernel device, which releases its keys; our descriptor closes after.
    if (device_) libevdev_uinput_destroy(device_);
}

bool UinputDevice::isOurs(const std::string& name, std::uint16_t bus, std::uint16_t vendor, std::uint16_t product)
{
    return name == deviceName && bus == busType && vendor == vendorId && product == productId;
}

std::unique_ptr<UinputDevice> UinputDevice::create(const std::string& uinputPath)
{
    InputFd fd(::open(uinputPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        log.error("The virtual keyboard cannot be made: " + uinputPath + " cannot be opened for writing ->",
                  std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<libevdev, decltype(&libevdev_free)> dev(libevdev_new(), &libevdev_free);
    libevdev_set_name(dev.get(), deviceName);
    libevdev_set_id_bustype(dev.get(), busType);
    libevdev_set_id_vendor(dev.get(), vendorId);
    libevdev_set_id_product(dev.get(), productId);
    libevdev_set_id_version(dev.get(), 1);
    libevdev_enable_event_type(dev.get(), EV_KEY);
    // Every keyboard key; the button ranges stay off so the desktop never takes it for a mouse or a pad.
    for (unsigned code = KEY_ESC; code < BTN_MISC; ++code) libevdev_enable_event_code(dev.get(), EV_KEY, code, nullptr);
    for (unsigned code = KEY_OK; code < BTN_DPAD_UP; ++code)
        libevdev_enable_event_code(dev.get(), EV_KEY, code, nullptr);
    libevdev_enable_event_type(dev.get(), EV_LED);
    for (unsigned code : {LED_NUML, LED_CAPSL, LED_SCROLLL})
        libevdev_enable_event_code(dev.get(), EV_LED, code, nullptr);

    libevdev_uinput* uinput = nullptr;
    if (const int rc = libevdev_uinput_create_from_device(dev.get(), fd.get(), &uinput); rc != 0) {
        log.error("The virtual keyboard cannot be made ->", std::strerror(-rc));
        return nullptr;
    }
    auto device = std::unique_ptr<UinputDevice>(new UinputDevice(std::move(fd), uinput));
    log.info("Virtual keyboard made ->", device->devnode());
    return device;
}

std::string UinputDevice::devnode() const
{
    const char* node = device_ ? libevdev_uinput_get_devnode(device_) : nullptr;
    return node ? node : "";
}

}  // namespace vandrel
