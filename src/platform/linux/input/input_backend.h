// The keyboard path of the Linux backend, run on its own input thread:
//
//   keyboards (/dev/input/event* judged keyboard parts, grabbed)  --read-->  raw key reports (before any mapping)
//        --> key mapping (Caps Lock sends F19 while mapped)  --> key-down / key-up / flags-changed taps
//        --> passed events written to the output keyboard (uinput), swallowed ones nowhere
//   posted strokes (from any thread)  --> written to the output keyboard after our taps
//
// Four parts. This loop waits in epoll on the keyboards, the hotplug watch, the output keyboard (its lights)
// and an eventfd for commands from other threads, and keeps the stall watchdog and the order barriers.
// InputKeyboards finds, reads and grabs the keyboards; KeyMachine is the key logic, free of devices, threads
// and clocks; OutputKeyboard writes to the virtual keyboard, paced. Keyboards are grabbed only while something
// needs them (a tap or a key mapping), only when none of their keys is down, and never while there is no output
// keyboard to write to. A watchdog on the injected scheduler lets every keyboard go when the thread stalls in a
// tap for longer than the limit; the taps then report disabled and enabling one grabs again. The watchdog is
// armed only while a round of work runs, so an idle loop wakes nobody.
//
// While the login session is inactive (another user's session or another VT has the seat) the backend holds
// nothing: its keys released, every keyboard let go and closed, the output keyboard destroyed, so no key of
// that session flows through this process. The session's watcher sets a flag and wakes the loop, which does
// the letting go itself; back in the active session it takes everything again as at start.
//
// A loop turn: the commands first (so a call made before a key was typed holds for it), then every ready
// keyboard is read, and their events go to the taps in the order of their kernel time stamps: a split keyboard,
// a keypad of its own and two keyboards are one pair of hands, also after the program was busy or stopped.
// Then keyboards that went away are let go, hotplug is followed, and what the turn passed and posted is written.
//
// Events on the output keyboard: a key whose press went out is always released there when the keyboard
// releases it, even when a tap swallows the release, because a key left down on a Linux keyboard repeats
// for ever. Keys the program cannot name (media keys, PrintScreen ...) pass straight through.
//
// Order, by construction. Everything for the output keyboard (passed events, posted strokes) joins one queue
// on this thread, in the order of its causes. The engine delivers Caps combinations inside the tap callbacks,
// and an action that only posts keys runs right there (KeyEventDeliver): post() called on this thread queues
// its strokes at once, so they stand before every event taken after the key that triggered the action. No
// event waits for another thread, and a busy GUI thread delays nothing. Strokes posted from other threads
// (actions that show UI or call services run on the main queue) join the queue when the loop takes the
// command, after the events taken before it. Before such an action leaves the input thread the engine opens
// an order barrier (openOrderBarrier): the keyboards' events taken after it wait, unseen by the taps, until
// the action has run and its strokes are queued (a paste: until its target fetched the content), then go
// through the taps in the order they came. A barrier that is not released within 500 ms lets them go on
// (logged once), so a hung GUI thread or a paste no target fetches costs the order, never the keyboard. A release
// waits there only behind keys that wait: a key held since before the action goes up when the hands let it go,
// not when the barrier ends (held longer, the desktop would repeat it).
//
// The input thread never waits on anything but its devices. Its only blocking calls are epoll and the reads
// and writes of the keyboards, the output keyboard and the eventfd. What the taps and the actions they run
// need of the desktop comes from values other threads publish: the frontmost application and whether it is
// terminal-like (Workspace::frontmostSnapshot, kept by the window manager's active-window changes), the
// keyboard layout (published by its own watcher), the Caps Lock lock (toggled by typing Caps Lock on the
// output keyboard, not by asking the X server), the session's lock (an atomic flag its watcher sets). The log
// queue drops a line rather than wait for room. The key path takes no lock: the taps are an immutable list
// read once per turn, the output is the input thread's alone (in an emergency another thread releases the
// output's keys with one write of its own). The stall watchdog stays the last resort: should the thread stall
// all the same, it lets every keyboard go.
//
// Pacing. The kernel keeps 64 events per reader of the output keyboard, and a reader handed more than it can
// keep loses the rest. An action's strokes go out like the fastest real keyboard types: its first eight at
// once, then one per millisecond; and no write puts more than 32 events before a reader: a backlog beyond
// that, whatever its source (keys that waited while the program was stopped), takes the same pacing, four
// events a millisecond (UinputWriter). Typing, two events a key, never waits. The loop sleeps until the next chunk may
// go in epoll, so reading goes on meanwhile, and what is read behind pending output waits for it, in order. The pause
// is timed by the injected scheduler.
//
// Modifiers follow the hands. The backend tells the writer of every press, passed or swallowed: a modifier
// the user physically holds is down on the output whenever a key the user typed goes out, and already right
// after an action's strokes unless a hold is in progress (a swallowed key, Caps above all, still down); a
// modifier pressed or released during a hold reaches the output as the user left it when the hold ends, so a
// Ctrl+click right after a Caps action is a Ctrl+click. No lone modifier tap the user did not type ever
// reaches the output: a modifier that would go up alone after the taps swallowed something, or after we
// pressed it back, first gets a guard tap (UinputWriter).
//
// Cost. A passed key or a stroke-only action allocates nothing here, takes no lock and does no file I/O; the
// clock is read once per turn. (Arming the watchdog queues one small job, at most once per stall limit while
// keys come.) At rest the thread sleeps in epoll without a time-out unless timed work is pending: the next
// chunk of a paced write; new-node and grab retries wait on the injected scheduler, not here.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_tap.h"
#include "platform/hid_keyboard.h"
#include "platform/linux/input/input_device_source.h"
#include "platform/linux/input/input_keyboards.h"
#include "platform/linux/input/input_output_device.h"
#include "platform/linux/input/key_machine.h"
#include "platform/linux/input/output_keyboard.h"
#include "platform/linux/input/posting_translator.h"
#include "platform/linux/input/tap_hub.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"

