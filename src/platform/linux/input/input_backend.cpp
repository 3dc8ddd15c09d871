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
#include "platform/linux/input/input_signal_guard.h"
#include "platform/linux/input/key_code_table.h"

namespace vandrel {

namespace {

// Tags of the loop's own descriptors in epoll; a keyboard's tag is its address.
constexpr std::uint64_t kWakeTag = 0;
constexpr std::uint64_t kOutputTag = 1;
constexpr std::uint64_t kHotplugTag = 2;
constexpr std::int64_t kIdle = std::numeric_limits<std::int64_t>::min();
constexpr int kReadyBatch = 16;
// Events one turn takes: what two keyboards' kernel buffers hold after a stall, many times over.
constexpr std::size_t kTurnEvents = 1024;

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

// Lets timer jobs reach the backend only while it lives.
struct InputBackend::Alive {
    std::mutex mutex;
    InputBackend* backend = nullptr;
};

InputBackend::InputBackend(Options options)
    : options_(std::move(options)),
      hub_(TapHub::make()),
      alive_(std::make_shared<Alive>()),
      epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      machine_(hub_)
{
    alive_->backend = this;
    turnBuffer_ = std::make_unique<input_event[]>(kTurnEvents);
    turnEvents_ = std::span(turnBuffer_.get(), kTurnEvents);
    runs_.reserve(kReadyBatch);
    gone_.reserve(kReadyBatch);
    keyboards_ =
        std::make_unique<InputKeyboards>(InputKeyboards::Options{.source = options_.source,
                                                                 .clock = options_.scheduler,
                                                                 .inputThread = inputThreadScheduler(),
                                                                 .epoll = epoll_.get(),
                                                                 .openRetryWindow = options_.openRetryWindow,
                                                                 .openRetryInterval = options_.openRetryInterval,
                                                                 .grabRetryFirst = options_.grabRetryFirst,
                                                                 .grabRetryLongest = options_.grabRetryLongest,
                                                                 .grabRetryWindow = options_.grabRetryWindow,
                                                                 .wantGrab = [this] { return wantGrab(); },
                                                                 .flushAll = [this] { flushOutput({}, true); }},
                                         machine_);
    hub_->setObservers([this] { enqueue([this] { keyboards_->updateGrabs(wantGrab()); }); },
                       [this] { onTapEnabled(); });
}

InputBackend::~InputBackend()
{
    hub_->setObservers(nullptr, nullptr);
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
    if (!epoll_ || !wake_) {
        log.error("The input loop cannot be set up ->", std::strerror(errno));
        return false;
    }
    auto watch = [this](int fd, std::uint64_t tag) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = tag;
        return ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &ev) == 0;
    };
    watch(wake_.get(), kWakeTag);

    if (!openOutput()) log.error("The virtual keyboard cannot be made; no keyboard will be grabbed");
    if (options_.source) {
        if (int fd = options_.source->hotplugFd(); fd >= 0)
            watch(fd, kHotplugTag);
        else
            log.warning("Keyboards plugged in later will not be seen");
        keyboards_->openAll(options_.scheduler->now());
    }
    // Started while another session has the seat: let go at once, before the loop runs.
    if (!sessionActive()) applySession();

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
    keyboards_->closeAll();
    closeOutput();
    hasOutput_.store(false);
    started_.store(false);
}

bool InputBackend::openOutput()
{
    auto device = options_.makeOutput ? options_.makeOutput() : nullptr;
    if (!device) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kOutputTag;
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, device->fd(), &ev);
    InputSignalGuard::registerEmergencyFd(device->fd(), InputSignalGuard::EmergencyAction::destroyUinput);
    std::lock_guard lock(outputLifeMutex_);
    output_ = std::make_unique<OutputKeyboard>(std::move(device));
    machine_.setWriter(&output_->writer());
    hasOutput_.store(true);
    return true;
}

void InputBackend::closeOutput()
{
    if (!output_) return;
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, output_->fd(), nullptr);
    InputSignalGuard::unregisterEmergencyFd(output_->fd());
    std::lock_guard lock(outputLifeMutex_);
    machine_.setWriter(nullptr);
    output_.reset();
}

// ---- The session

void InputBackend::followSession()
{
    enqueue([this] { applySession(); });
}

