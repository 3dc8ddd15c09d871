// Turns what the input observer publishes into action runs: every key pressed while Caps is held, and every
// Caps tap, becomes a key id that is looked up in the current conflict-free action table. All lookups run one
// at a time, in publishing order, on the key-event scheduler, or, with deliverOnTapThread, right in the tap
// callback on the taps' thread (the Linux input thread, which is serial and never the GUI thread).
//
// Where a bound action runs:
//   - an action whose steps only post keys (VDAction::postsKeysOnly) runs at once, where it was looked up:
//     it never waits for the GUI thread, and on the taps' thread its strokes reach the output keyboard before
//     any key event read after the one that triggered it (the input backend writes posts from its own thread
//     in place);
//   - every other action (it shows something or calls a service) is queued on the main queue. Delivered on
//     the taps' thread, it opens an order barrier first: keys read after the one that triggered it wait until
//     it has run (at most 500 ms), so what reaches the output keeps the order of its causes.
// Lookups go by keybit; the hexadecimal key ids of a table are read once per published table.
//
// Pausing (the hotkey recorder sets isPaused while it records): each of the three streams drops its events
// while paused until one of its events passes; from then on that stream is not affected until the next Caps
// release that reaches the deliverer opens the test again. The subscriptions themselves stay in place across
// Caps releases, so no event published around a release is lost.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/event_keeper.h"
#include "engine/input_observer.h"
#include "engine/vandrel_state.h"
#include "model/key_kit.h"
#include "rx/rx.h"

namespace vandrel {

class KeyEventDeliver : public std::enable_shared_from_this<KeyEventDeliver> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    struct Dependencies {
        std::shared_ptr<InputObserver> inputObserver;
        std::shared_ptr<VandrelState> state;
        // The conflict-free table in force at the moment of the lookup (null: no scheme active yet).
        std::function<EventKeeperPtr()> currentTable;
        // Null: keyEventScheduler().
        rx::SchedulerPtr keyEventScheduler;
        // Where actions that do more than post keys run. Null: the main queue.
        rx::SchedulerPtr mainScheduler;
        // True: deliver inside the tap callbacks (no hop to the key-event scheduler). For platforms whose taps
        // run on a serial thread of their own rather than the GUI thread.
        bool deliverOnTapThread = false;
    };

    static std::shared_ptr<KeyEventDeliver> make(Dependencies dependencies);
    KeyEventDeliver(Passkey, Dependencies dependencies);
    KeyEventDeliver(const KeyEventDeliver&) = delete;
    KeyEventDeliver& operator=(const KeyEventDeliver&) = delete;

    // The serial scheduler "VandrelKeyEventScheduler" over the key-event queue, made on first use.
    static rx::SchedulerPtr keyEventScheduler();

    static bool isPaused() { return isPaused_.load(std::memory_order_acquire); }
    static void setIsPaused(bool paused) { isPaused_.store(paused, std::memory_order_release); }

    // Replaces every earlier subscription by new ones on keydownWithCaps, capsUp and capsTap. Subscribing is
    // synchronous: an event published after install() returns is delivered.
    void install();

    // Packs the combination into its key id, looks it up and runs or queues what it finds. Where delivery
    // runs.
    void actionQueryExecute(int keycode, const ModifierSet& modifiers, bool isMarkHadDoneVandrel);

    // The modifier key codes of an event's flags, Caps Lock always among them.
    static ModifierSet modifiersWithCaps(std::uint64_t flags);
    // The keybit of a key pressed with Caps held and these flags (the flag masks are the keybit masks).
    static std::int64_t keybitWithCaps(int keycode, std::uint64_t flags);

private:
    struct Gates;
    struct Index;

    void keydownWithCapsEventExecutor(const KeyEvent& event);
    void capsUpEventExecutor(const KeyEvent& event);
    void capsTapEventExecutor(const KeyEvent& event);
    void queryKeybit(std::int64_t keybit, bool isMarkHadDoneVandrel);
    // The entry bound to the keybit in the table, through an index by keybit made once per table.
    const EventKeeper::Entry* find(const EventKeeperPtr& table, std::int64_t keybit);

    static std::atomic<bool> isPaused_;

    const std::shared_ptr<InputObserver> inputObserver_;
    const std::shared_ptr<VandrelState> state_;
    const std::function<EventKeeperPtr()> currentTable_;
    const rx::SchedulerPtr keyEventScheduler_;
    const rx::SchedulerPtr mainScheduler_;
    const bool deliverOnTapThread_;
    std::mutex indexMutex_;
    std::shared_ptr<const Index> index_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
