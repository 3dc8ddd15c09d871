// The output keyboard of the input backend: the virtual keyboard (uinput) that everything passed and posted
// goes to, its writer (pacing, modifiers that follow the hands) and the lights the desktop sets on it. The
// input thread owns it and uses it without a lock; only emergencyRelease(), isKeyDown() and the lights' Caps
// Lock state are for any thread.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <optional>

#include "platform/linux/input/input_output_device.h"
#include "platform/linux/input/uinput_writer.h"

namespace vandrel {

class OutputKeyboard {
public:
    explicit OutputKeyboard(std::unique_ptr<InputOutputDevice> device);

    int fd() const { return device_->fd(); }
    UinputWriter& writer() { return writer_; }
    // A write failed: nothing more is written.
    bool broken() const { return broken_.load(std::memory_order_relaxed); }

    // After a round of work: the user's modifiers put back, then what the pacing allows at `now` (everything
    // when `everything`). False when the write failed (the output is then broken).
    bool flush(rx::TimePoint now, bool everything = false);
    bool hasPending() const { return !broken() && writer_.hasPending(); }
    // The time-out, in milliseconds, that wakes the loop for the next chunk of a paced write (the shorter of
    // it and timeoutMs; -1 waits for ever).
    int timeoutMs(int timeoutMs, rx::TimePoint now) const;

    // Reads the lights the desktop set. The lights then shown: lights().
    enum class Lights { unchanged, changed, gone };
    Lights readLights();
    // Num, Caps and Scroll Lock as the desktop set them; absent until it did.
    const std::optional<std::array<std::int32_t, 3>>& lights() const { return lights_; }
    // The Caps Lock light as the desktop set it here; absent until it did. Any thread.
    std::optional<bool> capsLockLight() const;

    // Any thread: every key down on the output goes up (see UinputWriter::emergencyRelease).
    void emergencyRelease() { writer_.emergencyRelease(); }
    bool isKeyDown(std::uint16_t code) const { return writer_.isWrittenDown(code); }

private:
    const std::unique_ptr<InputOutputDevice> device_;
    UinputWriter writer_;
    std::atomic<bool> broken_{false};
    std::optional<std::array<std::int32_t, 3>> lights_;
    std::atomic<int> capsLight_{-1};  // -1 unknown, else 0 or 1
};

}  // namespace vandrel
