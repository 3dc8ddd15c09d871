#include "platform/linux/input/input_backend.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <limits>

#include "core/log.h"
#include "platform/hid_usage.h"
#include "platform/linux/input/input_device_kind.h"
#include "platform/linux/input/input_signal_guard.h"
#include "platform/linux/input/key_code_table.h"
#include "platform/linux/input/uinput_writer.h"

namespace vandrel {

namespace {

constexpr std::uint64_t kWakeId = 0;
constexpr std::uint64_t kOutputId = 1;
constexpr std::uint64_t kHotplugId = 2;
constexpr std::int64_t kIdle = std::numeric_limits<std::int64_t>::min();
constexpr std::uint16_t kNoKey = 0xFFFF;
constexpr std::size_t kReadBatch = 64;

int typeIndex(KeyEventType type)
{
    return static_cast<int>(type);
}

// Index into the modifier counts; -1 for keys that are not modifiers.
int modifierIndex(std::uint16_t virtualKeyCode)
{
    switch (KeyCodeTable::modifierFlag(virtualKeyCode)) {
        case EventFlags::maskCommand:
            return 0;
        case EventFlags::maskShift:
            return 1;
        case EventFlags::maskAlternate:
            return 2;
        case EventFlags::maskControl:
            return 3;
        case EventFlags::maskSecondaryFn:
            return 4;
        default:
            return -1;
    }
}

constexpr std::uint64_t kModifierMasks[5] = {EventFlags::maskCommand, EventFlags::maskShift, EventFlags::maskAlternate,
                                             EventFlags::maskControl, EventFlags::maskSecondaryFn};

}  // namespace

struct InputBackend::Device {
    struct Held {
        bool valid = false;
        std::uint16_t mapped = kNoKey;  // virtual key code it was pressed as, after mapping
        bool out = false;               // the output keyboard knows of its press (passed, or swallowed)
        bool hold = false;              // a press the taps swallowed, not a modifier: it holds modifiers back
        std::uint16_t outCode = 0;
        std::uint64_t generation = 0;
    };

    std::uint64_t id = 0;
    std::string path;
    std::string name;
    InputFd fd;
    std::atomic<bool> grabbed{false};
    bool pendingGrab = false;
    // While another program holds it: since when, the next delay, and whether a retry is scheduled.
    std::optional<rx::TimePoint> busySince;
    rx::Duration busyDelay{};
    bool retryScheduled = false;
    bool draining = false;
    bool dropping = false;  // after SYN_DROPPED, until the next report
    KeyBits raw;            // physical keys down, before mapping
    std::array<Held, KEY_CNT> held{};
    std::array<char, sizeof(input_event)> partial{};
    std::size_t partialSize = 0;

    std::string label() const { return name + " (" + path + ")"; }
};

struct InputBackend::TapHub {
    struct Entry {
        KeyEventType type = KeyEventType::keyDown;
        TapCallback callback;
        std::atomic<bool> enabled{true};
        // Under the hub's mutex.
        std::function<void()> onDisabled;
    };
    using List = std::vector<std::shared_ptr<Entry>>;

    std::mutex mutex;
    std::array<std::shared_ptr<const List>, 3> lists{std::make_shared<const List>(), std::make_shared<const List>(),
                                                     std::make_shared<const List>()};
    // Set by the backend while it lives; called under the mutex.
    std::function<void()> onChange;
    std::function<void()> onEnable;

    std::shared_ptr<const List> snapshot(KeyEventType type)
    {
        std::lock_guard lock(mutex);
        return lists[typeIndex(type)];
    }

    bool hasTaps()
    {
        std::lock_guard lock(mutex);
        return std::any_of(lists.begin(), lists.end(), [](const auto& l) { return !l->empty(); });
    }

    void add(const std::shared_ptr<Entry>& entry, TapPlacement placement)
    {
        std::lock_guard lock(mutex);
        auto next = std::make_shared<List>(*lists[typeIndex(entry->type)]);
        if (placement == TapPlacement::headInsert)
            next->insert(next->begin(), entry);
        else
            next->push_back(entry);
        lists[typeIndex(entry->type)] = std::move(next);
        if (onChange) onChange();
    }

    void remove(const std::shared_ptr<Entry>& entry)
    {
        std::shared_ptr<const List> old;  // released outside the lock
        std::lock_guard lock(mutex);
        auto next = std::make_shared<List>(*lists[typeIndex(entry->type)]);
        std::erase(*next, entry);
        old = std::exchange(lists[typeIndex(entry->type)], std::move(next));
        if (onChange) onChange();
    }

    void disableAll()
    {
        std::vector<std::function<void()>> told;
        {
            std::lock_guard lock(mutex);
            for (const auto& list : lists)
                for (const auto& entry : *list) {
                    entry->enabled.store(false);
                    if (entry->onDisabled) told.push_back(entry->onDisabled);
                }
        }
        for (const auto& handler : told) handler();
    }

    void setOnDisabled(const std::shared_ptr<Entry>& entry, std::function<void()> handler)
    {
        std::lock_guard lock(mutex);
        entry->onDisabled = std::move(handler);
    }

