#include "platform/linux/input/evdev_device_source.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "core/log.h"
#include "platform/linux/input/input_device_kind.h"
#include "platform/linux/input/uinput_device.h"

namespace vandrel {

namespace {

bool isEventNode(const std::string& name)
{
    return name.rfind("event", 0) == 0;
}

// What the device reports, read through libevdev; null when it is no evdev device.
std::shared_ptr<InputDeviceCapabilities> readCapabilities(int fd, std::string* name)
{
    libevdev* raw = nullptr;
    if (libevdev_new_from_fd(fd, &raw) != 0) return nullptr;
    std::unique_ptr<libevdev, decltype(&libevdev_free)> dev(raw, &libevdev_free);
    const char* devName = libevdev_get_name(dev.get());
    if (name) *name = devName ? devName : "";
    auto caps = std::make_shared<InputDeviceCapabilities>();
    caps->ours =
        UinputDevice::isOurs(devName ? devName : "", static_cast<std::uint16_t>(libevdev_get_id_bustype(dev.get())),
                             static_cast<std::uint16_t>(libevdev_get_id_vendor(dev.get())),
                             static_cast<std::uint16_t>(libevdev_get_id_product(dev.get())));
    for (unsigned type = 0; type < EV_CNT; ++type)
        if (libevdev_has_event_type(dev.get(), type)) caps->types.set(type);
    for (unsigned code = 0; code < KEY_CNT; ++code)
        if (libevdev_has_event_code(dev.get(), EV_KEY, code)) caps->keys.set(code);
    for (unsigned code = 0; code < REL_CNT; ++code)
        if (libevdev_has_event_code(dev.get(), EV_REL, code)) caps->relative.set(code);
    for (unsigned code = 0; code < ABS_CNT; ++code)
        if (libevdev_has_event_code(dev.get(), EV_ABS, code)) caps->absolute.set(code);
    for (unsigned prop = 0; prop < INPUT_PROP_CNT; ++prop)
        if (libevdev_has_property(dev.get(), prop)) caps->properties.set(prop);
    return caps;
}

}  // namespace

EvdevDeviceSource::EvdevDeviceSource(std::string directory) : directory_(std::move(directory)) {}

std::vector<std::string> EvdevDeviceSource::scan()
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory_, ec)) {
        const auto name = entry.path().filename().string();
        if (isEventNode(name)) paths.push_back(entry.path().string());
    }
    // The access checks list the folder every 300 ms while access is missing, each through a source of its
    // own: a failure is said once, and again only after a listing succeeded or failed otherwise.
    static std::mutex reportedMutex;
    static std::string reportedFailure;
    const std::string failure = ec ? directory_ + ": " + ec.message() : std::string();
    bool report = false;
    {
        std::lock_guard lock(reportedMutex);
        report = !failure.empty() && failure != reportedFailure;
        reportedFailure = failure;
    }
    if (report) log.error("The input devices cannot be listed ->", failure);
    std::sort(paths.begin(), paths.end());
    return paths;
}

InputDeviceSource::Opened EvdevDeviceSource::open(const std::string& path)
{
    Opened result;
    // Read-write lets us set the keyboard's lights; reading alone is enough for the rest.
    InputFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd) fd = InputFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        result.status = errno == ENOENT || errno == ENODEV ? OpenStatus::ignored : OpenStatus::unavailable;
        return result;
    }
    result.capabilities = readCapabilities(fd.get(), &result.name);
    if (!result.capabilities) {
        result.status = OpenStatus::ignored;
        return result;
    }
    int clock = CLOCK_MONOTONIC;
    result.monotonicStamps = ::ioctl(fd.get(), EVIOCSCLOCKID, &clock) == 0;
    result.status = OpenStatus::opened;
    result.fd = std::move(fd);
    return result;
}

int EvdevDeviceSource::hotplugFd()
{
    if (!inotifyTried_) {
        inotifyTried_ = true;
        inotify_ = InputFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!inotify_ ||
            ::inotify_add_watch(inotify_.get(), directory_.c_str(), IN_CREATE | IN_DELETE | IN_ATTRIB) < 0) {
            log.error("Hotplug of keyboards cannot be followed ->", std::strerror(errno));
            inotify_.reset();
        }
    }
    return inotify_.get();
}

std::vector<InputDeviceSource::HotplugChange> EvdevDeviceSource::readHotplug()
{
    std::vector<HotplugChange> changes;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_.get(), buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t offset = 0; offset < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->len == 0 || !isEventNode(ev->name)) continue;
            // A changed mode or owner counts as new: a node that could not be read may be readable now.
            changes.push_back({directory_ + "/" + ev->name, (ev->mask & IN_DELETE) == 0});
        }
    }
    return changes;
}

InputDeviceSource::GrabResult EvdevDeviceSource::grab(int fd, bool on)
{
    if (::ioctl(fd, EVIOCGRAB, on ? 1 : 0) == 0) return GrabResult::done;
    return errno == EBUSY ? GrabResult::busy : GrabResult::failed;
}

std::optional<KeyBits> EvdevDeviceSource::keysDown(int fd)
{
    unsigned char bits[KEY_CNT / 8 + 1]{};
    if (::ioctl(fd, EVIOCGKEY(sizeof bits), bits) < 0) return std::nullopt;
    KeyBits keys;
    for (std::size_t code = 0; code < KEY_CNT; ++code)
        if (bits[code / 8] & (1u << (code % 8))) keys.set(code);
    return keys;
}

std::optional<bool> EvdevDeviceSource::capsLockLed(int fd)
{
    unsigned char has[LED_CNT / 8 + 1]{};
    if (::ioctl(fd, EVIOCGBIT(EV_LED, sizeof has), has) < 0 || !(has[LED_CAPSL / 8] & (1u << (LED_CAPSL % 8))))
        return std::nullopt;
    unsigned char lit[LED_CNT / 8 + 1]{};
    if (::ioctl(fd, EVIOCGLED(sizeof lit), lit) < 0) return std::nullopt;
    return (lit[LED_CAPSL / 8] & (1u << (LED_CAPSL % 8))) != 0;
}

bool EvdevDeviceSource::isReadableKeyboard(const std::string& path, std::string* name)
{
    InputFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    const auto caps = readCapabilities(fd.get(), name);
    return caps && judgeInputDevice(*caps).take;
}

}  // namespace vandrel
