#include "platform/linux/input/input_keyboards.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/log.h"
#include "platform/linux/input/input_device_kind.h"
#include "platform/linux/input/input_signal_guard.h"

namespace vandrel {

namespace {

constexpr std::size_t kReadBatch = 64;

rx::TimePoint stampOf(const input_event& ev)
{
    return rx::TimePoint(std::chrono::seconds(ev.input_event_sec) + std::chrono::microseconds(ev.input_event_usec));
}

}  // namespace

InputKeyboards::InputKeyboards(Options options, KeyMachine& machine) : options_(std::move(options)), machine_(machine)
{
}

InputKeyboards::~InputKeyboards()
{
    closeAll();
}

InputKeyboards::Keyboard* InputKeyboards::byId(std::uint64_t id) const
{
    for (const auto& k : keyboards_)
        if (k->id == id) return k.get();
    return nullptr;
}

// ---- Finding keyboards

void InputKeyboards::openAll(rx::TimePoint now)
{
    for (const auto& path : options_.source->scan()) openNode(path, now);
}

void InputKeyboards::openNode(const std::string& path, rx::TimePoint firstAttempt)
{
    if (closedForNow_) return;
    for (const auto& k : keyboards_)
        if (k->path == path) return;
    auto opened = options_.source->open(path);
    if (opened.status == InputDeviceSource::OpenStatus::ignored) return;
    if (opened.status == InputDeviceSource::OpenStatus::opened) {
        const auto verdict = opened.capabilities ? judgeInputDevice(*opened.capabilities)
                                                 : InputDeviceVerdict{false, "nothing known of it"};
        if (verdict.take) {
            leftOut_.erase(path);
            add(path, std::move(opened), verdict.what);
            return;
        }
        // Hotplug reports a node again when its permissions change; say it once.
        if (auto& known = leftOut_[path]; known != verdict.what) {
            known = verdict.what;
            log.info("Input device left out ->", opened.name + " (" + path + "): " + verdict.what);
        }
        return;
    }
    if (options_.clock->now() - firstAttempt >= options_.openRetryWindow) {
        log.warning("An input device cannot be opened ->", path);
        return;
    }
    options_.inputThread->scheduleAfter(options_.openRetryInterval,
                                        [this, path, firstAttempt] { openNode(path, firstAttempt); });
}

void InputKeyboards::add(const std::string& path, InputDeviceSource::Opened opened, const std::string& parts)
{
    auto keyboard = std::make_shared<Keyboard>();
    keyboard->id = nextId_++;
    keyboard->path = path;
    keyboard->name = opened.name;
    keyboard->fd = std::move(opened.fd);
    keyboard->monotonicStamps = opened.monotonicStamps;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = keyboard.get();
    if (::epoll_ctl(options_.epoll, EPOLL_CTL_ADD, keyboard->fd.get(), &ev) != 0) {
        log.error("A keyboard cannot be watched ->", keyboard->label());
        return;
    }
    {
        std::lock_guard lock(mutex_);
        keyboards_.push_back(keyboard);
    }
    InputSignalGuard::registerEmergencyFd(keyboard->fd.get(), InputSignalGuard::EmergencyAction::ungrab);
    log.info("Keyboard found ->", keyboard->label() + ": " + parts);
    if (options_.wantGrab()) {
        keyboard->pendingGrab = true;
        tryGrab(*keyboard);
    }
}

void InputKeyboards::readHotplug(rx::TimePoint now)
{
    for (const auto& change : options_.source->readHotplug()) {
        if (change.added) {
            openNode(change.path, now);
            continue;
        }
        leftOut_.erase(change.path);
        for (const auto& k : keyboards_)
            if (k->path == change.path) {
                // Node numbers are reused at once: the removal of a keyboard can come after the one plugged in next
                // took its node and was opened. A descriptor that still answers is that newer keyboard.
                if (options_.source->keysDown(k->fd.get())) {
                    log.debug("A removal for a node whose keyboard is still there, kept ->", k->label());
                    break;
                }
                remove(*k, "removed");
                break;
            }
    }
}

void InputKeyboards::remove(Keyboard& keyboard, const char* why)
{
    log.info("Keyboard gone ->", keyboard.label() + ": " + why);
    keyboard.pendingGrab = false;
    const rx::TimePoint now = options_.clock->now();
    for (std::size_t code = 0; code < KEY_CNT; ++code)
        if (keyboard.keys.raw[code] || keyboard.keys.held[code].valid)
            feed(keyboard, static_cast<std::uint16_t>(code), 0, now, true);
    ::epoll_ctl(options_.epoll, EPOLL_CTL_DEL, keyboard.fd.get(), nullptr);
    InputSignalGuard::unregisterEmergencyFd(keyboard.fd.get());
    std::shared_ptr<Keyboard> gone;  // closed outside the lock
    std::lock_guard lock(mutex_);
    keyboard.keys.grabbed.store(false);
    const auto it =
        std::find_if(keyboards_.begin(), keyboards_.end(), [&](const auto& k) { return k.get() == &keyboard; });
    if (it == keyboards_.end()) return;
    gone = std::move(*it);
    keyboards_.erase(it);
}

void InputKeyboards::closeAll()
{
    std::lock_guard lock(mutex_);
    for (const auto& k : keyboards_) InputSignalGuard::unregisterEmergencyFd(k->fd.get());
    keyboards_.clear();
}

void InputKeyboards::closeForNow(const char* why)
{
    closedForNow_ = true;
    const auto all = keyboards_;  // open until the releases are out and the grabs dropped
    std::vector<bool> grabbed;
    for (const auto& k : all) {
        grabbed.push_back(k->keys.grabbed.load());
        remove(*k, why);
    }
    options_.flushAll();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (grabbed[i]) options_.source->grab(all[i]->fd.get(), false);
}

void InputKeyboards::reopen(rx::TimePoint now)
{
    closedForNow_ = false;
    openAll(now);
}

// ---- Reading

InputKeyboards::Read InputKeyboards::read(Keyboard& keyboard, std::span<input_event> room, const timeval& now)
{
    Read result;
    while (result.count < room.size()) {
        const std::size_t asked = std::min(kReadBatch, room.size() - result.count);
        input_event* const events = room.data() + result.count;
        const ssize_t n = ::read(keyboard.fd.get(), events, asked * sizeof(input_event));
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) result.gone = std::strerror(errno);
            break;
        }
        if (n == 0) {
            result.gone = "closed";
            break;
        }
        // A keyboard gives whole events only.
        const std::size_t count = static_cast<std::size_t>(n) / sizeof(input_event);
        for (std::size_t i = 0; i < count; ++i) {
            auto& ev = events[i];
            if (keyboard.monotonicStamps && (ev.input_event_sec != 0 || ev.input_event_usec != 0)) continue;
            ev.input_event_sec = now.tv_sec;
            ev.input_event_usec = now.tv_usec;
        }
        result.count += count;
        // A short read took everything the keyboard had.
        if (count < asked) break;
    }
    noteDrops(keyboard, room.first(result.count));
    return result;
}

