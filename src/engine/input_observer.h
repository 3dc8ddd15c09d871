// The three keyboard event taps and the key-event subjects.
//
// Every key-down, key-up and modifier change of the session passes the taps, which decide whether it
// reaches other applications (pass) or is withheld (swallow). The proxy key (F19, code 80, which the remapped
// Caps Lock key sends) becomes Caps Lock (57) again and drives the Caps-held flag of VandrelState; while Caps
// is held nothing reaches other applications. Every event is published on the subjects of its kind:
//
//   keydownWithoutCaps, keydown, keydownWithCaps      key-downs (not the proxy key)
//   keyup, keyupWithoutCaps, keyupWithCaps            key-ups (not the proxy key)
//   flagsChanged                                      modifier changes, and the proxy key's press and release
//   capsDown, capsTap, capsUp                         the proxy key: first press of a hold, short release, release
//
// Subjects emit synchronously inside the tap callback, on the taps' thread (Linux: the input thread), with the
// event already rewritten. Subscribers that do more than a few flag reads move their work elsewhere (the
// deliverer hops to the key-event queue, unless it delivers on the taps' thread, where a lookup is a table read
// and a key-only action only queues strokes); a slow callback makes the platform disable the tap.
//
// Two safety nets: a guardian re-enables taps 2 s after the platform disabled them (and, for the key-up tap, drops the
// held flag since a Caps release may have been lost meanwhile), and a repair makes up a lost Caps release 0.1 s after
// the physical key went up. Both run their changes on the input-thread scheduler, so the held flag and the subjects are
// only ever driven from the taps' thread.
//
// A Caps release is a tap (published on capsTap) when it comes less than 0.3 s after the press, no action ran
// in the hold and no other key (modifiers included) went down during it.
//
// A key whose press reached other applications before Caps was pressed also has its release passed to them,
// whenever it comes (otherwise it would stay down for them and repeat); it is published as usual.
#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/installed_instance.h"
#include "core/popup_msg.h"
#include "engine/hid_key_event_observer.h"
#include "engine/vandrel_state.h"
#include "model/vd_key.h"
#include "platform/event_tap.h"
#include "platform/platform.h"
#include "rx/rx.h"

namespace vandrel {

class InputObserver : public std::enable_shared_from_this<InputObserver> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    struct Dependencies {
        std::shared_ptr<Platform> platform;
        std::shared_ptr<VandrelState> state;
        // Runs jobs on the thread of the tap callbacks (Linux: posts to the input thread; tests: the
        // virtual-time scheduler driven on the test thread). Needs delayed jobs (the repair waits 0.1 s).
        rx::SchedulerPtr inputThreadScheduler;
        // Times the tap guardian's look after a tap was disabled; null: the input-thread scheduler.
        rx::SchedulerPtr guardianScheduler;
        // The physical-key observer of the repair; null: a new one over the platform.
        std::shared_ptr<HIDKeyEventObserver> hidObserver;
        // Tells the user what went wrong; null: popupMsg.
        PopupPresenter popup{};
    };

    static constexpr std::uint16_t proxyKeyCode = VandrelState::proxyKey;
    static constexpr std::uint16_t capsLockKeyCode = 57;
    static constexpr double guardianPeriod = 2.0;
    static constexpr double repairDelay = 0.1;

    static std::shared_ptr<InputObserver> make(Dependencies dependencies);
    InputObserver(Passkey, Dependencies dependencies);
    ~InputObserver();
    InputObserver(const InputObserver&) = delete;
    InputObserver& operator=(const InputObserver&) = delete;

    // The installed instance, or null. install() returns the one it replaces.
    static std::shared_ptr<InputObserver> shared();
    static InstalledInstance<InputObserver>& installed();
    static std::shared_ptr<InputObserver> install(std::shared_ptr<InputObserver> observer);

    // Creates the key-down, key-up and flags-changed taps, then starts the guardian and the repair. True
    // once the taps exist; later calls do nothing. When a tap cannot be created, the ones already made are
    // released (nothing stays grabbed), the failure is logged and shown, and false is returned; a later
    // call tries again.
    bool startMonitoring();
    bool isMonitoring() const;

    // Withholds key-downs of this key (key code and modifiers, by keybit) while Caps is not held, until the
    // returned function runs. With `when`, only those it answers true for: it is asked on the taps' thread, for
    // each such key-down, and may open an order barrier there. Any thread.
    using KeydownFilter = std::function<bool(const KeyEvent&)>;
    std::function<void()> blockKeydown(const VDKey& keyShouldBlock, KeydownFilter when = {});

    // While true, every event that would pass is withheld (the hotkey recorders set it while recording).
    bool isBlockAllKeyEventBubbling() const { return isBlockAllKeyEventBubbling_.load(std::memory_order_acquire); }
    void setIsBlockAllKeyEventBubbling(bool block) { isBlockAllKeyEventBubbling_.store(block); }

    const rx::PublishSubject<KeyEvent> keydown;
    const rx::PublishSubject<KeyEvent> keyup;
    const rx::PublishSubject<KeyEvent> keydownWithoutCaps;
    const rx::PublishSubject<KeyEvent> keyupWithoutCaps;
    const rx::PublishSubject<KeyEvent> keydownWithCaps;
    const rx::PublishSubject<KeyEvent> keyupWithCaps;
    const rx::PublishSubject<KeyEvent> flagsChanged;
    const rx::PublishSubject<KeyEvent> capsDown;
    const rx::PublishSubject<KeyEvent> capsUp;
    const rx::PublishSubject<KeyEvent> capsTap;

    // The tap callbacks: each may rewrite the event and says whether it passes. Only on the taps' thread.
    TapResult keyDownHandler(KeyEvent& event);
    TapResult keyUpHandleFunction(KeyEvent& event);
    TapResult flagsChangedHandler(KeyEvent& event);

    const std::shared_ptr<VandrelState>& state() const { return state_; }
    const std::shared_ptr<Platform>& platform() const { return platform_; }
    const std::shared_ptr<HIDKeyEventObserver>& hidKeyEventObserver() const { return hidObserver_; }

private:
    struct BlockedKeys;
    enum TapIndex { keyDownTap, keyUpTap, flagsChangedTap };

    void startGuardian();
    void checkTaps();
    void ensureCapsUpByUsingHIDEvent();
    void repairCapsUp();

    const std::shared_ptr<Platform> platform_;
    const std::shared_ptr<VandrelState> state_;
    const rx::SchedulerPtr inputScheduler_;
    const rx::SchedulerPtr guardianScheduler_;
    const std::shared_ptr<HIDKeyEventObserver> hidObserver_;
    const PopupPresenter popup_;
    const std::shared_ptr<BlockedKeys> keydownBlockeds_;
    std::atomic<bool> isBlockAllKeyEventBubbling_{false};
    const rx::BehaviorSubject<std::int64_t> theGuardian_{0};
    std::atomic<bool> guardianPending_{false};

    mutable std::mutex startMutex_;
    bool started_ = false;
    std::array<std::shared_ptr<EventTap>, 3> taps_;

    // Keys (and modifiers) whose press reached other applications and whose release has not come yet.
    // Only touched on the taps' thread.
    std::bitset<65536> passedDown_;
    // A key other than Caps went down since Caps was pressed: the release is then no tap. Taps' thread only.
    bool keyWentDownInHold_ = false;

    // Last, so the guardian and repair subscriptions end before anything they use.
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