struct epoll_event;

namespace vandrel {

class InputBackend {
public:
    struct Options {
        std::shared_ptr<InputDeviceSource> source;
        // Makes the output keyboard at start; null when it cannot be made.
        std::function<std::unique_ptr<InputOutputDevice>()> makeOutput;
        // Watchdog looks, new-node retries, the loop turn's time and the pauses between chunks of a long write.
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
        // Read once per loop turn; while it is set the taps see nothing and every event goes out as the keyboard
        // sent it. The secure-input state: the session is locked and its lock screen must get the real keys.
        // Null: never.
        std::shared_ptr<const std::atomic<bool>> passThrough;
        // Whether the login session has the seat, read when followSession() wakes the loop. While it is false
        // no key of another session may flow through us: every keyboard is let go and closed and the output
        // keyboard destroyed. Null: always.
        std::shared_ptr<const std::atomic<bool>> sessionActive;
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
    // any event taken later), from another thread when the loop takes the command. Any thread. False when
    // there is no output keyboard.
    bool post(std::vector<EvdevStroke> strokes);
    // Runs an event through the taps as if a keyboard had sent it; when it passes it is written as given.
    bool postAtHidLocation(const KeyEvent& event);
    // Holds back the keyboards' events taken from now on (see OrderBarrier). Input thread only; null without
    // an output keyboard.
    std::shared_ptr<OrderBarrier> openOrderBarrier();

    // The key mapping of the keyboards, as virtual key codes (source -> destination); a key mapped to
    // itself is unmapped. Applies to keys pressed after the call.
    void setKeyMapping(std::map<std::uint16_t, std::uint16_t> mapping);

    // Raw reports (usage page 7) of physical key presses and releases, before mapping, once observing: of
    // the observed keys (keyboard-page usages; none given: every key).
    void setObservingKeys(bool observing);
    void setObservedKeys(std::vector<std::uint32_t> usages);
    rx::Observable<HidKeyReport> keyReports() { return machine_.reports(); }

    // The Caps Lock light as the desktop last set it on the output keyboard, else as a grabbed keyboard
    // shows it; absent when neither is known.
    std::optional<bool> capsLockLight();

    // Lets every keyboard go and releases every key on the output, and keeps it so until the process ends.
    // Any thread; waits up to a second for the input thread and, when it does not answer, does it directly.
    void releaseAndUngrab();

    // The session's active flag changed: the loop, woken, lets every key on the output go up, lets every
    // keyboard go, closes them and destroys the output keyboard while the session is inactive, and once it is
    // active again makes the output keyboard and opens (and grabs) the keyboards as at start. Keys held across
    // the switch are not replayed. Any thread; returns at once.
    void followSession();

    // A scheduler whose jobs run on the input thread, between events, so engine work that must not race the
    // tap callbacks (the tap guardian, the Caps-up repair) runs where they do. Delays are timed by the
    // backend's own scheduler. Jobs queued before start() run once the loop runs.
    rx::SchedulerPtr inputThreadScheduler();