    void enabled()
    {
        std::lock_guard lock(mutex);
        if (onEnable) onEnable();
    }
};

class InputBackend::Tap final : public EventTap {
public:
    Tap(std::shared_ptr<TapHub::Entry> entry, std::weak_ptr<TapHub> hub)
        : entry_(std::move(entry)), hub_(std::move(hub))
    {
    }
    ~Tap() override
    {
        if (auto hub = hub_.lock()) hub->remove(entry_);
    }
    bool isEnabled() const override { return entry_->enabled.load(); }
    void setEnabled(bool enabled) override
    {
        entry_->enabled.store(enabled);
        if (!enabled) return;
        if (auto hub = hub_.lock()) hub->enabled();
    }
    void setOnDisabled(std::function<void()> handler) override
    {
        if (auto hub = hub_.lock()) hub->setOnDisabled(entry_, std::move(handler));
    }

private:
    std::shared_ptr<TapHub::Entry> entry_;
    std::weak_ptr<TapHub> hub_;
};

// Lets timer jobs reach the backend only while it lives.
struct InputBackend::Alive {
    std::mutex mutex;
    InputBackend* backend = nullptr;
};

InputBackend::InputBackend(Options options)
    : options_(std::move(options)), hub_(std::make_shared<TapHub>()), alive_(std::make_shared<Alive>())
{
    for (std::size_t i = 0; i < mapping_.size(); ++i) mapping_[i] = static_cast<std::uint16_t>(i);
    alive_->backend = this;
    std::lock_guard lock(hub_->mutex);
    hub_->onChange = [this] { enqueue([this] { updateGrabs(); }); };
    hub_->onEnable = [this] { onTapEnabled(); };
}

InputBackend::~InputBackend()
{
    {
        std::lock_guard lock(hub_->mutex);
        hub_->onChange = nullptr;
        hub_->onEnable = nullptr;
    }
    {
        std::lock_guard lock(alive_->mutex);
        alive_->backend = nullptr;
    }
    stop();
}

bool InputBackend::start()
{
    std::lock_guard startLock(startMutex_);
    if (started_.exchange(true)) return hasOutput_.load();
    epoll_ = InputFd(::epoll_create1(EPOLL_CLOEXEC));
    wake_ = InputFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!epoll_ || !wake_) {
        log.error("The input loop cannot be set up ->", std::strerror(errno));
        return false;
    }
    auto watch = [this](int fd, std::uint64_t id) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = id;
        return ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &ev) == 0;
    };
    watch(wake_.get(), kWakeId);

    auto output = options_.makeOutput ? options_.makeOutput() : nullptr;
    if (output) {
        watch(output->fd(), kOutputId);
        InputSignalGuard::registerEmergencyFd(output->fd(), InputSignalGuard::EmergencyAction::destroyUinput);
        std::lock_guard lock(outputMutex_);
        writer_ = std::make_unique<UinputWriter>(output->fd());
        output_ = std::move(output);
        hasOutput_.store(true);
    } else {
        log.error("The virtual keyboard cannot be made; no keyboard will be grabbed");
    }
    if (options_.source) {
        if (int fd = options_.source->hotplugFd(); fd >= 0)
            watch(fd, kHotplugId);
        else
            log.warning("Keyboards plugged in later will not be seen");
        const auto now = options_.scheduler->now();
        for (const auto& path : options_.source->scan()) openNode(path, now);
    }

    std::weak_ptr<Alive> weakAlive = alive_;
    cleanupId_ = InputSignalGuard::addCleanup([weakAlive] {
        auto a = weakAlive.lock();
        if (!a) return;
        std::lock_guard lock(a->mutex);
        if (a->backend) a->backend->releaseAndUngrab();
    });
    if (options_.ownThread) {
        running_.store(true);
        thread_ = std::thread([this] {
            setCurrentThreadLabel("Vandrel.input");
            loopThread_ = std::this_thread::get_id();
            runLoop();
        });
    }
    return hasOutput_.load();
}

void InputBackend::stop()
{
    if (!started_.load()) return;
    {
        std::lock_guard lock(watchdogMutex_);
        watchdog_.dispose();
    }
    InputSignalGuard::removeCleanup(cleanupId_);
    if (thread_.joinable()) {
        enqueue([this] { running_.store(false); });
        thread_.join();
    }
    if (!shutDown_.load()) shutDownOnInputThread();
    {
        std::lock_guard lock(devicesMutex_);
        for (const auto& d : devices_) InputSignalGuard::unregisterEmergencyFd(d->fd.get());
        devices_.clear();
    }
    std::lock_guard lock(outputMutex_);
    if (output_) InputSignalGuard::unregisterEmergencyFd(output_->fd());
    writer_.reset();
    output_.reset();
    hasOutput_.store(false);
    started_.store(false);
}

void InputBackend::runLoop()
{
    while (running_.load()) handleReady(-1);
}

void InputBackend::pump(int timeoutMs)
{
    if (!started_.load() || options_.ownThread) return;
    loopThread_ = std::this_thread::get_id();
    if (!handleReady(timeoutMs)) return;
    // Whatever the first round made ready (commands it queued, more input) runs too.
    for (int i = 0; i < 10000 && handleReady(0); ++i) {
    }
}

template <class Work>
void InputBackend::guarded(Work&& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        log.error("The input thread failed; every keyboard is let go ->", e.what());
        shutDownOnInputThread();
    } catch (...) {
        log.error("The input thread failed; every keyboard is let go");
        shutDownOnInputThread();
    }
}

int InputBackend::outputTimeoutMs(int timeoutMs)
{
    rx::TimePoint due;
    {
        std::lock_guard lock(outputMutex_);
        if (!writer_ || outputBroken_ || !writer_->hasPending()) return timeoutMs;
        due = writer_->nextStrokeAt();
    }
    const rx::TimePoint now = options_.scheduler->now();
    const int ms = due <= now ? 0 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
    return timeoutMs < 0 ? ms : std::min(ms, timeoutMs);
}