void InputBackend::applySession()
{
    const bool active = sessionActive();
    if (shutDown_.load() || active != sessionAway_) return;  // as it should be already
    sessionAway_ = !active;
    if (!active) {
        log.info("The session is inactive; every keyboard is let go and closed, the virtual keyboard removed");
        // Through the taps as an unplug: every key held goes up there and on the output, Caps holds end.
        keyboards_->closeForNow("the session is inactive");
        if (output_ && !output_->broken()) output_->writer().releaseAll();
        flushOutput({}, true);
        // hasOutput_ stays: the taps and the key mapping are kept for the session's return.
        closeOutput();
        return;
    }
    log.info("The session is active again; the virtual keyboard is made and the keyboards opened");
    if (!openOutput()) log.error("The virtual keyboard cannot be made; no keyboard will be grabbed");
    if (options_.source) keyboards_->reopen(options_.scheduler->now());
}

// ---- The loop

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

bool InputBackend::handleReady(int timeoutMs)
{
    // The clock is read before waiting only while paced output waits.
    if (output_ && output_->hasPending()) timeoutMs = output_->timeoutMs(timeoutMs, options_.scheduler->now());
    epoll_event ready[kReadyBatch];
    const int n = ::epoll_wait(epoll_.get(), ready, kReadyBatch, timeoutMs);
    if (n <= 0) {
        // Nothing came: the next chunk of a long write may be due.
        if (output_ && output_->hasPending()) guarded([&] { flushOutput(options_.scheduler->now()); });
        return false;
    }
    const rx::TimePoint now = options_.scheduler->now();
    busySince_.store(now.time_since_epoch().count());
    armWatchdog(options_.stallLimit);
    guarded([&] { runTurn(ready, n, now); });
    busySince_.store(kIdle);
    return true;
}

void InputBackend::runTurn(const epoll_event* ready, int count, rx::TimePoint now)
{
    bool commands = false;
    bool lights = false;
    bool hotplug = false;
    std::size_t taken = 0;
    runs_.clear();
    gone_.clear();
    machine_.beginTurn(passThrough());
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const timeval stamp{static_cast<time_t>(micros / 1'000'000), static_cast<suseconds_t>(micros % 1'000'000)};
    for (int i = 0; i < count; ++i) {
        const std::uint64_t tag = ready[i].data.u64;
        if (tag == kWakeTag) {
            commands = true;
        } else if (tag == kOutputTag) {
            lights = true;
        } else if (tag == kHotplugTag) {
            hotplug = true;
        } else {
            auto* keyboard = static_cast<Keyboard*>(ready[i].data.ptr);
            InputKeyboards::Read read{0, "hung up"};
            if (ready[i].events & EPOLLIN) read = keyboards_->read(*keyboard, turnEvents_.subspan(taken), stamp);
            if (read.count > 0) runs_.push_back({keyboard, turnEvents_.subspan(taken, read.count)});
            taken += read.count;
            if (read.gone) gone_.emplace_back(keyboard, read.gone);
        }
    }
    // Commands first: a mapping set, or a barrier released, before these keys were typed holds for them.
    if (commands) runCommands();
    if (lights) readLights();
    forEachInTimeOrder<Keyboard>(
        runs_, [this](Keyboard& keyboard, const input_event& event) { takeInputEvent(keyboard, event); });
    for (const auto& [keyboard, why] : gone_) keyboards_->remove(*keyboard, why);
    if (hotplug) keyboards_->readHotplug(now);
    // What this turn passed and posted goes out together, as far as the pacing allows.
    flushOutput(now);
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

void InputBackend::runCommands()
{
    std::uint64_t count = 0;
    [[maybe_unused]] auto r = ::read(wake_.get(), &count, sizeof count);
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(commandMutex_);
        batch.swap(commands_);
    }
    for (auto& command : batch) command();
}

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

void InputBackend::readLights()
{
    if (!output_) return;
    switch (output_->readLights()) {
        case OutputKeyboard::Lights::gone:
            // Nothing more will come from it; stop watching so the loop does not spin.
            ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, output_->fd(), nullptr);
            return;
        case OutputKeyboard::Lights::unchanged:
            return;
        case OutputKeyboard::Lights::changed:
            break;
    }
    if (const auto caps = output_->capsLockLight()) machine_.setCapsLock(*caps);
    keyboards_->showLights(*output_->lights());
}

// ---- Output and grabs

bool InputBackend::wantGrab() const
{
    return hasOutput_.load() && output_ && !output_->broken() && !stalled_.load() && !shutDown_.load() &&
           (machine_.mappingActive() || hub_->hasTaps());
}