void InputKeyboards::noteDrops(Keyboard& keyboard, std::span<const input_event> events)
{
    const auto isDrop = [](const input_event& ev) { return ev.type == EV_SYN && ev.code == SYN_DROPPED; };
    if (std::none_of(events.begin(), events.end(), isDrop)) return;
    // The kernel's key state is that after everything read (unknown when the keyboard is gone: its removal
    // lets every key go); undoing what came after a SYN_DROPPED gives the state there.
    auto state = options_.source->keysDown(keyboard.fd.get());
    std::vector<std::optional<KeyBits>> atDrops;
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        if (isDrop(*it))
            atDrops.push_back(state);
        else if (state && it->type == EV_KEY && it->code < KEY_CNT)
            state->set(it->code, it->value != 1);  // down before a release or a repeat, up before a press
    }
    keyboard.resyncs.insert(keyboard.resyncs.end(), atDrops.rbegin(), atDrops.rend());
}

void InputKeyboards::take(Keyboard& keyboard, const input_event& event)
{
    if (event.type == EV_SYN) {
        // What was lost came before it; what follows is whole and is taken as it comes.
        if (event.code == SYN_DROPPED && !keyboard.resyncs.empty()) {
            const std::optional<KeyBits> state = keyboard.resyncs.front();
            keyboard.resyncs.pop_front();
            if (state) resync(keyboard, *state, stampOf(event));
        }
        return;
    }
    if (event.type != EV_KEY) return;
    feed(keyboard, event.code, event.value, stampOf(event));
}

