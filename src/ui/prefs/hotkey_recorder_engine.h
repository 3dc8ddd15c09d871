// What the hotkey recorders use of the keyboard engine, and the hold that silences it while they record.
//
// Caps Lock combinations never reach a window: the engine withholds the proxy Caps key and every key pressed
// while it is held. The recorders therefore read keys from the input observer's subjects. Those emit on the
// taps' thread (Linux: the input thread); keyEvents() merges the five subjects a recorder reads into one
// stream and carries it to the GUI thread through the main scheduler, so the recorder sees the events in the
// order the taps published them (a Caps release never overtakes the key-down before it).
//
//   auto engine = HotkeyRecorderEngine::of(core);
//   engine.keyEvents().subscribe([](const HotkeyRecorderEngine::Event& e) { ... }).disposed(bag);
//
// KeyEventSilence: while at least one exists, every key that the taps would let through is withheld from
// other applications (InputObserver::isBlockAllKeyEventBubbling) and no Caps action runs
// (KeyEventDeliver::isPaused). Each recorder holds one while it records and drops it when it ends, so two
// recorders never clear each other's silence. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/input_observer.h"
#include "engine/vandrel_state.h"
#include "platform/key_event.h"
#include "rx/rx.h"

namespace vandrel {

class Vandrel;

struct HotkeyRecorderEngine {
    std::shared_ptr<InputObserver> inputObserver;
    std::shared_ptr<VandrelState> state;
    // The GUI thread's scheduler (the main queue in the program); also the clock of the recorders' timers.
    rx::SchedulerPtr mainScheduler;

    struct Event {
        enum class Kind { flagsChanged, keyDown, keyUp, capsDown, capsUp };
        Kind kind;
        KeyEvent event;
        // Caps was held when the tap published the event.
        bool isCapsHeld = false;
    };

    // The core object's observer, state and main scheduler.
    static HotkeyRecorderEngine of(const Vandrel& core);

    bool isComplete() const { return inputObserver && state && mainScheduler; }

    // The events in publishing order, delivered on the main scheduler. Empty stream when incomplete.
    rx::Observable<Event> keyEvents() const;
};

class KeyEventSilence {
public:
    // inputObserver may be null: then only Caps actions are paused.
    explicit KeyEventSilence(std::shared_ptr<InputObserver> inputObserver);
    ~KeyEventSilence();
    KeyEventSilence(const KeyEventSilence&) = delete;
    KeyEventSilence& operator=(const KeyEventSilence&) = delete;

    // Holds alive now, over every input observer.
    static int activeCount();

private:
    std::shared_ptr<InputObserver> inputObserver_;
};

}  // namespace vandrel
