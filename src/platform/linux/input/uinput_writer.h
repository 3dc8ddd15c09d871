// Writes to the output keyboard and keeps its key state, so that what the output holds down always
// matches what it was told: the keys the user holds (counted per keyboard), and the keys and modifiers of
// posted strokes, which carry exactly the modifiers they name. Used on the input thread; the watchdog may
// call releaseAll() under the backend's output lock.
#pragma once

#include <linux/input.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

#include "platform/linux/input/posting_translator.h"

namespace vandrel {

class UinputWriter {
public:
    explicit UinputWriter(int fd);

    // Each change is queued, with its SYN_REPORT, until flush(): one write carries a whole batch.

    // A key of a keyboard was pressed, released or repeated and the taps let it through. Any modifiers a
    // posted stroke changed are put back to the user's first.
    void userPress(std::uint16_t code);
    void userRelease(std::uint16_t code);
    void userRepeat(std::uint16_t code);

    // A posted stroke: the modifiers are set to exactly those of the stroke (a modifier the user holds
    // is released on the output), then the key is written.
    void postStroke(const EvdevStroke& stroke);
    // Puts the modifiers back to what the user holds.
    void restoreModifiers();

    // Every key down on the output goes up; the user's holds are forgotten (their keyboards are no longer
    // ours). Starts a new generation, so releases of presses from before it are ignored.
    void releaseAll();

    // Writes what is queued. False when the write failed.
    bool flush();
    std::uint64_t generation() const { return generation_; }

    bool isDown(std::uint16_t code) const { return code < KEY_CNT && down_[code]; }
    int userHoldCount(std::uint16_t code) const { return code < KEY_CNT ? userCount_[code] : 0; }
    bool failed() const { return failed_; }

private:
    void append(std::uint16_t type, std::uint16_t code, std::int32_t value);
    void appendKey(std::uint16_t code, std::int32_t value);
    void appendSync();
    void appendModifierRestore();

    const int fd_;
    std::bitset<KEY_CNT> down_;
    std::array<std::uint8_t, KEY_CNT> userCount_{};
    std::vector<input_event> buffer_;
    std::uint64_t generation_ = 0;
    bool modifiersDirty_ = false;
    bool failed_ = false;
};

}  // namespace vandrel