    // What the backend holds now (tests, diagnostics). Any thread.
    std::size_t keyboardCount() const { return keyboards_->count(); }
    std::vector<std::string> grabbedPaths() const { return keyboards_->grabbedPaths(); }
    bool isStalled() const { return stalled_.load(); }
    bool isOutputKeyDown(std::uint16_t code);

private:
    using Keyboard = InputKeyboards::Keyboard;
    struct Alive;
    class Barrier;
    struct HeldEvent {
        std::uint64_t keyboard;
        input_event event;
    };

    void enqueue(std::function<void()> command);
    void runLoop();
    // False when nothing was ready.
    bool handleReady(int timeoutMs);
    void runTurn(const ::epoll_event* ready, int count, rx::TimePoint now);
    void runCommands();
    void readLights();
    // Runs work; an exception lets every keyboard go. A template, so the key path builds no std::function.
    template <class Work>
    void guarded(Work&& work);

    // Takes the event now, or keeps it behind an open order barrier. A release (with the scan code and report end
    // around it) waits only behind keys that wait there: with none waiting it is taken at once. The release of
    // Caps (pressed as F19) ends the hold the action belongs to and keeps its place behind the action, as presses
    // do: what the action shows on Caps up (the cheat sheet) sees it after it ran.
    void takeInputEvent(Keyboard& keyboard, const input_event& event)
    {
        if (heldEvents_.empty() && (openBarriers_.empty() || passesOrderBarrier(keyboard, event)))
            keyboards_->take(keyboard, event);
        else
            heldEvents_.push_back({keyboard.id, event});
    }
    static bool passesOrderBarrier(const Keyboard& keyboard, const input_event& event)
    {
        if (event.type == EV_KEY)
            return event.value == 0 &&
                   !(event.code < KEY_CNT && keyboard.keys.held[event.code].mapped == VirtualKeyCode::f19);
        return event.type != EV_SYN || event.code != SYN_DROPPED;
    }
    void closeOrderBarrier(std::uint64_t id, bool timedOut);
    bool passThrough() const { return options_.passThrough && options_.passThrough->load(std::memory_order_relaxed); }
    bool sessionActive() const
    {
        return !options_.sessionActive || options_.sessionActive->load(std::memory_order_acquire);
    }
    // Makes the output keyboard; false when it cannot be made.
    bool openOutput();
    void closeOutput();
    // Input thread: lets go of everything while the session is inactive, takes it again once active.
    void applySession();

    bool wantGrab() const;
    bool writable() const { return output_ && !output_->broken() && !shutDown_.load(std::memory_order_relaxed); }
    // Paced, unless everything must go now (letting a keyboard go, shutting down).
    void flushOutput(rx::TimePoint now, bool everything = false);
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
    InputFd epoll_;
    InputFd wake_;
    KeyMachine machine_;
    // Made by start(), before the loop runs; dropped by stop() after it ended, under outputLifeMutex_ so that
    // an emergency on another thread never meets a dangling output.
    std::unique_ptr<OutputKeyboard> output_;
    std::mutex outputLifeMutex_;
    std::unique_ptr<InputKeyboards> keyboards_;

    std::mutex startMutex_;
    std::atomic<bool> started_{false};
    std::atomic<bool> hasOutput_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<bool> shutDown_{false};
    std::atomic<bool> running_{false};
    std::atomic<std::int64_t> busySince_{0};
    std::thread thread_;
    std::atomic<std::thread::id> loopThread_{};
    // The watchdog looks only while a round of work runs: the round that finds it idle arms it, and a look
    // that finds the loop waiting in epoll lets it rest.
    std::atomic<bool> watchdogArmed_{false};
    std::mutex watchdogMutex_;
    rx::Disposable watchdog_;
    int cleanupId_ = 0;

    std::mutex commandMutex_;
    std::vector<std::function<void()>> commands_;

    // Input-thread state: the raw reports asked for; a turn's events, per keyboard, and the keyboards that went
    // away in it.
    bool observing_ = false;
    KeyBits observedKeys_ = KeyBits().set();
    std::unique_ptr<input_event[]> turnBuffer_;
    std::span<input_event> turnEvents_;
    std::vector<KeyboardRun<Keyboard>> runs_;
    std::vector<std::pair<Keyboard*, const char*>> gone_;
    // Open order barriers, and the keyboards' events that wait behind them, oldest first.
    std::vector<std::uint64_t> openBarriers_;
    std::uint64_t nextBarrierId_ = 0;
    std::deque<HeldEvent> heldEvents_;
    bool replayingHeld_ = false;
    // Everything is let go while the session is inactive; input-thread state.
    bool sessionAway_ = false;
};

}  // namespace vandrel
