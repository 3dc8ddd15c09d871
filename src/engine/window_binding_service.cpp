#include "engine/window_binding_service.h"

#include <utility>

namespace vandrel {

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
