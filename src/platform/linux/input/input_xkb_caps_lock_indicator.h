// The Caps Lock lock of the X session, through XKB on a display connection of its own (so it may be used
// from any thread, one call at a time).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/input/input_caps_lock_indicator.h"

struct _XDisplay;

namespace vandrel {

class InputXkbCapsLockIndicator final : public InputCapsLockIndicator {
public:
    // Null when there is no X display to talk to (no DISPLAY, or it refuses us).
    static std::unique_ptr<InputXkbCapsLockIndicator> open(const std::string& displayName = {});
    ~InputXkbCapsLockIndicator() override;
    InputXkbCapsLockIndicator(const InputXkbCapsLockIndicator&) = delete;
    InputXkbCapsLockIndicator& operator=(const InputXkbCapsLockIndicator&) = delete;

    std::optional<bool> isLocked() override;
    bool setLocked(bool on) override;

private:
    explicit InputXkbCapsLockIndicator(_XDisplay* display);

    std::mutex mutex_;
    _XDisplay* display_;  // closed by the destructor
};

}  // namespace vandrel
