// The keyboard path of the Linux backend, run on its own input thread:
//
//   keyboards (/dev/input/event* judged keyboard parts, grabbed)  --read-->  raw key reports (before any mapping)
//        --> key mapping (Caps Lock sends F19 while mapped)  --> key-down / key-up / flags-changed taps
//        --> passed events written to the output keyboard (uinput), swallowed ones nowhere
//   posted strokes (from any thread)  --> written to the output keyboard after our taps
//
// The thread waits in epoll on the keyboards, the hotplug watch, the output keyboard (its lights) and an
// eventfd for commands from other threads. Keyboards are grabbed only while something needs them (a tap or
// a key mapping), only when none of their keys is down, and never while there is no output keyboard to
// write to. A watchdog on the injected scheduler lets every keyboard go when the thread stalls in a tap for
// longer than the limit; the taps then report disabled and enabling one grabs again. The watchdog is armed
// only while a round of work runs, so an idle loop wakes nobody.
//
// Events on the output keyboard: a key whose press went out is always released there when the keyboard
// releases it, even when a tap swallows the release, because a key left down on a Linux keyboard repeats
// for ever. Keys the program cannot name (media keys, PrintScreen ...) pass straight through.
//
// Order, by construction. Everything for the output keyboard (passed events, posted strokes) joins one queue
// on this thread, in the order of its causes. The engine delivers Caps combinations inside the tap callbacks,
// and an action that only posts keys runs right there (KeyEventDeliver): post() called on this thread queues
// its strokes at once, so they stand before every event read after the key that triggered the action. No
// event waits for another thread, and a busy GUI thread delays nothing. Strokes posted from other threads
// (actions that show UI or call services run on the main queue) join the queue when the loop takes the
// command, after the events read before it. Before such an action leaves the input thread the engine opens an
// order barrier (openOrderBarrier): the keyboards' events read after it wait, unseen by the taps, until the
// action has run and its strokes are queued, then go through the taps in the order they came. A barrier that
// is not released within 500 ms lets them go on (logged once), so a hung GUI thread costs the order, never
// the keyboard.
//
// The input thread never waits on anything but its devices. Its only blocking calls are epoll and the reads
// and writes of the keyboards, the output keyboard and the eventfd. What the taps and the actions they run
// need of the desktop comes from values other threads publish: the frontmost application and whether it is
// terminal-like (Workspace::frontmostSnapshot, kept by the window manager's active-window changes), the
// keyboard layout (published by its own watcher), the Caps Lock lock (toggled by typing Caps Lock on the
// output keyboard, not by asking the X server). The log queue drops a line rather than wait for room. Locks
// it shares with other threads are held only for a few memory operations. The stall watchdog stays the last
// resort: should the thread stall all the same, it lets every keyboard go.
//
// Pacing, only for actions. The kernel keeps 64 events per reader of the output keyboard, and a reader handed
// more than it can keep loses the rest. Keys typed on a keyboard are never paced: a physical keyboard cannot
// outrun its readers, and a fast typist, a barcode scanner or key repeat must not wait. An action's strokes
// go out like the fastest real keyboard types: its first eight at once, then one per millisecond
// (UinputWriter). The loop sleeps until the next stroke may go in epoll, so reading goes on meanwhile, and
// what is read behind pending strokes waits for them, in order. The pause is timed by the injected scheduler.
//
// Modifiers follow the hands. The backend tells the writer of every press, passed or swallowed: a modifier
// the user physically holds is down on the output whenever a key the user typed goes out, and already right
// after an action's strokes unless a hold is in progress (a swallowed key, Caps above all, still down); a
// modifier pressed or released during a hold reaches the output as the user left it when the hold ends, so a
// Ctrl+click right after a Caps action is a Ctrl+click. No lone modifier tap the user did not type ever
// reaches the output: a modifier that would go up alone after the taps swallowed something, or after we
// pressed it back, first gets a guard tap (UinputWriter).
//
// Cost. A passed key or a stroke-only action allocates nothing here and does no file I/O: the tap lists are
// snapshots, the queue keeps its capacity, and the logger writes its files on a thread of its own. (Arming the
// watchdog queues one small job, at most once per stall limit while keys come.) At rest the thread sleeps in
// epoll without a time-out unless timed work is pending: the next chunk of a paced write; new-node and grab
// retries wait on the injected scheduler, not here.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_tap.h"
#include "platform/hid_keyboard.h"
#include "platform/linux/input/input_device_source.h"
#include "platform/linux/input/input_output_device.h"
#include "platform/linux/input/posting_translator.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"

