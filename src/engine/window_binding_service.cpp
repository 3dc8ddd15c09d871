#include "engine/window_binding_service.h"

#include <utility>

#include "core/log.h"

namespace vandrel {

WindowBindingService::RestoreBinding WindowBindingService::setRestoreBinding(RestoreBinding restore)
{
    std::lock_guard lock(mutex_);
    return std::exchange(restore_, std::move(restore));
}

bool WindowBindingService::isAvailable() const
{
    std::lock_guard lock(mutex_);
    return static_cast<bool>(restore_);
}

void WindowBindingService::restoreBinding(std::int64_t bindingId)
{
    RestoreBinding restore;
    {
        std::lock_guard lock(mutex_);
        restore = restore_;
        if (!restore) {
            if (!std::exchange(warnedUnavailable_, true))
                log.warning("Window binding is not available in this build, stored bindings not restored ->",
                            bindingId);
            return;
        }
    }
    restore(bindingId);
}

WindowBindingService::SlotKeys WindowBindingService::idToActivateKey() const
{
    std::lock_guard lock(mutex_);
    return idToActivateKey_;
}

WindowBindingService::SlotKeys WindowBindingService::idToBindKey() const
{
    std::lock_guard lock(mutex_);
    return idToBindKey_;
}

std::optional<VDKey> WindowBindingService::activateKey(int slot) const
{
    std::lock_guard lock(mutex_);
    auto it = idToActivateKey_.find(slot);
    if (it == idToActivateKey_.end()) return std::nullopt;
    return it->second;
}

std::optional<VDKey> WindowBindingService::bindKey(int slot) const
{
    std::lock_guard lock(mutex_);
    auto it = idToBindKey_.find(slot);
    if (it == idToBindKey_.end()) return std::nullopt;
    return it->second;
}

void WindowBindingService::refillKeys(SlotKeys activateKeys, const SlotKeys& bindKeys)
{
    std::lock_guard lock(mutex_);
    idToActivateKey_ = std::move(activateKeys);
    for (const auto& [slot, key] : bindKeys) idToBindKey_.insert_or_assign(slot, key);
}

}  // namespace vandrel
