#include "harness/input_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace vandrel::vmtest {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kInputDir = "/dev/input";

std::string errnoText()
{
    return std::strerror(errno);
}

// A descriptor closed on scope exit.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    ~FdGuard()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::optional<InputDeviceInfo> describe(int fd, const std::string& path)
{
    std::array<char, 256> name{};
    InputDeviceInfo info;
    info.path = path;
    if (ioctl(fd, EVIOCGNAME(name.size() - 1), name.data()) < 0) return std::nullopt;
    info.name = name.data();
    if (ioctl(fd, EVIOCGID, &info.id) < 0) return std::nullopt;
    return info;
}

// event2 before event10.
int eventNumber(const std::string& path)
{
    const auto pos = path.rfind("event");
    if (pos == std::string::npos) return -1;
    try {
        return std::stoi(path.substr(pos + 5));
    } catch (...) {
        return -1;
    }
}

int pollMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

std::string describeAll()
{
    std::string text;
    for (const InputDeviceInfo& info : InputDevice::list()) {
        if (!text.empty()) text += ", ";
        text += info.path + " \"" + info.name + "\"";
    }
    return text.empty() ? "none" : text;
}

}  // namespace

Result<InputDevice> InputDevice::open(const std::string& path)
{
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return Result<InputDevice>::failure("cannot open " + path + ": " + errnoText());
    std::optional<InputDeviceInfo> info = describe(fd.get(), path);
    if (!info) return Result<InputDevice>::failure(path + " is not an evdev device: " + errnoText());
    return Result<InputDevice>::success(InputDevice(fd.release(), std::move(*info)));
}

std::vector<InputDeviceInfo> InputDevice::list()
{
    std::vector<InputDeviceInfo> devices;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kInputDir, error)) {
        const std::string path = entry.path().string();
        if (entry.path().filename().string().rfind("event", 0) != 0) continue;
        FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0) continue;
        if (std::optional<InputDeviceInfo> info = describe(fd.get(), path)) devices.push_back(std::move(*info));
    }
    std::sort(devices.begin(), devices.end(), [](const InputDeviceInfo& a, const InputDeviceInfo& b) {
        return eventNumber(a.path) < eventNumber(b.path);
    });
    return devices;
}

Result<InputDevice> InputDevice::waitFor(const std::function<bool(const InputDeviceInfo&)>& match, Milliseconds timeout,
                                         std::string_view what)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    FdGuard inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    bool watchingInputDir = false;
    if (inotify.get() >= 0) {
        // /dev/input itself appears with the first evdev device; until then watch /dev for it.
        inotify_add_watch(inotify.get(), "/dev", IN_CREATE | IN_MOVED_TO);
    }
    std::string lastError;
    while (true) {
        // Watch before scanning, so a device made between the scan and the wait still wakes us.
        if (!watchingInputDir && inotify.get() >= 0) {
            watchingInputDir = inotify_add_watch(inotify.get(), kInputDir, IN_CREATE | IN_ATTRIB | IN_MOVED_TO) >= 0;
        }
        for (const InputDeviceInfo& info : list()) {
            if (!match(info)) continue;
            Result<InputDevice> device = open(info.path);
            if (device) return device;
            lastError = device.error();
        }
        if (Clock::now() >= deadline) break;
        // Short fallback wake-ups cover a node whose permissions change without an event we watch.
        const int wait = std::min(pollMs(deadline), 50);
        if (inotify.get() >= 0) {
            pollfd pfd{inotify.get(), POLLIN, 0};
            if (poll(&pfd, 1, wait) > 0) {
                std::array<char, 4096> buffer{};
                while (read(inotify.get(), buffer.data(), buffer.size()) > 0) {
                }
            }
        } else {
            poll(nullptr, 0, wait);
        }
    }
    std::string message = "no input device " + std::string(what) + " appeared within " +
                          std::to_string(timeout.count()) + " ms (present: " + describeAll() + ")";
    if (!lastError.empty()) message += "; last error: " + lastError;
    return Result<InputDevice>::failure(message);
}

Result<InputDevice> InputDevice::waitForName(std::string_view name, Milliseconds timeout)
{
    return waitFor([name](const InputDeviceInfo& info) { return info.name == name; }, timeout,
                   "named \"" + std::string(name) + "\"");
}

Result<InputDevice> InputDevice::waitForIdentity(const DeviceIdentity& identity, Milliseconds timeout)
{
    return waitFor([identity](const InputDeviceInfo& info) { return identity.matches(info.name, info.id); }, timeout,
                   "\"" + std::string(identity.name) + "\" with its bus, vendor and product");
}