void InputBackend::flushOutput(rx::TimePoint now, bool everything)
{
    if (!output_ || output_->broken()) return;
    if (!output_->flush(now, everything)) outputFailed();
}

void InputBackend::outputFailed()
{
    log.error("Writing to the virtual keyboard failed; every keyboard is let go ->", std::strerror(errno));
    hub_->disableAll();
    keyboards_->letAllGo();
}

bool InputBackend::isOutputKeyDown(std::uint16_t code)
{
    std::lock_guard lock(outputLifeMutex_);
    return output_ && output_->isKeyDown(code);
}

std::optional<bool> InputBackend::capsLockLight()
{
    {
        std::lock_guard lock(outputLifeMutex_);
        if (output_)
            if (const auto lit = output_->capsLockLight()) return lit;
    }
    const auto lit = keyboards_->capsLockLed();
    if (lit) machine_.setCapsLock(*lit);
    return lit;
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
    keyboards_->ungrabNow();
    // The input thread may be stuck anywhere: the output's keys go up by a write of our own, and the input
    // thread, should it come back, first releases what it still believes down.
    std::lock_guard lock(outputLifeMutex_);
    if (output_ && !output_->broken()) output_->emergencyRelease();
}

void InputBackend::onTapEnabled()
{
    if (stalled_.exchange(false)) {
        log.info("A tap is enabled again; keyboards are grabbed again");
        enqueue([this] { keyboards_->updateGrabs(wantGrab()); });
    }
}

void InputBackend::shutDownOnInputThread()
{
    shutDown_.store(true);
    keyboards_->letAllGo();
    if (output_ && !output_->broken()) output_->writer().releaseAll();
    flushOutput({}, true);
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
    return hub_->add(type, std::move(callback), placement);
}

bool InputBackend::post(std::vector<EvdevStroke> strokes)
{
    if (!hasOutput_.load() || shutDown_.load()) return false;
    if (onInputThread()) {
        // From a tap or a job on the input thread: behind everything already queued, before any event taken
        // later. The turn's end puts the user's modifiers back and writes it.
        if (!writable()) return false;
        for (const auto& stroke : strokes) output_->writer().postStroke(stroke);
        return true;
    }
    enqueue([this, strokes = std::move(strokes)] {
        if (!writable()) return;
        for (const auto& stroke : strokes) output_->writer().postStroke(stroke);
    });
    return true;
}

bool InputBackend::postAtHidLocation(const KeyEvent& event)
{
    if (!hasOutput_.load() || shutDown_.load()) return false;
    enqueue([this, event] {
        KeyEvent copy = event;
        if (machine_.dispatch(copy) == TapResult::swallow) return;
        const auto strokes = PostingTranslator::translateRecorded(copy);
        if (!strokes || !writable()) return;
        for (const auto& stroke : *strokes) output_->writer().postStroke(stroke);
    });
    return true;
}

void InputBackend::setKeyMapping(std::map<std::uint16_t, std::uint16_t> mapping)
{
    enqueue([this, mapping = std::move(mapping)] {
        machine_.setMapping(mapping);
        keyboards_->updateGrabs(wantGrab());
    });
}

void InputBackend::setObservingKeys(bool observing)
{
    enqueue([this, observing] {
        observing_ = observing;
        machine_.setObservedKeys(observing_ ? observedKeys_ : KeyBits());
    });
}

void InputBackend::setObservedKeys(std::vector<std::uint32_t> usages)
{
    KeyBits codes;
    for (const std::uint32_t usage : usages) {
        const auto virtualCode = HidUsage::keyCodeForUsage(usage);
        const auto code = virtualCode ? KeyCodeTable::evdevCode(*virtualCode) : std::nullopt;
        if (code && *code < KEY_CNT) codes.set(*code);
    }
    enqueue([this, codes] {
        observedKeys_ = codes;
        machine_.setObservedKeys(observing_ ? observedKeys_ : KeyBits());
    });
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
        log.warning(
            "Keys waited 500 ms behind an action (a busy main thread, or a paste nobody fetched); they go on ->",
            heldEvents_.size());
    if (replayingHeld_) return;
    replayingHeld_ = true;
    while (openBarriers_.empty() && !heldEvents_.empty()) {
        const HeldEvent next = heldEvents_.front();
        heldEvents_.pop_front();
        if (Keyboard* keyboard = keyboards_->byId(next.keyboard)) keyboards_->take(*keyboard, next.event);
    }
    replayingHeld_ = false;
    flushOutput(options_.scheduler->now());
}

}  // namespace vandrel