bool InputBackend::handleReady(int timeoutMs)
{
    epoll_event events[16];
    const int n = ::epoll_wait(epoll_.get(), events, 16, outputTimeoutMs(timeoutMs));
    if (n <= 0) {
        // Nothing came: the next chunk of a long write may be due.
        guarded([this] { flushOutput(); });
        return false;
    }
    busySince_.store(options_.scheduler->now().time_since_epoch().count());
    armWatchdog(options_.stallLimit);
    guarded([&] {
        for (int i = 0; i < n; ++i) {
            const std::uint64_t id = events[i].data.u64;
            if (id == kWakeId) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto r = ::read(wake_.get(), &count, sizeof count);
                runCommands();
            } else if (id == kOutputId) {
                readOutput();
            } else if (id == kHotplugId) {
                readHotplug();
            } else {
                std::shared_ptr<Device> device;
                {
                    std::lock_guard lock(devicesMutex_);
                    for (const auto& d : devices_)
                        if (d->id == id) device = d;
                }
                if (!device) continue;
                if (events[i].events & EPOLLIN)
                    readDevice(*device);
                else if (events[i].events & (EPOLLHUP | EPOLLERR))
                    removeDevice(id, "hung up");
            }
        }
        // What this round passed and posted goes out together, as far as the pacing allows.
        flushOutput();
    });
    busySince_.store(kIdle);
    return true;
}

void InputBackend::enqueue(std::function<void()> command)
{
    {
        std::lock_guard lock(commandMutex_);
        commands_.push_back(std::move(command));
    }
    const std::uint64_t one = 1;
    if (wake_) [[maybe_unused]]
        auto r = ::write(wake_.get(), &one, sizeof one);
}

namespace {
// Runs jobs on the backend's input thread; a disposed job is skipped when its turn comes.
class InputThreadScheduler final : public rx::Scheduler {
public:
    using Enqueue = std::function<void(std::function<void()>)>;
    InputThreadScheduler(Enqueue enqueue, rx::SchedulerPtr timer)
        : enqueue_(std::move(enqueue)), timer_(std::move(timer))
    {
    }

    rx::TimePoint now() const override
    {
        return timer_ ? timer_->now() : std::chrono::time_point_cast<rx::Duration>(std::chrono::steady_clock::now());
    }

    rx::Disposable schedule(std::function<void()> work) override
    {
        auto cancelled = std::make_shared<std::atomic<bool>>(false);
        enqueue_([cancelled, work = std::move(work)] {
            if (!cancelled->load()) work();
        });
        return rx::Disposable::create([cancelled] { cancelled->store(true); });
    }

    rx::Disposable scheduleAfter(rx::Duration delay, std::function<void()> work) override
    {
        // Without a timer (a backend driven by hand) a delay cannot be kept; run at the next turn.
        if (delay <= rx::Duration::zero() || !timer_) return schedule(std::move(work));
        auto cancelled = std::make_shared<std::atomic<bool>>(false);
        rx::Disposable timer = timer_->scheduleAfter(delay, [enqueue = enqueue_, cancelled, work = std::move(work)] {
            if (cancelled->load()) return;
            enqueue([cancelled, work] {
                if (!cancelled->load()) work();
            });
        });
        return rx::Disposable::create([cancelled, timer] {
            cancelled->store(true);
            timer.dispose();
        });
    }

private:
    Enqueue enqueue_;
    rx::SchedulerPtr timer_;
};
}  // namespace

rx::SchedulerPtr InputBackend::inputThreadScheduler()
{
    std::weak_ptr<Alive> weakAlive = alive_;
    return std::make_shared<InputThreadScheduler>(
        [weakAlive](std::function<void()> job) {
            auto a = weakAlive.lock();
            if (!a) return;
            std::lock_guard lock(a->mutex);
            if (a->backend) a->backend->enqueue(std::move(job));
        },
        options_.scheduler);
}

void InputBackend::runCommands()
{
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(commandMutex_);
        batch.swap(commands_);
    }
    for (auto& command : batch) command();
}

// ---- Keyboards

void InputBackend::openNode(const std::string& path, rx::TimePoint firstAttempt)
{
    {
        std::lock_guard lock(devicesMutex_);
        for (const auto& d : devices_)
            if (d->path == path) return;
    }
    auto opened = options_.source->open(path);
    switch (opened.status) {
        case InputDeviceSource::OpenStatus::opened: {
            const auto verdict = opened.capabilities ? judgeInputDevice(*opened.capabilities)
                                                     : InputDeviceVerdict{false, "nothing known of it"};
            if (verdict.take) {
                leftOut_.erase(path);
                addDevice(path, std::move(opened), verdict.what);
                return;
            }
            // Hotplug reports a node again when its permissions change; say it once.
            if (auto& known = leftOut_[path]; known != verdict.what) {
                known = verdict.what;
                log.info("Input device left out ->", opened.name + " (" + path + "): " + verdict.what);
            }
            return;
        }
        case InputDeviceSource::OpenStatus::ignored:
            return;
        case InputDeviceSource::OpenStatus::unavailable:
            break;
    }
    if (options_.scheduler->now() - firstAttempt >= options_.openRetryWindow) {
        log.warning("An input device cannot be opened ->", path);
        return;
    }
    std::weak_ptr<Alive> alive = alive_;
    options_.scheduler->scheduleAfter(options_.openRetryInterval, [alive, path, firstAttempt] {
        auto a = alive.lock();
        if (!a) return;
        std::lock_guard lock(a->mutex);
        if (auto* self = a->backend) self->enqueue([self, path, firstAttempt] { self->openNode(path, firstAttempt); });
    });
}

