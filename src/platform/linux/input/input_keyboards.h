// The keyboards of the input backend: finding them (at start and by hotplug, retrying a node whose permissions
// still settle), reading them, and grabbing them. Everything here runs on the input thread, except the few
// calls marked "any thread", which read the list under its lock.
//
// Grabbing. A keyboard is grabbed only while the loop wants it (something needs the keys and there is an output
// keyboard to write to) and only when none of its keys is down: grabbing while a key is down would leave the
// desktop without its release, so the grab waits for the last release. A keyboard another program holds (its
// grab meets EBUSY) is tried again after grabRetryFirst, each delay twice the last up to grabRetryLongest, until
// grabRetryWindow has passed. A keyboard let go first releases on the output every key whose press went there.
//
// Reading. Each keyboard gives its events with the kernel's CLOCK_MONOTONIC stamps (a keyboard that cannot
// gives them stamped with the loop turn's time), so the events of several keyboards can be taken in the order
// they were typed. SYN_DROPPED says events before it were lost (a reader that fell behind, or a queue the clock
// switch at opening emptied, whose marker the kernel shows only with the next report): the key state there,
// the kernel's state when read less what came after the marker, is made good with presses and releases, and
// the events after it, whole and real, are taken as they come.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/input/input_device_source.h"
#include "platform/linux/input/key_machine.h"
#include "rx/scheduler.h"

namespace vandrel {

class InputKeyboards {
public:
    struct Keyboard {
        std::uint64_t id = 0;
        std::string path;
        std::string name;
        InputFd fd;
        bool monotonicStamps = false;
        KeyMachine::Keys keys;
        bool pendingGrab = false;
        // While another program holds it: since when, the next delay, and whether a retry is scheduled.
        std::optional<rx::TimePoint> busySince;
        rx::Duration busyDelay{};
        bool retryScheduled = false;
        bool draining = false;
        // The key state at each SYN_DROPPED read and not yet taken (unknown when the keyboard was gone).
        std::deque<std::optional<KeyBits>> resyncs;

        std::string label() const { return name + " (" + path + ")"; }
    };

    struct Options {
        std::shared_ptr<InputDeviceSource> source;
        rx::SchedulerPtr clock;
        // Runs jobs on the input thread, after a delay on the clock.
        rx::SchedulerPtr inputThread;
        int epoll = -1;
        rx::Duration openRetryWindow{};
        rx::Duration openRetryInterval{};
        rx::Duration grabRetryFirst{};
        rx::Duration grabRetryLongest{};
        rx::Duration grabRetryWindow{};
        // Whether the keyboards are to be grabbed now.
        std::function<bool()> wantGrab;
        // Writes everything queued for the output at once (before a keyboard is let go).
        std::function<void()> flushAll;
    };

    InputKeyboards(Options options, KeyMachine& machine);
    ~InputKeyboards();

    void openAll(rx::TimePoint now);
    void readHotplug(rx::TimePoint now);
    struct Read {
        std::size_t count = 0;
        // Why the keyboard is gone (remove it once its events are taken); null while it is there.
        const char* gone = nullptr;
    };
    // Reads what the keyboard has now into `room`, stamped: an event without the kernel's monotonic stamp gets
    // the loop turn's time, `now`.
    Read read(Keyboard& keyboard, std::span<input_event> room, const timeval& now);
    // One event of a keyboard, in the turn's order.
    void take(Keyboard& keyboard, const input_event& event);
    // Whatever the keyboard held is let go, through the taps as a keyboard would, and on the output in any case.
    void remove(Keyboard& keyboard, const char* why);
    Keyboard* byId(std::uint64_t id) const;

    void updateGrabs(bool want);
    // Every keyboard is let go (the output failed, shutting down).
    void letAllGo();
    // Shows the lights the desktop set on the output (Num, Caps, Scroll Lock) on every grabbed keyboard, and on
    // every keyboard grabbed later.
    void showLights(const std::array<std::int32_t, 3>& lights);
    // Closes every keyboard (the loop has ended).
    void closeAll();
    // Every keyboard goes as if unplugged (its keys released through the taps and on the output), is let go
    // and closed, and none is opened until reopen() (the session is inactive).
    void closeForNow(const char* why);
    void reopen(rx::TimePoint now);

    // Any thread: lets every keyboard go at once, without the input thread (a stall).
    void ungrabNow();
    // Any thread.
    std::size_t count() const;
    std::vector<std::string> grabbedPaths() const;
    // The Caps Lock light of the first keyboard that has one.
    std::optional<bool> capsLockLed() const;

private:
    void openNode(const std::string& path, rx::TimePoint firstAttempt);
    void add(const std::string& path, InputDeviceSource::Opened opened, const std::string& parts);
    void feed(Keyboard& keyboard, std::uint16_t code, std::int32_t value, rx::TimePoint time, bool gone = false);
    void resync(Keyboard& keyboard, const KeyBits& keys, rx::TimePoint time);
    // Keeps the key state at each SYN_DROPPED among the events just read.
    void noteDrops(Keyboard& keyboard, std::span<const input_event> events);
    void tryGrab(Keyboard& keyboard);
    void grabBusy(Keyboard& keyboard);
    void retryGrab(std::uint64_t id, rx::Duration delay);
    void drain(Keyboard& keyboard);
    void ungrab(Keyboard& keyboard);
    void setLights(Keyboard& keyboard);

    const Options options_;
    KeyMachine& machine_;
    std::optional<std::array<std::int32_t, 3>> lights_;
    // Changed on the input thread under the lock; read there without it, elsewhere under it.
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Keyboard>> keyboards_;
    std::uint64_t nextId_ = 1;
    bool closedForNow_ = false;
    // Nodes left out (not keyboards) with the reason, so each is logged once.
    std::map<std::string, std::string> leftOut_;
};

}  // namespace vandrel
