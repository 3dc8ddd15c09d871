// The key logic between the keyboards and the output keyboard. It takes time-stamped key events of any number
// of keyboards and gives strokes for the output keyboard (through a UinputWriter, which only queues them) and
// the effects of a key: what the taps see and decide, and raw key reports. It has no device, thread or clock
// of its own: the input backend's loop feeds it on the input thread, and tests feed it rows of keys.
//
// One key event, in order:
//   1. the keyboard's physical state (before any mapping) and, for the keys someone observes, a raw report;
//   2. the key mapping (Caps Lock sends F19 while mapped); a key released keeps the mapping it was pressed with;
//   3. the event the taps see: keyDown / keyUp, or flagsChanged for modifiers and the Caps Lock lock key, with
//      the flags of the modifiers held on every keyboard and of the Caps Lock lock;
//   4. while the keyboard is ours (grabbed): the taps' verdict, and the output: a passed press goes out as the
//      key it is (rewritten, as the key it became); a swallowed one is still told to the writer, which keeps
//      the user's modifiers right around it; the release of a key whose press went out always goes out.
// Keys the program cannot name (media keys, PrintScreen ...) go straight through, unseen by the taps.
// While the session is locked (pass-through) the taps see nothing and every key goes out as typed.
//
// Several keyboards are one pair of hands: the events of a loop turn are taken in the order of their time
// stamps (forEachInTimeOrder), so Caps held on one keyboard and a key pressed on another while the program
// was busy are one Caps combination.
#pragma once

#include <linux/input.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <span>

#include "platform/hid_keyboard.h"
#include "platform/linux/input/input_device_source.h"
#include "platform/linux/input/tap_hub.h"
#include "platform/linux/input/uinput_writer.h"
#include "rx/subjects.h"

namespace vandrel {

class KeyMachine {
public:
    // One keyboard's keys as the machine knows them; kept by whoever reads the keyboard.
    struct Keys {
        struct Held {
            bool valid = false;
            std::uint16_t mapped = 0xFFFF;  // the virtual key code it was pressed as, after mapping
            bool out = false;               // the output knows of its press (passed, or swallowed)
            bool hold = false;              // a press the taps swallowed, not a modifier: it holds modifiers back
            std::uint16_t outCode = 0;
            std::uint64_t generation = 0;
        };
        // The keyboard is ours: its events reach applications only through us. Cleared by any thread in an
        // emergency (a stalled input thread).
        std::atomic<bool> grabbed{false};
        KeyBits raw;  // physical keys down, before mapping
        std::array<Held, KEY_CNT> held{};
    };

    // A key event of a keyboard: the evdev code, 1 press, 0 release, 2 auto-repeat; its time (the kernel's
    // monotonic stamp, or the loop turn's time).
    struct Input {
        std::uint16_t code = 0;
        std::int32_t value = 0;
        rx::TimePoint time{};
        // A release made because the keyboard went away while the key was down, not by the user.
        bool keyboardGone = false;
    };

    explicit KeyMachine(std::shared_ptr<TapHub> taps);
    // Where strokes go; until set (and without an output keyboard) keys are only noted and reported.
    void setWriter(UinputWriter* writer) { writer_ = writer; }

    // Before a loop turn's events: the taps as they are now, and whether every key passes untouched.
    void beginTurn(bool passThrough);
    void key(Keys& keys, const Input& input);
    // Every key of this keyboard whose press the output knows goes up there (the keyboard is let go).
    void letGo(Keys& keys);
    // The taps' verdict on an event (it may be rewritten).
    TapResult dispatch(KeyEvent& event);

    // The key mapping as virtual key codes (source -> destination); for keys pressed from now on.
    void setMapping(const std::map<std::uint16_t, std::uint16_t>& mapping);
    bool mappingActive() const { return mappingActive_; }

    // Raw reports of the observed keys (evdev codes), from now on.
    void setObservedKeys(const KeyBits& codes) { observed_ = codes; }
    rx::Observable<HidKeyReport> reports() { return reports_.asObservable(); }

    // The Caps Lock lock as the desktop last showed it. Any thread.
    bool capsLock() const { return capsLockOn_.load(std::memory_order_relaxed); }
    void setCapsLock(bool on) { capsLockOn_.store(on, std::memory_order_relaxed); }

private:
    void report(std::uint16_t physical, std::int32_t value);
    void press(Keys& keys, std::uint16_t code, std::optional<std::uint16_t> physical, rx::TimePoint time);
    void pressSwallowed(Keys::Held& held, std::uint16_t code, std::uint16_t physical, std::uint16_t mapped);
    // The press goes out as outCode; false when there is no writable output.
    bool pressOut(Keys::Held& held, std::uint16_t outCode);
    void release(Keys& keys, std::uint16_t code, bool named, const Input& input);
    void repeat(Keys& keys, std::uint16_t code, bool named, rx::TimePoint time);
    void releaseOut(const Keys::Held& held);
    bool writable() const { return writer_ && !writer_->failed(); }
    KeyEvent makeEvent(KeyEventType type, std::uint16_t keyCode, std::uint64_t flags, rx::TimePoint time) const;
    std::uint64_t currentFlags() const;
    void countModifier(std::uint16_t virtualKeyCode, int delta);

    TapHub::Reader taps_;
    UinputWriter* writer_ = nullptr;
    rx::PublishSubject<HidKeyReport> reports_;
    KeyBits observed_;
    std::array<std::uint16_t, 128> mapping_{};
    bool mappingActive_ = false;
    std::array<int, 5> modifierCounts_{};
    std::atomic<bool> capsLockOn_{false};
    bool passingThrough_ = false;
};

// One keyboard's events of a loop turn, oldest first, with the keyboard they belong to.
template <class Keyboard>
struct KeyboardRun {
    Keyboard* keyboard = nullptr;
    std::span<const input_event> events;
};

// Calls take(keyboard, event) for every event of the runs in the order of their time stamps: one pair of
// hands however many keyboards. A run keeps its own order; of events stamped alike the earlier run's go first.
template <class Keyboard, class Take>
void forEachInTimeOrder(std::span<KeyboardRun<Keyboard>> runs, Take&& take)
{
    if (runs.size() == 1) {
        for (const auto& event : runs[0].events) take(*runs[0].keyboard, event);
        return;
    }
    const auto stamp = [](const input_event& ev) {
        return static_cast<std::int64_t>(ev.input_event_sec) * 1'000'000 + ev.input_event_usec;
    };
    std::array<std::size_t, 32> next;
    const std::size_t count = std::min(runs.size(), next.size());
    std::fill_n(next.begin(), count, 0);
    for (;;) {
        std::size_t pick = count;
        for (std::size_t r = 0; r < count; ++r) {
            if (next[r] == runs[r].events.size()) continue;
            if (pick == count || stamp(runs[r].events[next[r]]) < stamp(runs[pick].events[next[pick]])) pick = r;
        }
        if (pick == count) return;
        take(*runs[pick].keyboard, runs[pick].events[next[pick]++]);
    }
}

}  // namespace vandrel