namespace vandrel {

class UinputWriter;

class InputBackend {
public:
    struct Options {
        std::shared_ptr<InputDeviceSource> source;
        // Makes the output keyboard at start; null when it cannot be made.
        std::function<std::unique_ptr<InputOutputDevice>()> makeOutput;
        // Watchdog looks, new-node retries, event time stamps and the pauses between chunks of a long write.
        rx::SchedulerPtr scheduler;
        rx::Duration stallLimit = std::chrono::seconds(1);
        // A new node that cannot be opened yet is tried again for this long.
        rx::Duration openRetryWindow = std::chrono::seconds(1);
        rx::Duration openRetryInterval = std::chrono::milliseconds(100);
        // A keyboard another program holds (its grab meets EBUSY) is tried again after the first delay, each
        // delay twice the last up to the longest, until the window has passed.
        rx::Duration grabRetryFirst = std::chrono::milliseconds(100);
        rx::Duration grabRetryLongest = std::chrono::seconds(5);
        rx::Duration grabRetryWindow = std::chrono::seconds(60);
        // False: no thread; the owner drives the loop with pump() (tests, benchmarks).
        bool ownThread = true;
        // Asked for every key event on the input thread (keep it cheap); while it answers true the taps see
        // nothing and every event goes out as the keyboard sent it. The secure-input state: the session is
        // locked and its lock screen must get the real keys. Null: never.
        std::function<bool()> passThrough;
    };

    explicit InputBackend(Options options);
    ~InputBackend();
    InputBackend(const InputBackend&) = delete;
    InputBackend& operator=(const InputBackend&) = delete;

    // Makes the output keyboard, opens the keyboards and starts the loop. Once only; false when the output
    // keyboard cannot be made: the keyboards are then read for raw key reports but never grabbed.
    bool start();
    bool isStarted() const { return started_.load(); }
    bool hasOutput() const { return hasOutput_.load(); }
    // Releases every key on the output, lets every keyboard go and ends the loop. Also run by the destructor.
    void stop();

    // Without a thread of its own: handles whatever is ready, waiting up to timeoutMs for the first of it,
    // then everything that follows until nothing is left.
    void pump(int timeoutMs = 0);

    // A tap for one event type; null when there is no output keyboard.
    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback, TapPlacement placement);

    // Writes posted strokes, in order, after everything already queued: on the input thread at once (before
    // any event read later), from another thread when the loop takes the command. Any thread. False when
    // there is no output keyboard.
    bool post(std::vector<EvdevStroke> strokes);
    // Runs an event through the taps as if a keyboard had sent it; when it passes it is written as given.
    bool postAtHidLocation(const KeyEvent& event);
    // Holds back the keyboards' events read from now on (see OrderBarrier). Input thread only; null without
    // an output keyboard.
    std::shared_ptr<OrderBarrier> openOrderBarrier();

    // The key mapping of the keyboards, as virtual key codes (source -> destination); a key mapped to
    // itself is unmapped. Applies to keys pressed after the call.
    void setKeyMapping(std::map<std::uint16_t, std::uint16_t> mapping);

    // Raw reports (usage page 7) of every physical key press and release, before mapping, once observing.
    void setObservingKeys(bool observing) { observing_.store(observing); }
    rx::Observable<HidKeyReport> keyReports() { return reports_.asObservable(); }

    // The Caps Lock light as the desktop last set it on the output keyboard, else as a grabbed keyboard
    // shows it; absent when neither is known.
    std::optional<bool> capsLockLight();

    // Lets every keyboard go and releases every key on the output, and keeps it so until the process ends.
    // Any thread; waits up to a second for the input thread and, when it does not answer, does it directly.
    void releaseAndUngrab();

    // A scheduler whose jobs run on the input thread, between events, so engine work that must not race the
    // tap callbacks (the tap guardian, the Caps-up repair) runs where they do. Delays are timed by the
    // backend's own scheduler. Jobs queued before start() run once the loop runs.
    rx::SchedulerPtr inputThreadScheduler();

    // What the backend holds now (tests, diagnostics). Any thread.
    std::size_t keyboardCount() const;
    std::vector<std::string> grabbedPaths() const;
    bool isStalled() const { return stalled_.load(); }
    bool isOutputKeyDown(std::uint16_t code);

private:
    struct Device;
    struct TapHub;
    class Tap;
    struct Alive;
    class Barrier;
    struct HeldEvent {
        std::uint64_t device;
        input_event event;
    };

    void enqueue(std::function<void()> command);
    void runLoop();
    // False when nothing was ready.
    bool handleReady(int timeoutMs);
    void runCommands();
    // Runs work; an exception lets every keyboard go. A template, so the key path builds no std::function.
    template <class Work>
    void guarded(Work&& work);

