// Keyboards and an output keyboard for the input backend's tests and benchmark: each keyboard is a socket
// pair carrying raw struct input_event (the test writes at one end, the backend reads the other), and so is
// the output keyboard (the backend writes, the test reads). The ioctls become plain state.
#pragma once

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/input/input_device_kind.h"
#include "platform/linux/input/input_device_source.h"
#include "platform/linux/input/input_output_device.h"

namespace vandrel::testing {

// The modifiers among the keys down, as a desktop names them before a key ("Ctrl+Shift+").
inline std::string heldModifiers(const std::set<std::uint16_t>& down)
{
    static constexpr std::pair<std::uint16_t, const char*> kNames[] = {
        {KEY_LEFTCTRL, "Ctrl+"},   {KEY_RIGHTCTRL, "Ctrl+"},   {KEY_LEFTALT, "Alt+"},    {KEY_RIGHTALT, "Alt+"},
        {KEY_LEFTSHIFT, "Shift+"}, {KEY_RIGHTSHIFT, "Shift+"}, {KEY_LEFTMETA, "Super+"}, {KEY_RIGHTMETA, "Super+"}};
    std::string out;
    for (const auto& [code, name] : kNames)
        if (down.contains(code) && out.find(name) == std::string::npos) out += name;
    return out;
}

inline std::pair<InputFd, InputFd> makeSocketPair()
{
    int fds[2] = {-1, -1};
    ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds);
    return {InputFd(fds[0]), InputFd(fds[1])};
}

inline void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

inline bool writeEvents(int fd, const std::vector<input_event>& events)
{
    const auto size = events.size() * sizeof(input_event);
    return ::write(fd, events.data(), size) == static_cast<ssize_t>(size);
}

inline input_event event(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    input_event ev{};
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return ev;
}

// Every event waiting at a non-blocking descriptor. Each write is one packet: read whole, however long.
inline std::vector<input_event> readEvents(int fd)
{
    std::vector<input_event> out;
    std::vector<input_event> buffer(8192);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size() * sizeof(input_event));
        if (n <= 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + n / sizeof(input_event));
    }
    return out;
}

// "KEY_A down", "KEY_LEFTSHIFT up", "KEY_A repeat" for the key events; other events left out.
inline std::vector<std::string> describeKeys(const std::vector<input_event>& events)
{
    std::vector<std::string> out;
    for (const auto& ev : events) {
        if (ev.type != EV_KEY) continue;
        const char* name = libevdev_event_code_get_name(EV_KEY, ev.code);
        out.push_back(std::string(name ? name : std::to_string(ev.code)) + (ev.value == 1   ? " down"
                                                                            : ev.value == 0 ? " up"
                                                                                            : " repeat"));
    }
    return out;
}

// What applications act on: the modifiers pressed and released on the output with no other key pressed
// between ("KEY_LEFTMETA" for a lone Super tap, which opens the overview).
inline std::vector<std::string> loneModifierTaps(const std::vector<input_event>& events)
{
    static constexpr std::uint16_t kModifiers[] = {KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_LEFTCTRL, KEY_RIGHTCTRL,
                                                   KEY_LEFTALT,   KEY_RIGHTALT,   KEY_LEFTMETA, KEY_RIGHTMETA};
    const auto isModifier = [](std::uint16_t code) {
        return std::find(std::begin(kModifiers), std::end(kModifiers), code) != std::end(kModifiers);
    };
    std::map<std::uint16_t, bool> alone;
    std::vector<std::string> taps;
    for (const auto& ev : events) {
        if (ev.type != EV_KEY || ev.value == 2) continue;
        if (ev.value == 1) {
            for (auto& [code, flag] : alone) flag = false;
            if (isModifier(ev.code)) alone[ev.code] = true;
        } else if (isModifier(ev.code) && alone[ev.code]) {
            taps.push_back(libevdev_event_code_get_name(EV_KEY, ev.code));
            alone[ev.code] = false;
        }
    }
    return taps;
}

class FakeOutput final : public InputOutputDevice {
public:
    explicit FakeOutput(InputFd backendEnd) : fd_(std::move(backendEnd)) {}
    int fd() const override { return fd_.get(); }

private:
    InputFd fd_;
};

class FakeKeyboardSource final : public InputDeviceSource {
public:
    struct Node {
        std::string name = "Test Keyboard";
        bool keyboard = true;
        int unavailableOpens = 0;  // opens that fail before one succeeds (-1: never succeeds)
        InputFd backendEnd;
        InputFd testEnd;
        KeyBits keys;
        bool grabbed = false;
        std::optional<bool> capsLed;
        int openAttempts = 0;
        InputDeviceCapabilities capabilities = InputDeviceCapabilities::fullKeyboard();
        bool busy = false;  // another program holds it: grabs meet EBUSY
        int grabAttempts = 0;
    };

    FakeKeyboardSource() : hotplug_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    // A node present now, or (announce) one that appears later through hotplug.
    void addNode(const std::string& path, bool announce = false, int unavailableOpens = 0, bool keyboard = true,
                 std::optional<InputDeviceCapabilities> capabilities = std::nullopt)
    {
        {
            std::lock_guard lock(mutex_);
            auto& node = nodes_[path];
            node.keyboard = keyboard;
            if (capabilities) node.capabilities = *capabilities;
            node.unavailableOpens = unavailableOpens;
            auto [a, b] = makeSocketPair();
            setNonBlocking(a.get());
            setNonBlocking(b.get());
            node.backendEnd = std::move(a);
            node.testEnd = std::move(b);
        }
        if (announce) announceChange(path, true);
    }

