// Writes to the output keyboard and keeps its key state, so that what the output holds down always
// matches what it was told: the keys the user holds (counted per keyboard), and the keys and modifiers of
// posted strokes, which carry exactly the modifiers they name. Used on the input thread; the watchdog may
// call releaseAll() and flushAll() under the backend's output lock.
//
// Pacing. Every change is queued, in order, with its SYN_REPORT; flush() writes the queue in chunks a
// reader of the device can drain: the kernel keeps only 64 events per reader, and a reader that is handed
// more at once loses the rest (SYN_DROPPED). No chunkPause ever sees more than chunkEvents events written
// (a report longer than that alone goes whole), and chunks are cut after a SYN_REPORT, so a reader that is kept
// from reading for a few milliseconds (a busy machine, one processor) never loses one. A wake-up for the next chunk
// that comes far too late (a stalled machine: the reader did not run either) waits one more pause. Whatever is queued
// behind a waiting chunk (a key the user typed after a long action) waits with it, so the order never changes. A short
// batch after a quiet moment goes out at once.
//
// Lone modifier taps. Applications act on a modifier pressed and released with no other key between (a
// lone Super opens the overview, a lone Alt the menu bar), so the output never shows one that the user did
// not type:
//   - A modifier the user holds that a posted stroke must lift is lifted and stays up on the output until
//     the user presses it again; its physical release writes nothing. (Pressing it again after the stroke
//     would make the user's release a lone tap.)
//   - A modifier about to go up on the output with no other key written since its press (lifted for a
//     stroke right after it went down, or released by the user after keys that the taps swallowed) first
//     gets a tap of guardKey, a key no keymap binds, while it is down.
//   - A modifier the user presses and releases with only passed keys, or nothing, between is written as
//     typed.
#pragma once

#include <linux/input.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

#include "platform/linux/input/posting_translator.h"
#include "rx/scheduler.h"

namespace vandrel {

class UinputWriter {
public:
    static constexpr std::size_t chunkEvents = 32;
    static constexpr rx::Duration chunkPause = std::chrono::milliseconds(3);
    // Has no symbol in any keymap; it only breaks a modifier press from its release.
    static constexpr std::uint16_t guardKey = KEY_UNKNOWN;

    explicit UinputWriter(int fd);

    // A key of a keyboard was pressed, released or repeated and the taps let it through. Any modifiers a
    // posted stroke changed are put back to the user's first.
    void userPress(std::uint16_t code);
    void userRelease(std::uint16_t code);
    void userRepeat(std::uint16_t code);
    // A key event of a keyboard that the taps swallowed: for applications nothing came between the
    // modifiers down now and their release, although the user typed something.
    void userEventSwallowed();

    // A posted stroke: the modifiers are set to exactly those of the stroke (a modifier the user holds is
    // lifted on the output), then the key is written.
    void postStroke(const EvdevStroke& stroke);
    // Puts the modifiers back to what the user holds (modifiers lifted for a stroke stay up).
    void restoreModifiers();

    // Every key down on the output goes up; the user's holds are forgotten (their keyboards are no longer
    // ours). Starts a new generation, so releases of presses from before it are ignored.
    void releaseAll();

    // Writes what the pacing allows at `now`. False when a write failed.
    bool flush(rx::TimePoint now);
    // Writes everything queued at once (shutting down, an emergency). False when a write failed.
    bool flushAll();
    bool hasPending() const { return head_ < buffer_.size(); }
    // When flush() may write more (meaningful while hasPending()).
    rx::TimePoint nextChunkAt() const;

    std::uint64_t generation() const { return generation_; }
    bool isDown(std::uint16_t code) const { return code < KEY_CNT && down_[code]; }
    int userHoldCount(std::uint16_t code) const { return code < KEY_CNT ? userCount_[code] : 0; }
    bool failed() const { return failed_; }

private:
    void append(std::uint16_t type, std::uint16_t code, std::int32_t value);
    void appendKey(std::uint16_t code, std::int32_t value);
    void appendSync();
    void appendModifierRestore();
    // A tap of guardKey: the modifiers down now are no longer alone.
    void appendGuardTap();
    bool writeEvents(std::size_t count);

    const int fd_;
    std::bitset<KEY_CNT> down_;
    std::array<std::uint8_t, KEY_CNT> userCount_{};
    // Modifiers the user holds that a stroke lifted; they stay up until pressed again.
    std::bitset<KEY_CNT> lifted_;
    // Modifiers down on the output with no other key written since their press.
    std::bitset<KEY_CNT> alone_;
    // Modifiers down on the output since whose press the taps swallowed a key event.
    std::bitset<KEY_CNT> interrupted_;
    std::vector<input_event> buffer_;
    std::size_t head_ = 0;  // first event not written yet
    // The writes of the last chunkPause, oldest first, and how many events they carried.
    struct Sent {
        rx::TimePoint at;
        std::size_t count;
    };
    std::array<Sent, chunkEvents> recent_{};
    std::size_t recentHead_ = 0;
    std::size_t recentSize_ = 0;
    std::size_t recentEvents_ = 0;
    // Events wait for the pause to pass.
    bool heldBack_ = false;
    std::uint64_t generation_ = 0;
    bool modifiersDirty_ = false;
    bool failed_ = false;
};

}  // namespace vandrel