InputDevice::InputDevice(InputDevice&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      info_(std::move(other.info_)),
      grabbed_(std::exchange(other.grabbed_, false)),
      dropped_(std::exchange(other.dropped_, 0)),
      pending_(std::move(other.pending_))
{
}

InputDevice& InputDevice::operator=(InputDevice&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        info_ = std::move(other.info_);
        grabbed_ = std::exchange(other.grabbed_, false);
        dropped_ = std::exchange(other.dropped_, 0);
        pending_ = std::move(other.pending_);
    }
    return *this;
}

InputDevice::~InputDevice()
{
    close();
}

void InputDevice::close()
{
    // Closing the file releases its grab too.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    grabbed_ = false;
}

std::optional<input_event> InputDevice::readEvent(Milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    while (pending_.empty()) {
        if (fd_ < 0) return std::nullopt;
        std::array<input_event, 64> events{};
        const ssize_t bytes = read(fd_, events.data(), sizeof(events));
        if (bytes > 0) {
            const auto count = static_cast<std::size_t>(bytes) / sizeof(input_event);
            pending_.insert(pending_.end(), events.begin(), events.begin() + count);
            break;
        }
        if (bytes < 0 && errno == EINTR) continue;
        if (bytes < 0 && errno != EAGAIN) return std::nullopt;  // ENODEV: the device went away
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, pollMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (pfd.revents & POLLIN) == 0) return std::nullopt;
    }
    const input_event event = pending_.front();
    pending_.pop_front();
    if (event.type == EV_SYN && event.code == SYN_DROPPED) ++dropped_;
    return event;
}

std::vector<input_event> InputDevice::readKeyEvents(std::size_t count, Milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::vector<input_event> keys;
    while (keys.size() < count) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        std::optional<input_event> event = readEvent(std::max(left, Milliseconds(0)));
        if (!event) break;
        if (event->type == EV_KEY) keys.push_back(*event);
    }
    return keys;
}

void InputDevice::drain()
{
    pending_.clear();
    std::array<input_event, 64> events{};
    while (fd_ >= 0 && read(fd_, events.data(), sizeof(events)) > 0) {
    }
}

Result<std::vector<int>> InputDevice::pressedKeys() const
{
    std::array<unsigned char, KEY_MAX / 8 + 1> bits{};
    if (ioctl(fd_, EVIOCGKEY(bits.size()), bits.data()) < 0) {
        return Result<std::vector<int>>::failure("EVIOCGKEY on " + path() + " failed: " + errnoText());
    }
    std::vector<int> keys;
    for (int code = 0; code <= KEY_MAX; ++code) {
        if ((bits[code / 8] >> (code % 8)) & 1) keys.push_back(code);
    }
    return Result<std::vector<int>>::success(std::move(keys));
}

bool InputDevice::isKeyDown(int code) const
{
    const Result<std::vector<int>> keys = pressedKeys();
    return keys && std::find(keys->begin(), keys->end(), code) != keys->end();
}

bool InputDevice::hasKey(int code) const
{
    std::array<unsigned char, KEY_MAX / 8 + 1> bits{};
    if (code < 0 || code > KEY_MAX || ioctl(fd_, EVIOCGBIT(EV_KEY, bits.size()), bits.data()) < 0) return false;
    return ((bits[code / 8] >> (code % 8)) & 1) != 0;
}

Status InputDevice::grab()
{
    if (ioctl(fd_, EVIOCGRAB, 1) < 0) return Status::failure("EVIOCGRAB on " + path() + " failed: " + errnoText());
    grabbed_ = true;
    return Status::success();
}

Status InputDevice::ungrab()
{
    if (ioctl(fd_, EVIOCGRAB, 0) < 0) return Status::failure("releasing the grab on " + path() + ": " + errnoText());
    grabbed_ = false;
    return Status::success();
}

Result<bool> InputDevice::isGrabbedByOther()
{
    // The kernel answers EBUSY to any grab while one is held, ours included.
    if (grabbed_) return Result<bool>::success(false);
    if (ioctl(fd_, EVIOCGRAB, 1) == 0) {
        ioctl(fd_, EVIOCGRAB, 0);
        return Result<bool>::success(false);
    }
    if (errno == EBUSY) return Result<bool>::success(true);
    return Result<bool>::failure("EVIOCGRAB probe on " + path() + " failed: " + errnoText());
}

}  // namespace vandrel::vmtest