void InputBackend::addDevice(const std::string& path, InputDeviceSource::Opened opened, const std::string& parts)
{
    auto device = std::make_shared<Device>();
    device->id = nextDeviceId_++;
    device->path = path;
    device->name = opened.name;
    device->fd = std::move(opened.fd);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = device->id;
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, device->fd.get(), &ev) != 0) {
        log.error("A keyboard cannot be watched ->", device->label());
        return;
    }
    {
        std::lock_guard lock(devicesMutex_);
        devices_.push_back(device);
    }
    InputSignalGuard::registerEmergencyFd(device->fd.get(), InputSignalGuard::EmergencyAction::ungrab);
    log.info("Keyboard found ->", device->label() + ": " + parts);
    if (wantGrab()) {
        device->pendingGrab = true;
        tryGrab(*device);
    }
}

void InputBackend::removeDevice(std::uint64_t id, const char* why)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(devicesMutex_);
        for (const auto& d : devices_)
            if (d->id == id) device = d;
    }
    if (!device) return;
    log.info("Keyboard gone ->", device->label() + ": " + why);
    // Whatever it held is let go, through the taps as a keyboard would, and on the output in any case.
    device->pendingGrab = false;
    for (std::size_t code = 0; code < KEY_CNT; ++code)
        if (device->raw[code] || device->held[code].valid)
            handleKey(*device, static_cast<std::uint16_t>(code), 0, true);
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, device->fd.get(), nullptr);
    InputSignalGuard::unregisterEmergencyFd(device->fd.get());
    std::lock_guard lock(devicesMutex_);
    device->grabbed.store(false);
    std::erase(devices_, device);
}

void InputBackend::readDevice(Device& device)
{
    char bytes[kReadBatch * sizeof(input_event)];
    std::memcpy(bytes, device.partial.data(), device.partialSize);
    const ssize_t n = ::read(device.fd.get(), bytes + device.partialSize, sizeof bytes - device.partialSize);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return;
        removeDevice(device.id, std::strerror(errno));
        return;
    }
    if (n == 0) {
        removeDevice(device.id, "closed");
        return;
    }
    const std::size_t total = device.partialSize + static_cast<std::size_t>(n);
    const std::size_t count = total / sizeof(input_event);
    for (std::size_t i = 0; i < count; ++i) {
        input_event ev;
        std::memcpy(&ev, bytes + i * sizeof(input_event), sizeof ev);
        takeInputEvent(device, ev);
    }
    device.partialSize = total % sizeof(input_event);
    std::memcpy(device.partial.data(), bytes + count * sizeof(input_event), device.partialSize);
}

void InputBackend::takeInputEvent(Device& device, const input_event& ev)
{
    if (openBarriers_.empty() && heldEvents_.empty()) {
        handleInputEvent(device, ev);
        return;
    }
    heldEvents_.push_back({device.id, ev});
}

void InputBackend::handleInputEvent(Device& device, const input_event& ev)
{
    if (ev.type == EV_SYN) {
        if (ev.code == SYN_DROPPED) {
            device.dropping = true;
        } else if (ev.code == SYN_REPORT && device.dropping) {
            device.dropping = false;
            resync(device);
        }
        return;
    }
    if (device.dropping || ev.type != EV_KEY) return;
    handleKey(device, ev.code, ev.value);
}

void InputBackend::resync(Device& device)
{
    // The kernel dropped events; what is down now is the truth.
    const auto keys = options_.source->keysDown(device.fd.get());
    if (!keys) return;
    for (std::size_t code = 0; code < KEY_CNT; ++code) {
        if (device.raw[code] && !(*keys)[code])
            handleKey(device, static_cast<std::uint16_t>(code), 0);
        else if (!device.raw[code] && (*keys)[code])
            handleKey(device, static_cast<std::uint16_t>(code), 1);
    }
}

void InputBackend::countModifier(std::uint16_t virtualKeyCode, int delta)
{
    const int index = modifierIndex(virtualKeyCode);
    if (index < 0) return;
    modifierCounts_[index] = std::max(0, modifierCounts_[index] + delta);
}

std::uint64_t InputBackend::currentFlags() const
{
    std::uint64_t flags = capsLockOn_.load(std::memory_order_relaxed) ? EventFlags::maskAlphaShift : 0;
    for (int i = 0; i < 5; ++i)
        if (modifierCounts_[i] > 0) flags |= kModifierMasks[i];
    return flags;
}

KeyEvent InputBackend::makeEvent(KeyEventType type, std::uint16_t keyCode, std::uint64_t flags) const
{
    KeyEvent event;
    event.type = type;
    event.keyCode = keyCode;
    event.flags = flags;
    event.timestamp = options_.scheduler->now();
    return event;
}

bool InputBackend::passingThrough()
{
    const bool on = options_.passThrough && options_.passThrough();
    if (on != passingThrough_) {
        passingThrough_ = on;
        log.info(on ? "Secure input is on: key events pass through untouched"
                    : "Secure input is off: key events go through the taps again");
    }
    return on;
}

TapResult InputBackend::dispatch(KeyEvent& event)
{
    if (passingThrough()) return TapResult::pass;
    const auto list = hub_->snapshot(event.type);
    for (const auto& tap : *list) {
        if (!tap->enabled.load(std::memory_order_relaxed)) continue;
        TapResult result = TapResult::pass;
        try {
            result = tap->callback(event);
        } catch (const std::exception& e) {
            log.error("A tap callback failed; the event goes on ->", e.what());
        }
        if (result == TapResult::swallow) return TapResult::swallow;
    }
    return TapResult::pass;
}