    void openNode(const std::string& path, rx::TimePoint firstAttempt);
    void addDevice(const std::string& path, InputDeviceSource::Opened opened, const std::string& parts);
    void removeDevice(std::uint64_t id, const char* why);
    void readDevice(Device& device);
    void readOutput();
    void readHotplug();
    // Handles the event now, or keeps it behind an open order barrier.
    void takeInputEvent(Device& device, const input_event& ev);
    void handleInputEvent(Device& device, const input_event& ev);
    void closeOrderBarrier(std::uint64_t id, bool timedOut);
    // keyboardGone: a release of a key still down on a keyboard that went away.
    void handleKey(Device& device, std::uint16_t code, std::int32_t value, bool keyboardGone = false);
    void resync(Device& device);
    TapResult dispatch(KeyEvent& event);
    bool passingThrough();
    KeyEvent makeEvent(KeyEventType type, std::uint16_t keyCode, std::uint64_t flags) const;
    std::uint64_t currentFlags() const;
    void countModifier(std::uint16_t virtualKeyCode, int delta);

    bool wantGrab() const;
    void updateGrabs();
    void tryGrab(Device& device);
    void grabBusy(Device& device);
    void ungrabDevice(Device& device);
    void setDeviceLights(Device& device);
    void drain(Device& device);
    // The release of a key whose press the output knows (passed, or swallowed and held back).
    void releaseOnOutput(bool hold, std::uint16_t outCode, std::uint64_t generation);

    template <class Op>
    bool write(Op&& op);
    // Paced, unless everything must go now (letting a keyboard go, shutting down).
    void flushOutput(bool everything = false);
    // The epoll time-out that wakes the loop for the next chunk of a paced write.
    int outputTimeoutMs(int timeoutMs);
    bool onInputThread() const { return std::this_thread::get_id() == loopThread_.load(std::memory_order_relaxed); }
    void outputFailed();
    void stall(const char* why);
    void watchdogCheck();
    // Has the watchdog look in `after`, unless a look is due already.
    void armWatchdog(rx::Duration after);
    void shutDownOnInputThread();
    void onTapEnabled();

    Options options_;
    std::shared_ptr<TapHub> hub_;
    std::shared_ptr<Alive> alive_;
    rx::PublishSubject<HidKeyReport> reports_;

    std::mutex startMutex_;
    std::atomic<bool> started_{false};
    std::atomic<bool> hasOutput_{false};
    std::atomic<bool> observing_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<bool> shutDown_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> capsLockOn_{false};
    std::atomic<int> capsLightKnown_{0};  // 0 unknown, 1 from a keyboard, 2 from the output keyboard
    std::atomic<std::int64_t> busySince_{0};
    std::thread thread_;
    std::atomic<std::thread::id> loopThread_{};
    // The watchdog looks only while a round of work runs: the round that finds it idle arms it, and a look
    // that finds the loop waiting in epoll lets it rest.
    std::atomic<bool> watchdogArmed_{false};
    std::mutex watchdogMutex_;
    rx::Disposable watchdog_;
    int cleanupId_ = 0;

    InputFd epoll_;
    InputFd wake_;

    std::mutex commandMutex_;
    std::vector<std::function<void()>> commands_;

    // Output keyboard: written on the input thread, and by the watchdog and the signal path in an emergency.
    std::mutex outputMutex_;
    std::unique_ptr<InputOutputDevice> output_;
    std::unique_ptr<UinputWriter> writer_;
    std::atomic<bool> outputBroken_{false};

    // Keyboards: changed on the input thread; read elsewhere under the lock.
    mutable std::mutex devicesMutex_;
    std::vector<std::shared_ptr<Device>> devices_;
    std::uint64_t nextDeviceId_ = 3;
    // Nodes left out (not keyboards) with the reason, so each is logged once.
    std::map<std::string, std::string> leftOut_;

    // Input-thread state.
    std::array<std::uint16_t, 128> mapping_{};
    bool mappingActive_ = false;
    std::array<int, 5> modifierCounts_{};
    std::array<std::int32_t, 3> lights_{};  // num, caps, scroll as the desktop set them on the output
    bool lightsKnown_ = false;
    bool passingThrough_ = false;
    // Open order barriers, and the keyboards' events that wait behind them, oldest first.
    std::vector<std::uint64_t> openBarriers_;
    std::uint64_t nextBarrierId_ = 0;
    std::deque<HeldEvent> heldEvents_;
    bool replayingHeld_ = false;
};

}  // namespace vandrel