    // The keyboard vanishes: its descriptor hangs up, and hotplug says so when announced.
    void unplug(const std::string& path, bool announce = false)
    {
        {
            std::lock_guard lock(mutex_);
            nodes_[path].testEnd.reset();
        }
        if (announce) announceChange(path, false);
    }

    void key(const std::string& path, std::uint16_t code, std::int32_t value)
    {
        int fd;
        {
            std::lock_guard lock(mutex_);
            auto& node = nodes_.at(path);
            if (value == 1) node.keys.set(code);
            if (value == 0) node.keys.reset(code);
            fd = node.testEnd.get();
        }
        writeEvents(fd, {event(EV_KEY, code, value), event(EV_SYN, SYN_REPORT, 0)});
    }
    void press(const std::string& path, std::uint16_t code) { key(path, code, 1); }
    void release(const std::string& path, std::uint16_t code) { key(path, code, 0); }
    void tap(const std::string& path, std::uint16_t code)
    {
        press(path, code);
        release(path, code);
    }
    // A key the kernel shows down without our having seen its press (held before the backend opened it).
    void holdSilently(const std::string& path, std::uint16_t code)
    {
        std::lock_guard lock(mutex_);
        nodes_.at(path).keys.set(code);
    }
    void releaseSilently(const std::string& path, std::uint16_t code, bool sendEvent)
    {
        int fd;
        {
            std::lock_guard lock(mutex_);
            nodes_.at(path).keys.reset(code);
            fd = nodes_.at(path).testEnd.get();
        }
        if (sendEvent) writeEvents(fd, {event(EV_KEY, code, 0), event(EV_SYN, SYN_REPORT, 0)});
    }

    int testFd(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return nodes_.at(path).testEnd.get();
    }
    bool isGrabbed(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return nodes_.at(path).grabbed;
    }
    void setBusy(const std::string& path, bool busy)
    {
        std::lock_guard lock(mutex_);
        nodes_.at(path).busy = busy;
    }
    int grabAttempts(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return nodes_.at(path).grabAttempts;
    }
    int openAttempts(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return nodes_.at(path).openAttempts;
    }
    void setCapsLed(const std::string& path, std::optional<bool> lit)
    {
        std::lock_guard lock(mutex_);
        nodes_.at(path).capsLed = lit;
    }
    // Blocks until a grab or ungrab satisfies the predicate (for tests whose backend runs its own thread).
    bool waitForGrab(const std::string& path, bool grabbed)
    {
        std::unique_lock lock(mutex_);
        return grabChanged_.wait_for(lock, std::chrono::seconds(10),
                                     [&] { return nodes_.at(path).grabbed == grabbed; });
    }

    // InputDeviceSource
    std::vector<std::string> scan() override
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> paths;
        for (const auto& [path, node] : nodes_)
            if (!announced_.count(path)) paths.push_back(path);
        return paths;
    }
    Opened open(const std::string& path) override
    {
        std::lock_guard lock(mutex_);
        Opened result;
        auto it = nodes_.find(path);
        if (it == nodes_.end()) {
            result.status = OpenStatus::ignored;
            return result;
        }
        auto& node = it->second;
        ++node.openAttempts;
        if (node.unavailableOpens != 0) {
            if (node.unavailableOpens > 0) --node.unavailableOpens;
            result.status = OpenStatus::unavailable;
            return result;
        }
        if (!node.keyboard) {
            result.status = OpenStatus::ignored;
            return result;
        }
        result.status = OpenStatus::opened;
        result.fd = InputFd(::dup(node.backendEnd.get()));
        result.name = node.name;
        result.capabilities = std::make_shared<InputDeviceCapabilities>(node.capabilities);
        result.monotonicStamps = true;
        byFd_[result.fd.get()] = path;
        return result;
    }
    int hotplugFd() override { return hotplug_.get(); }
    std::vector<HotplugChange> readHotplug() override
    {
        std::uint64_t count;
        [[maybe_unused]] auto r = ::read(hotplug_.get(), &count, sizeof count);
        std::lock_guard lock(mutex_);
        std::vector<HotplugChange> out(changes_.begin(), changes_.end());
        changes_.clear();
        return out;
    }
    GrabResult grab(int fd, bool on) override
    {
        std::lock_guard lock(mutex_);
        auto& node = nodes_.at(byFd_.at(fd));
        if (on) {
            ++node.grabAttempts;
            if (node.busy) return GrabResult::busy;
        }
        node.grabbed = on;
        grabChanged_.notify_all();
        return GrabResult::done;
    }
    std::optional<KeyBits> keysDown(int fd) override
    {
        std::lock_guard lock(mutex_);
        const auto& node = nodes_.at(byFd_.at(fd));
        if (!node.testEnd) return std::nullopt;  // unplugged: the kernel answers ENODEV
        return node.keys;
    }
    std::optional<bool> capsLockLed(int fd) override
    {
        std::lock_guard lock(mutex_);
        return nodes_.at(byFd_.at(fd)).capsLed;
    }

    // Hotplug news of the node, late or not.
    void announceChange(const std::string& path, bool added)
    {
        {
            std::lock_guard lock(mutex_);
            if (added) announced_.insert({path, true});
            changes_.push_back({path, added});
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(hotplug_.get(), &one, sizeof one);
    }

private:
    std::mutex mutex_;
    std::condition_variable grabChanged_;
    std::map<std::string, Node> nodes_;
    std::map<std::string, bool> announced_;
    std::map<int, std::string> byFd_;
    std::deque<HotplugChange> changes_;
    InputFd hotplug_;
};

}  // namespace vandrel::testing
