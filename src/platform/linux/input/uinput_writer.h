// Writes to the output keyboard and keeps its key state, so that what the output holds down always
// matches what it was told: the keys the user holds (counted per keyboard), and the keys and modifiers of
// posted strokes, which carry exactly the modifiers they name. Used on the input thread only, without a lock;
// in an emergency (a stalled input thread) any thread may call emergencyRelease().
//
// Pacing, like the fastest real keyboard. Every change is queued in order with its SYN_REPORT. A posted stroke
// (a key press with its modifiers and, when posted with it, its release) spends one token; a bucket of
// burstStrokes tokens refills at one per strokeInterval, so an action's first eight strokes go out at once and
// the rest one per millisecond: thirty Ups take about 25 ms. A wake-up that comes late while strokes wait earns
// at most catchUpStrokes at once: the reader most likely did not run either. Keys the user typed spend no
// stroke token; they only wait behind strokes queued before them, so the order never changes.
// No write puts more than maxEventsPerWrite (eight strokes' worth) before a reader, which the kernel lets keep
// 64: whatever its source (an action, or keys that waited together while the program was stopped), a backlog
// beyond that takes the strokes' pacing, one stroke's worth of events (four) a stroke interval, whole reports
// at a time, and a late wake-up earns no more than catchUpStrokes' worth. Ordinary typing, two events a key,
// never waits.
//
// Modifiers follow the hands. The modifiers the user physically holds are counted whether the taps passed
// their presses or swallowed them. A posted stroke sets the output's modifiers to exactly its own (lifting the
// user's); afterwards the user's go down again:
//   - before a key the user presses (or its repeat) goes out, at the latest;
//   - right after the strokes, unless a hold is in progress: a key whose press the taps swallowed (Caps and
//     the keys pressed with it) is still down. A later action of the same hold would only lift them again;
//     a modifier pressed or released during the hold reaches the output as the user left it when the hold
//     ends.
// Lone modifier taps. Applications act on a modifier pressed and released with no other key between (a lone
// Super opens the overview, a lone Alt the menu bar), so the output never shows one the user did not type:
// a modifier about to go up with no other key written since its press, when the taps swallowed something
// since that press or the press was ours (put back after a stroke), first gets a tap of guardKey, a key no
// keymap binds. A modifier the user presses and releases with only passed keys, or nothing, between is
// written as typed.
#pragma once

#include <linux/input.h>

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <vector>

#include "platform/linux/input/posting_translator.h"
#include "rx/scheduler.h"

namespace vandrel {

class UinputWriter {
public:
    static constexpr std::size_t burstStrokes = 8;
    static constexpr rx::Duration strokeInterval = std::chrono::milliseconds(1);
    static constexpr std::size_t catchUpStrokes = 2;
    static constexpr std::size_t maxEventsPerWrite = 32;
    // Has no symbol in any keymap; it only breaks a modifier press from its release.
    static constexpr std::uint16_t guardKey = KEY_UNKNOWN;

    explicit UinputWriter(int fd);

    // A key of a keyboard was pressed, released or repeated and the taps let it through. The user's
    // modifiers are put back first.
    void userPress(std::uint16_t code);
    // Releases a press given to userPress() or a modifier given to userHoldSwallowed().
    void userRelease(std::uint16_t code);
    void userRepeat(std::uint16_t code);
    // A press the taps swallowed. A modifier counts as held by the user (it goes down on the output when the
    // modifiers are next put back); any other key holds the modifiers back until userHoldEnded().
    void userHoldSwallowed(std::uint16_t code);
    void userHoldEnded();
    // Any other key event of a keyboard that the taps swallowed: for applications nothing came between the
    // modifiers down now and their release, although the user typed something.
    void userEventSwallowed();

    // A posted stroke: the modifiers are set to exactly those of the stroke (a modifier the user holds is
    // lifted on the output), then the key is written.
    void postStroke(const EvdevStroke& stroke);
    // After a round of posting: the stroke's modifiers go up, and the user's go down unless a hold is in
    // progress.
    void restoreModifiers();

    // Every key down on the output goes up; the user's holds are forgotten (their keyboards are no longer
    // ours). Starts a new generation, so releases of presses from before it are ignored.
    void releaseAll();

    // Writes what the pacing allows at `now`. False when a write failed.
    bool flush(rx::TimePoint now);
    // Writes everything queued at once (letting keyboards go, shutting down). False when a write failed.
    bool flushAll();
    bool hasPending() const { return head_ < buffer_.size(); }
    // When flush() may write more (meaningful while hasPending()).
    rx::TimePoint nextStrokeAt() const { return nextWriteAt_; }

    // Any thread, while the input thread may be stuck: every key the output device holds down as written so
    // far goes up, written at once. The input thread's next flush first releases what it still believes down.
    void emergencyRelease();
    // Whether the output device holds the key down as written so far. Any thread.
    bool isWrittenDown(std::uint16_t code) const;

    std::uint64_t generation() const { return generation_; }
    bool isDown(std::uint16_t code) const { return code < KEY_CNT && down_[code]; }
    int userHoldCount(std::uint16_t code) const { return code < KEY_CNT ? userCount_[code] : 0; }
    bool failed() const { return failed_; }

private:
    void append(std::uint16_t type, std::uint16_t code, std::int32_t value);
    void appendKey(std::uint16_t code, std::int32_t value);
    void appendSync();
    // Output modifiers to the user's: releases of those the user does not hold, then (withPresses) presses of
    // those the user holds.
    void appendModifierSync(bool withPresses);
    void putBackModifiers();
    // A tap of guardKey: the modifiers down now are no longer alone.
    void appendGuardTap();
    void refill(rx::TimePoint now);
    void refillEvents(rx::TimePoint now);
    std::size_t eventCap() const;
    // The end of what the event budget lets go now: whole reports only.
    std::size_t budgetEnd() const;
    bool writeEvents(std::size_t count);
    void noteWritten(std::size_t from, std::size_t to);
    void clearQueue();

    const int fd_;
    std::bitset<KEY_CNT> down_;
    std::array<std::uint8_t, KEY_CNT> userCount_{};
    // Swallowed presses of keys other than modifiers that are still down.
    int holds_ = 0;
    // The output's modifiers may differ from the user's.
    bool modifiersDirty_ = false;
    // Modifiers down on the output with no other key written since their press.
    std::bitset<KEY_CNT> alone_;
    // Modifiers down on the output that must not go up alone: the taps swallowed a key event since their
    // press, or the press was ours.
    std::bitset<KEY_CNT> interrupted_;
    std::vector<input_event> buffer_;
    std::size_t head_ = 0;  // first event not written yet
    // Where each posted stroke not written yet begins in buffer_.
    std::vector<std::size_t> strokeStarts_;
    std::size_t strokeHead_ = 0;
    std::size_t tokens_ = burstStrokes;
    rx::TimePoint refilledAt_{};
    // Strokes waited for tokens at the last flush.
    bool heldBack_ = false;
    std::size_t eventBudget_ = maxEventsPerWrite;
    rx::TimePoint budgetAt_{};
    rx::TimePoint nextWriteAt_{};
    // Keys down on the device as written, for emergencyRelease(); written by the input thread.
    std::array<std::atomic<std::uint64_t>, (KEY_CNT + 63) / 64> written_{};
    std::atomic<bool> emergency_{false};
    std::uint64_t generation_ = 0;
    bool failed_ = false;
};

}  // namespace vandrel