void InputBackend::handleKey(Device& device, std::uint16_t code, std::int32_t value, bool keyboardGone)
{
    if (code >= KEY_CNT) return;
    auto& held = device.held[code];
    if (value == 1 && device.raw[code] && held.valid) value = 2;
    if (value == 1)
        device.raw.set(code);
    else if (value == 0)
        device.raw.reset(code);

    const auto physical = KeyCodeTable::virtualKeyCode(code);
    if (value != 2 && physical && observing_.load(std::memory_order_relaxed)) {
        if (const auto usage = HidUsage::usageForKeyCode(*physical))
            reports_.onNext(HidKeyReport{HidUsage::keyboardPage, *usage, value != 0 ? 1 : 0});
    }
    const bool grabbed = device.grabbed.load();

    if (value == 1) {
        const std::uint16_t mapped =
            physical ? (*physical < mapping_.size() ? mapping_[*physical] : *physical) : kNoKey;
        held = Device::Held{true, mapped, false, false, 0, 0};
        if (physical) countModifier(mapped, +1);
        if (!grabbed) return;
        auto press = [&](std::uint16_t outCode) {
            std::uint64_t generation = 0;
            if (write([&](UinputWriter& w) {
                    generation = w.generation();
                    w.userPress(outCode);
                })) {
                held.out = true;
                held.outCode = outCode;
                held.generation = generation;
            }
        };
        if (!physical) {
            press(code);  // a key the program cannot name goes straight through
            return;
        }
        KeyEventType type = KeyEventType::keyDown;
        std::uint64_t flags = currentFlags();
        const bool lockKey = mapped == VirtualKeyCode::capsLock;
        const bool lockAfter = !capsLockOn_.load();
        if (lockKey) {
            // The lock toggles on press; the event already shows the new state, as the desktop will.
            type = KeyEventType::flagsChanged;
            flags = lockAfter ? (flags | EventFlags::maskAlphaShift) : (flags & ~EventFlags::maskAlphaShift);
        } else if (VirtualKeyCode::isModifier(mapped)) {
            type = KeyEventType::flagsChanged;
        }
        KeyEvent event = makeEvent(type, mapped, flags);
        if (dispatch(event) == TapResult::swallow) {
            // The output still learns of it: a swallowed modifier is held by the user all the same, and any
            // other key holds the user's modifiers back until it is released.
            const std::uint16_t heldCode = mapped == *physical ? code : KeyCodeTable::evdevCode(mapped).value_or(code);
            std::uint64_t generation = 0;
            if (write([&](UinputWriter& w) {
                    generation = w.generation();
                    w.userHoldSwallowed(heldCode);
                })) {
                held.out = true;
                held.hold = !VirtualKeyCode::isModifier(mapped);
                held.outCode = heldCode;
                held.generation = generation;
            }
            return;
        }
        if (!device.grabbed.load()) return;
        if (lockKey && event.keyCode == VirtualKeyCode::capsLock) capsLockOn_.store(lockAfter);
        // Untouched, the key goes out as the physical key it is (a mapped Caps Lock stays Caps Lock for
        // the desktop); rewritten, as the key it was rewritten to.
        const auto outCode =
            event.keyCode == mapped ? std::optional<std::uint16_t>(code) : KeyCodeTable::evdevCode(event.keyCode);
        if (outCode) press(*outCode);
        return;
    }

    if (value == 0) {
        if (!held.valid) {
            // Down before we watched: its press went to the desktop, and so does its release.
            if (device.pendingGrab && !device.draining && device.raw.none()) tryGrab(device);
            return;
        }
        const Device::Held was = held;
        held = Device::Held{};
        if (physical) countModifier(was.mapped, -1);
        if (grabbed && physical && was.mapped != VirtualKeyCode::capsLock) {
            KeyEvent event =
                makeEvent(VirtualKeyCode::isModifier(was.mapped) ? KeyEventType::flagsChanged : KeyEventType::keyUp,
                          was.mapped, currentFlags());
            event.keyboardGone = keyboardGone;
            if (dispatch(event) == TapResult::swallow) write([](UinputWriter& w) { w.userEventSwallowed(); });
        }
        // Passed or not, a key that went down on the output comes up there.
        if (was.out) releaseOnOutput(was.hold, was.outCode, was.generation);
        if (device.pendingGrab && !device.draining && device.raw.none()) tryGrab(device);
        return;
    }

    // Auto-repeat.
    if (!held.valid || !grabbed) return;
    if (!physical) {
        if (held.out) write([&](UinputWriter& w) { w.userRepeat(held.outCode); });
        return;
    }
    if (VirtualKeyCode::isModifier(held.mapped) || held.mapped == VirtualKeyCode::capsLock) return;
    KeyEvent event = makeEvent(KeyEventType::keyDown, held.mapped, currentFlags());
    event.isAutoRepeat = true;
    if (dispatch(event) == TapResult::swallow) return;
    if (held.out && !held.hold)
        write([&](UinputWriter& w) {
            if (w.generation() == held.generation) w.userRepeat(held.outCode);
        });
}

