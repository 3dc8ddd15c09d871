// The keyboards beneath the taps on Linux: the key mapping applied in the input backend's reader, the Caps
// Lock lock of the X session (or, without one, the keyboards' light), and raw key reports before mapping.
#pragma once

#include <memory>

#include "platform/hid_keyboard.h"
#include "platform/linux/input/input_backend.h"
#include "platform/linux/input/input_caps_lock_indicator.h"

namespace vandrel {

class LinuxHidKeyboard final : public HidKeyboard {
public:
    // Without an indicator (no X display) the lock is read from the keyboards' light and set by typing
    // Caps Lock on the virtual keyboard.
    LinuxHidKeyboard(std::shared_ptr<InputBackend> backend, std::unique_ptr<InputCapsLockIndicator> indicator);

    // Keyboard-page entries only; the mapping also holds for keyboards plugged in later, so a keyboard
    // that reconnects keeps working.
    void setUserKeyMapping(const std::vector<KeyMappingEntry>& mapping) override;
    std::optional<bool> capsLockLockState() override;
    bool setCapsLockLockState(bool on) override;
    // Types Caps Lock on the virtual keyboard, behind the events already written: the desktop turns its lock
    // over as for the real key. Reads nothing of the desktop.
    bool toggleCapsLockLockState() override;
    bool startObservingKeys() override;
    void setObservedKeys(std::vector<std::uint32_t> keyboardUsages) override;
    rx::Observable<HidKeyReport> keyReports() override;

private:
    const std::shared_ptr<InputBackend> backend_;
    const std::unique_ptr<InputCapsLockIndicator> indicator_;
};

}  // namespace vandrel
