// Turns what the input observer publishes into action runs: every key pressed while Caps is held, and every
// Caps tap, becomes a key id that is looked up in the current conflict-free action table; a bound action is
// queued on the main queue with its parameters. All lookups run one at a time on the key-event scheduler.
//
// Pausing (the hotkey recorder sets isPaused while it records): each of the three streams drops its events
// while paused until one of its events passes; from then on that stream is not affected until the next Caps
// release that reaches the deliverer opens the test again. The subscriptions themselves stay in place across
// Caps releases, so no event published around a release is lost.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

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
        // Where actions run. Null: the main queue.
        rx::SchedulerPtr mainScheduler;
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

    // Packs the combination into its key id, looks it up and queues what it finds. On the key-event
    // scheduler.
    void actionQueryExecute(int keycode, const ModifierSet& modifiers, bool isMarkHadDoneVandrel);

    // The modifier key codes of an event's flags, Caps Lock always among them.
    static ModifierSet modifiersWithCaps(std::uint64_t flags);

private:
    struct Gates;

    void keydownWithCapsEventExecutor(const KeyEvent& event);
    void capsUpEventExecutor(const KeyEvent& event);
    void capsTapEventExecutor(const KeyEvent& event);

    static std::atomic<bool> isPaused_;

    const std::shared_ptr<InputObserver> inputObserver_;
    const std::shared_ptr<VandrelState> state_;
    const std::function<EventKeeperPtr()> currentTable_;
    const rx::SchedulerPtr keyEventScheduler_;
    const rx::SchedulerPtr mainScheduler_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
