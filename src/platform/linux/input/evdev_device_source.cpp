#include "platform/linux/input/evdev_device_source.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/log.h"
#include "platform/linux/input/uinput_device.h"

namespace vandrel {

namespace {

bool isEventNode(const std::string& name)
{
    return name.rfind("event", 0) == 0;
}

constexpr unsigned kLetters[] = {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O,
                                 KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K,
                                 KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M};

enum class Kind { keyboard, other, ours };

Kind classify(int fd, std::string* name)
{
    libevdev* raw = nullptr;
    if (libevdev_new_from_fd(fd, &raw) != 0) return Kind::other;
    std::unique_ptr<libevdev, decltype(&libevdev_free)> dev(raw, &libevdev_free);
    const char* devName = libevdev_get_name(dev.get());
    const std::string n = devName ? devName : "";
    if (UinputDevice::isOurs(n, static_cast<std::uint16_t>(libevdev_get_id_bustype(dev.get())),
                             static_cast<std::uint16_t>(libevdev_get_id_vendor(dev.get())),
                             static_cast<std::uint16_t>(libevdev_get_id_product(dev.get()))))
        return Kind::ours;
    const bool letters = std::all_of(std::begin(kLetters), std::end(kLetters),
                                     [&](unsigned code) { return libevdev_has_event_code(dev.get(), EV_KEY, code); });
    if (!letters) return Kind::other;
    if (name) *name = n;
    return Kind::keyboard;
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
    if (ec) log.error("The input devices cannot be listed ->", directory_ + ": " + ec.message());
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
    switch (classify(fd.get(), &result.name)) {
        case Kind::keyboard:
            result.status = OpenStatus::opened;
            result.fd = std::move(fd);
            return result;
        case Kind::ours:
        case Kind::other:
            result.status = OpenStatus::ignored;
            return result;
    }
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

bool EvdevDeviceSource::grab(int fd, bool on)
{
    return ::ioctl(fd, EVIOCGRAB, on ? 1 : 0) == 0;
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
    return fd && classify(fd.get(), name) == Kind::keyboard;
}

}  // namespace vandrel
