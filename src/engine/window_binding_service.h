// What the engine knows of the window-binding service: the bind and activate key of each window slot, which
// the key service fills from every new conflict-free action table. The service itself lives above the engine
// and reads these keys when it tells the user which key brings a window back.
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "model/vd_key.h"

namespace vandrel {

class WindowBindingService {
public:
    using SlotKeys = std::map<int, VDKey>;

    WindowBindingService() = default;
    WindowBindingService(const WindowBindingService&) = delete;
    WindowBindingService& operator=(const WindowBindingService&) = delete;

    // Slot number to the key that activates the slot's window / binds the focused window to the slot.
    SlotKeys idToActivateKey() const;
    SlotKeys idToBindKey() const;
    std::optional<VDKey> activateKey(int slot) const;
    std::optional<VDKey> bindKey(int slot) const;

    // One step, so no reader sees a half-filled map: the activate keys become exactly `activateKeys`, the
    // bind keys are merged in (a slot keeps its bind key until a later table binds that slot again).
    void refillKeys(SlotKeys activateKeys, const SlotKeys& bindKeys);

private:
    mutable std::mutex mutex_;
    SlotKeys idToActivateKey_;
    SlotKeys idToBindKey_;
};

}  // namespace vandrel
