// What the engine knows of the window-binding service: the bind and activate key of each window slot, which
// the key service fills from every new conflict-free action table, and the restore of one stored binding,
// which start-up calls once per stored record. The service itself lives above the engine and registers its
// restore function here; until it does, a restore only logs (once) that window binding is not available.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "model/vd_key.h"

namespace vandrel {

class WindowBindingService {
public:
    using RestoreBinding = std::function<void(std::int64_t bindingId)>;
    using SlotKeys = std::map<int, VDKey>;

    WindowBindingService() = default;
    WindowBindingService(const WindowBindingService&) = delete;
    WindowBindingService& operator=(const WindowBindingService&) = delete;

    // Installs the restore function of the window-binding service (an empty one removes it) and returns the
    // previous one. Thread-safe.
    RestoreBinding setRestoreBinding(RestoreBinding restore);
    bool isAvailable() const;

    // Finds the live window of one stored binding again. Runs on the caller's thread (the window-binding
    // queue); every failure is handled by the service.
    void restoreBinding(std::int64_t bindingId);

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
    RestoreBinding restore_;
    bool warnedUnavailable_ = false;
    SlotKeys idToActivateKey_;
    SlotKeys idToBindKey_;
};

}  // namespace vandrel
