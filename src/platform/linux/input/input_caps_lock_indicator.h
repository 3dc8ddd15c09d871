// The desktop's own Caps Lock lock, where the desktop keeps one (the X session's keyboard state).
#pragma once

#include <optional>

namespace vandrel {

class InputCapsLockIndicator {
public:
    virtual ~InputCapsLockIndicator() = default;
    // Absent when the state cannot be read.
    virtual std::optional<bool> isLocked() = 0;
    // False when the state cannot be set.
    virtual bool setLocked(bool on) = 0;
};

}  // namespace vandrel