void InputKeyboards::feed(Keyboard& keyboard, std::uint16_t code, std::int32_t value, rx::TimePoint time, bool gone)
{
    machine_.key(keyboard.keys, KeyMachine::Input{code, value, time, gone});
    if (value == 0 && keyboard.pendingGrab && !keyboard.draining && keyboard.keys.raw.none()) tryGrab(keyboard);
}

void InputKeyboards::resync(Keyboard& keyboard, const KeyBits& keys, rx::TimePoint time)
{
    for (std::size_t code = 0; code < KEY_CNT; ++code) {
        if (keyboard.keys.raw[code] && !keys[code])
            feed(keyboard, static_cast<std::uint16_t>(code), 0, time);
        else if (!keyboard.keys.raw[code] && keys[code])
            feed(keyboard, static_cast<std::uint16_t>(code), 1, time);
    }
}

void InputKeyboards::drain(Keyboard& keyboard)
{
    keyboard.draining = true;
    const rx::TimePoint now = options_.clock->now();
    for (int i = 0; i < 64; ++i) {
        input_event events[kReadBatch];
        const ssize_t n = ::read(keyboard.fd.get(), events, sizeof events);
        if (n <= 0) break;
        for (std::size_t k = 0; k < static_cast<std::size_t>(n) / sizeof(input_event); ++k)
            if (events[k].type == EV_KEY) feed(keyboard, events[k].code, events[k].value, now);
    }
    keyboard.draining = false;
}

// ---- Grabbing

void InputKeyboards::updateGrabs(bool want)
{
    for (const auto& k : keyboards_) {
        if (want) {
            // A keyboard another program holds is tried on its own schedule.
            if (!k->keys.grabbed.load() && !k->retryScheduled) {
                k->pendingGrab = true;
                tryGrab(*k);
            }
        } else {
            k->pendingGrab = false;
            k->busySince.reset();
            if (k->keys.grabbed.load()) ungrab(*k);
        }
    }
}

void InputKeyboards::tryGrab(Keyboard& keyboard)
{
    if (!keyboard.pendingGrab || keyboard.keys.grabbed.load()) return;
    if (!options_.wantGrab()) {
        keyboard.pendingGrab = false;
        return;
    }
    // Grabbing while a key is down would leave the desktop without its release: wait for it.
    if (keyboard.keys.raw.any()) return;
    if (const auto keys = options_.source->keysDown(keyboard.fd.get()); keys && keys->any()) {
        keyboard.keys.raw |= *keys;
        return;
    }
    switch (options_.source->grab(keyboard.fd.get(), true)) {
        case InputDeviceSource::GrabResult::done:
            break;
        case InputDeviceSource::GrabResult::busy:
            grabBusy(keyboard);
            return;
        case InputDeviceSource::GrabResult::failed:
            log.error("A keyboard cannot be grabbed ->", keyboard.label() + ": " + std::strerror(errno));
            keyboard.pendingGrab = false;
            keyboard.busySince.reset();
            return;
    }
    drain(keyboard);
    if (keyboard.keys.raw.any()) {
        // A key went down as we grabbed; the desktop has its press, so it must get its release too.
        options_.source->grab(keyboard.fd.get(), false);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        keyboard.keys.grabbed.store(true);
    }
    keyboard.pendingGrab = false;
    setLights(keyboard);
    if (keyboard.busySince) log.info("A keyboard another program held is free now and grabbed ->", keyboard.label());
    keyboard.busySince.reset();
    log.info("Keyboard grabbed ->", keyboard.label());
}