void InputBackend::readHotplug()
{
    for (const auto& change : options_.source->readHotplug()) {
        if (change.added) {
            openNode(change.path, options_.scheduler->now());
            continue;
        }
        std::uint64_t id = 0;
        {
            std::lock_guard lock(devicesMutex_);
            for (const auto& d : devices_)
                if (d->path == change.path) id = d->id;
        }
        leftOut_.erase(change.path);
        if (id != 0) removeDevice(id, "removed");
    }
}

// ---- Grabbing

bool InputBackend::wantGrab() const
{
    return hasOutput_.load() && !outputBroken_ && !stalled_.load() && !shutDown_.load() &&
           (mappingActive_ || hub_->hasTaps());
}

void InputBackend::updateGrabs()
{
    const bool want = wantGrab();
    std::vector<std::shared_ptr<Device>> devices;
    {
        std::lock_guard lock(devicesMutex_);
        devices = devices_;
    }
    for (const auto& d : devices) {
        if (want) {
            // A keyboard another program holds is tried on its own schedule.
            if (!d->grabbed.load() && !d->retryScheduled) {
                d->pendingGrab = true;
                tryGrab(*d);
            }
        } else {
            d->pendingGrab = false;
            d->busySince.reset();
            if (d->grabbed.load()) ungrabDevice(*d);
        }
    }
}

void InputBackend::tryGrab(Device& device)
{
    if (!device.pendingGrab || device.grabbed.load()) return;
    if (!wantGrab()) {
        device.pendingGrab = false;
        return;
    }
    // Grabbing while a key is down would leave the desktop without its release: wait for it.
    if (device.raw.any()) return;
    if (const auto keys = options_.source->keysDown(device.fd.get()); keys && keys->any()) {
        device.raw |= *keys;
        return;
    }
    switch (options_.source->grab(device.fd.get(), true)) {
        case InputDeviceSource::GrabResult::done:
            break;
        case InputDeviceSource::GrabResult::busy:
            grabBusy(device);
            return;
        case InputDeviceSource::GrabResult::failed:
            log.error("A keyboard cannot be grabbed ->", device.label() + ": " + std::strerror(errno));
            device.pendingGrab = false;
            device.busySince.reset();
            return;
    }
    drain(device);
    if (device.raw.any()) {
        // A key went down as we grabbed; the desktop has its press, so it must get its release too.
        options_.source->grab(device.fd.get(), false);
        return;
    }
    {
        std::lock_guard lock(devicesMutex_);
        device.grabbed.store(true);
    }
    device.pendingGrab = false;
    setDeviceLights(device);
    if (device.busySince) log.info("A keyboard another program held is free now and grabbed ->", device.label());
    device.busySince.reset();
    log.info("Keyboard grabbed ->", device.label());
}

void InputBackend::grabBusy(Device& device)
{
    const auto now = options_.scheduler->now();
    if (!device.busySince) {
        device.busySince = now;
        device.busyDelay = options_.grabRetryFirst;
        log.warning("Another program holds a keyboard; trying again for a minute ->", device.label());
    }
    if (device.retryScheduled) return;
    if (now - *device.busySince >= options_.grabRetryWindow) {
        log.error("Another program kept a keyboard; it is left to that program ->", device.label());
        device.pendingGrab = false;
        device.busySince.reset();
        return;
    }
    device.retryScheduled = true;
    const auto delay = device.busyDelay;
    device.busyDelay = std::min(device.busyDelay * 2, options_.grabRetryLongest);
    std::weak_ptr<Alive> alive = alive_;
    const std::uint64_t id = device.id;
    options_.scheduler->scheduleAfter(delay, [alive, id] {
        auto a = alive.lock();
        if (!a) return;
        std::lock_guard lock(a->mutex);
        auto* self = a->backend;
        if (!self) return;
        self->enqueue([self, id] {
            std::shared_ptr<Device> device;
            {
                std::lock_guard lock(self->devicesMutex_);
                for (const auto& d : self->devices_)
                    if (d->id == id) device = d;
            }
            if (!device) return;
            device->retryScheduled = false;
            self->tryGrab(*device);
        });
    });
}

void InputBackend::drain(Device& device)
{
    device.draining = true;
    for (int i = 0; i < 64; ++i) {
        char bytes[kReadBatch * sizeof(input_event)];
        const ssize_t n = ::read(device.fd.get(), bytes, sizeof bytes);
        if (n <= 0) break;
        for (std::size_t k = 0; k + sizeof(input_event) <= static_cast<std::size_t>(n); k += sizeof(input_event)) {
            input_event ev;
            std::memcpy(&ev, bytes + k, sizeof ev);
            if (ev.type == EV_KEY) handleKey(device, ev.code, ev.value);
        }
    }
    device.partialSize = 0;
    device.draining = false;
}

void InputBackend::ungrabDevice(Device& device)
{
    for (auto& held : device.held) {
        if (!held.valid || !held.out) continue;
        const Device::Held was = held;
        held.out = false;
        releaseOnOutput(was.hold, was.outCode, was.generation);
    }
    flushOutput(true);
    options_.source->grab(device.fd.get(), false);
    std::lock_guard lock(devicesMutex_);
    device.grabbed.store(false);
    log.info("Keyboard let go ->", device.label());
}

void InputBackend::setDeviceLights(Device& device)
{
    if (!lightsKnown_) return;
    input_event events[4]{};
    for (int i = 0; i < 3; ++i) {
        events[i].type = EV_LED;
        events[i].code = static_cast<std::uint16_t>(LED_NUML + i);
        events[i].value = lights_[i];
    }
    events[3].type = EV_SYN;
    events[3].code = SYN_REPORT;
    [[maybe_unused]] auto r = ::write(device.fd.get(), events, sizeof events);
}