void InputKeyboards::grabBusy(Keyboard& keyboard)
{
    const auto now = options_.clock->now();
    if (!keyboard.busySince) {
        keyboard.busySince = now;
        keyboard.busyDelay = options_.grabRetryFirst;
        log.warning("Another program holds a keyboard; trying again for a minute ->", keyboard.label());
    }
    if (keyboard.retryScheduled) return;
    if (now - *keyboard.busySince >= options_.grabRetryWindow) {
        log.error("Another program kept a keyboard; it is left to that program ->", keyboard.label());
        keyboard.pendingGrab = false;
        keyboard.busySince.reset();
        return;
    }
    keyboard.retryScheduled = true;
    const auto delay = keyboard.busyDelay;
    keyboard.busyDelay = std::min(keyboard.busyDelay * 2, options_.grabRetryLongest);
    retryGrab(keyboard.id, delay);
}

void InputKeyboards::retryGrab(std::uint64_t id, rx::Duration delay)
{
    options_.inputThread->scheduleAfter(delay, [this, id] {
        Keyboard* keyboard = byId(id);
        if (!keyboard) return;
        keyboard->retryScheduled = false;
        tryGrab(*keyboard);
    });
}

void InputKeyboards::ungrab(Keyboard& keyboard)
{
    machine_.letGo(keyboard.keys);
    options_.flushAll();
    options_.source->grab(keyboard.fd.get(), false);
    std::lock_guard lock(mutex_);
    keyboard.keys.grabbed.store(false);
    log.info("Keyboard let go ->", keyboard.label());
}

void InputKeyboards::letAllGo()
{
    for (const auto& k : keyboards_) {
        k->pendingGrab = false;
        if (k->keys.grabbed.load()) ungrab(*k);
    }
}

void InputKeyboards::ungrabNow()
{
    std::lock_guard lock(mutex_);
    for (const auto& k : keyboards_) {
        if (!k->keys.grabbed.load()) continue;
        options_.source->grab(k->fd.get(), false);
        k->keys.grabbed.store(false);
    }
}

// ---- Lights

void InputKeyboards::setLights(Keyboard& keyboard)
{
    if (!lights_) return;
    input_event events[4]{};
    for (int i = 0; i < 3; ++i) {
        events[i].type = EV_LED;
        events[i].code = static_cast<std::uint16_t>(LED_NUML + i);
        events[i].value = (*lights_)[static_cast<std::size_t>(i)];
    }
    events[3].type = EV_SYN;
    events[3].code = SYN_REPORT;
    [[maybe_unused]] auto r = ::write(keyboard.fd.get(), events, sizeof events);
}

void InputKeyboards::showLights(const std::array<std::int32_t, 3>& lights)
{
    lights_ = lights;
    // The desktop lights our keyboard only; the grabbed ones show the same.
    for (const auto& k : keyboards_)
        if (k->keys.grabbed.load()) setLights(*k);
}

// ---- Any thread

std::size_t InputKeyboards::count() const
{
    std::lock_guard lock(mutex_);
    return keyboards_.size();
}

std::vector<std::string> InputKeyboards::grabbedPaths() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (const auto& k : keyboards_)
        if (k->keys.grabbed.load()) paths.push_back(k->path);
    return paths;
}

std::optional<bool> InputKeyboards::capsLockLed() const
{
    std::lock_guard lock(mutex_);
    for (const auto& k : keyboards_)
        if (const auto lit = options_.source->capsLockLed(k->fd.get())) return lit;
    return std::nullopt;
}

}  // namespace vandrel