// ---- Output

void InputBackend::releaseOnOutput(bool hold, std::uint16_t outCode, std::uint64_t generation)
{
    write([&](UinputWriter& w) {
        if (w.generation() != generation) return;
        if (hold)
            w.userHoldEnded();
        else
            w.userRelease(outCode);
    });
}

template <class Op>
bool InputBackend::write(Op&& op)
{
    std::lock_guard lock(outputMutex_);
    if (!writer_ || outputBroken_) return false;
    op(*writer_);
    return true;
}

void InputBackend::flushOutput(bool everything)
{
    {
        std::lock_guard lock(outputMutex_);
        if (!writer_ || outputBroken_) return;
        // Posted strokes may have changed the modifiers: the stroke's go up, the user's come back unless a hold
        // keeps them back.
        writer_->restoreModifiers();
        if (everything ? writer_->flushAll() : writer_->flush(options_.scheduler->now())) return;
        outputBroken_ = true;
    }
    outputFailed();
}

void InputBackend::outputFailed()
{
    log.error("Writing to the virtual keyboard failed; every keyboard is let go ->", std::strerror(errno));
    hub_->disableAll();
    std::vector<std::shared_ptr<Device>> devices;
    {
        std::lock_guard lock(devicesMutex_);
        devices = devices_;
    }
    for (const auto& d : devices) {
        d->pendingGrab = false;
        if (d->grabbed.load()) ungrabDevice(*d);
    }
}

void InputBackend::readOutput()
{
    input_event events[kReadBatch];
    const ssize_t n = ::read(output_ ? output_->fd() : -1, events, sizeof events);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        // Nothing more will come from it; stop watching so the loop does not spin.
        if (output_) ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, output_->fd(), nullptr);
        return;
    }
    if (n < 0) return;
    bool changed = false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
        const auto& ev = events[i];
        if (ev.type != EV_LED || ev.code > LED_SCROLLL) continue;
        lights_[ev.code] = ev.value;
        lightsKnown_ = true;
        changed = true;
        if (ev.code == LED_CAPSL) {
            capsLockOn_.store(ev.value != 0);
            capsLightKnown_.store(2);
        }
    }
    if (!changed) return;
    // The desktop lights our keyboard only; the grabbed ones show the same.
    std::vector<std::shared_ptr<Device>> devices;
    {
        std::lock_guard lock(devicesMutex_);
        devices = devices_;
    }
    for (const auto& d : devices)
        if (d->grabbed.load()) setDeviceLights(*d);
}

// ---- Safety

void InputBackend::watchdogCheck()
{
    // Disarmed before busySince_ is read: a round that starts meanwhile either sees it disarmed and arms it,
    // or is seen here.
    watchdogArmed_.store(false);
    const std::int64_t since = busySince_.load();
    if (since == kIdle || stalled_.load()) return;
    const auto busyFor = options_.scheduler->now().time_since_epoch() - rx::Duration(since);
    if (busyFor > options_.stallLimit) {
        stall("an event has been in the taps for more than the limit");
        return;
    }
    armWatchdog(options_.stallLimit - busyFor + std::chrono::milliseconds(1));
}

void InputBackend::armWatchdog(rx::Duration after)
{
    if (!options_.scheduler || watchdogArmed_.exchange(true)) return;
    std::weak_ptr<Alive> alive = alive_;
    std::lock_guard lock(watchdogMutex_);
    watchdog_ = options_.scheduler->scheduleAfter(after, [alive] {
        auto a = alive.lock();
        if (!a) return;
        std::lock_guard lock(a->mutex);
        if (a->backend) a->backend->watchdogCheck();
    });
}

void InputBackend::stall(const char* why)
{
    if (stalled_.exchange(true)) return;
    log.error("The input path stalled; every keyboard is let go and the taps are disabled ->", why);
    hub_->disableAll();
    {
        std::lock_guard lock(devicesMutex_);
        for (const auto& d : devices_) {
            if (!d->grabbed.load()) continue;
            options_.source->grab(d->fd.get(), false);
            d->grabbed.store(false);
        }
    }
    // The input thread may hold the output in the middle of a write; it then lets its keys go itself.
    std::unique_lock lock(outputMutex_, std::try_to_lock);
    if (lock.owns_lock() && writer_ && !outputBroken_) {
        writer_->releaseAll();
        writer_->flushAll();
    }
}

void InputBackend::onTapEnabled()
{
    if (stalled_.exchange(false)) {
        log.info("A tap is enabled again; keyboards are grabbed again");
        enqueue([this] { updateGrabs(); });
    }
}

void InputBackend::shutDownOnInputThread()
{
    shutDown_.store(true);
    std::vector<std::shared_ptr<Device>> devices;
    {
        std::lock_guard lock(devicesMutex_);
        devices = devices_;
    }
    for (const auto& d : devices) {
        d->pendingGrab = false;
        if (d->grabbed.load()) ungrabDevice(*d);
    }
    write([](UinputWriter& w) { w.releaseAll(); });
    flushOutput(true);
}

void InputBackend::releaseAndUngrab()
{
    if (!started_.load() || shutDown_.load()) return;
    if (!running_.load() || std::this_thread::get_id() == loopThread_) {
        shutDownOnInputThread();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    enqueue([this, done] {
        shutDownOnInputThread();
        done->set_value();
    });
    if (future.wait_for(std::chrono::seconds(1)) == std::future_status::ready) return;
    // The input thread does not answer: do what can be done from here.
    shutDown_.store(true);
    stall("the input thread did not answer the shutdown");
}

// ---- Requests from other threads

std::shared_ptr<EventTap> InputBackend::createTap(KeyEventType type, TapCallback callback, TapPlacement placement)
{
    if (!callback || !hasOutput_.load()) return nullptr;
    auto entry = std::make_shared<TapHub::Entry>();
    entry->type = type;
    entry->callback = std::move(callback);
    hub_->add(entry, placement);
    return std::make_shared<Tap>(entry, hub_);
}

bool InputBackend::post(std::vector<EvdevStroke> strokes)
{
    if (!hasOutput_.load() || shutDown_.load()) return false;
    if (onInputThread()) {
        // From a tap or a job on the input thread: behind everything already queued, before any event read
        // later. The round's end puts the user's modifiers back and writes it.
        return write([&](UinputWriter& w) {
            for (const auto& stroke : strokes) w.postStroke(stroke);
        });
    }
    enqueue([this, strokes = std::move(strokes)] {
        for (const auto& stroke : strokes)
            if (!write([&](UinputWriter& w) { w.postStroke(stroke); })) return;
    });
    return true;
}

// ---- Order barriers

class InputBackend::Barrier final : public OrderBarrier {
public:
    Barrier(std::weak_ptr<Alive> alive, std::uint64_t id) : alive_(std::move(alive)), id_(id) {}
    ~Barrier() override { release(); }
    void release() override
    {
        if (released_.exchange(true)) return;
        auto a = alive_.lock();
        if (!a) return;
        std::lock_guard lock(a->mutex);
        // Behind the commands already queued: the strokes the action posted go out first.
        if (auto* self = a->backend) self->enqueue([self, id = id_] { self->closeOrderBarrier(id, false); });
    }

private:
    const std::weak_ptr<Alive> alive_;
    const std::uint64_t id_;
    std::atomic<bool> released_{false};
};

std::shared_ptr<OrderBarrier> InputBackend::openOrderBarrier()
{
    if (!hasOutput_.load() || shutDown_.load()) return nullptr;
    const std::uint64_t id = ++nextBarrierId_;
    openBarriers_.push_back(id);
    std::weak_ptr<Alive> alive = alive_;
    options_.scheduler->scheduleAfter(OrderBarrier::maxHold, [alive, id] {
        auto a = alive.lock();
        if (!a) return;
        std::lock_guard lock(a->mutex);
        if (auto* self = a->backend) self->enqueue([self, id] { self->closeOrderBarrier(id, true); });
    });
    return std::make_shared<Barrier>(alive_, id);
}

void InputBackend::closeOrderBarrier(std::uint64_t id, bool timedOut)
{
    const auto open = std::find(openBarriers_.begin(), openBarriers_.end(), id);
    if (open == openBarriers_.end()) return;
    openBarriers_.erase(open);
    if (timedOut)
        log.warning("An action on the main thread has not finished for 500 ms; the keys typed after it go on ->",
                    heldEvents_.size());
    if (replayingHeld_) return;
    replayingHeld_ = true;
    while (openBarriers_.empty() && !heldEvents_.empty()) {
        const HeldEvent next = heldEvents_.front();
        heldEvents_.pop_front();
        std::shared_ptr<Device> device;
        {
            std::lock_guard lock(devicesMutex_);
            for (const auto& d : devices_)
                if (d->id == next.device) device = d;
        }
        if (device) handleInputEvent(*device, next.event);
    }
    replayingHeld_ = false;
    flushOutput();
}

bool InputBackend::postAtHidLocation(const KeyEvent& event)
{
    if (!hasOutput_.load() || shutDown_.load()) return false;
    enqueue([this, event] {
        KeyEvent copy = event;
        if (dispatch(copy) == TapResult::swallow) return;
        const auto strokes = PostingTranslator::translateRecorded(copy);
        if (!strokes) return;
        for (const auto& stroke : *strokes)
            if (!write([&](UinputWriter& w) { w.postStroke(stroke); })) return;
    });
    return true;
}

void InputBackend::setKeyMapping(std::map<std::uint16_t, std::uint16_t> mapping)
{
    enqueue([this, mapping = std::move(mapping)] {
        for (std::size_t i = 0; i < mapping_.size(); ++i) mapping_[i] = static_cast<std::uint16_t>(i);
        bool active = false;
        for (const auto& [src, dst] : mapping) {
            if (src >= mapping_.size() || src == dst) continue;
            mapping_[src] = dst;
            active = true;
        }
        mappingActive_ = active;
        updateGrabs();
    });
}

std::optional<bool> InputBackend::capsLockLight()
{
    if (capsLightKnown_.load() == 2) return capsLockOn_.load();
    std::lock_guard lock(devicesMutex_);
    for (const auto& d : devices_) {
        if (const auto lit = options_.source->capsLockLed(d->fd.get())) {
            capsLockOn_.store(*lit);
            return lit;
        }
    }
    return std::nullopt;
}

std::size_t InputBackend::keyboardCount() const
{
    std::lock_guard lock(devicesMutex_);
    return devices_.size();
}

bool InputBackend::isOutputKeyDown(std::uint16_t code)
{
    std::lock_guard lock(outputMutex_);
    return writer_ && writer_->isDown(code);
}

std::vector<std::string> InputBackend::grabbedPaths() const
{
    std::lock_guard lock(devicesMutex_);
    std::vector<std::string> paths;
    for (const auto& d : devices_)
        if (d->grabbed.load()) paths.push_back(d->path);
    return paths;
}

}  // namespace vandrel
