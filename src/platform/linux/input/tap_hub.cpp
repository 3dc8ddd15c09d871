#include "platform/linux/input/tap_hub.h"

#include <algorithm>

namespace vandrel {

class TapHub::Handle final : public EventTap {
public:
    Handle(std::shared_ptr<Entry> entry, std::weak_ptr<TapHub> hub) : entry_(std::move(entry)), hub_(std::move(hub)) {}
    ~Handle() override
    {
        if (auto hub = hub_.lock()) hub->remove(entry_);
    }
    bool isEnabled() const override { return entry_->enabled.load(); }
    void setEnabled(bool enabled) override
    {
        entry_->enabled.store(enabled);
        if (!enabled) return;
        if (auto hub = hub_.lock()) hub->enabled();
    }
    void setOnDisabled(std::function<void()> handler) override
    {
        if (auto hub = hub_.lock()) hub->setOnDisabled(entry_, std::move(handler));
    }

private:
    const std::shared_ptr<Entry> entry_;
    const std::weak_ptr<TapHub> hub_;
};

TapHub::TapHub() : lists_(std::make_shared<const Lists>()) {}

TapHub::Reader::Reader(std::shared_ptr<TapHub> hub) : hub_(std::move(hub))
{
    refresh();
}

void TapHub::Reader::refresh()
{
    if (hub_->version_.load(std::memory_order_acquire) == version_) return;
    std::lock_guard lock(hub_->mutex_);
    lists_ = hub_->lists_;
    version_ = hub_->version_.load(std::memory_order_relaxed);
}

void TapHub::publish(std::shared_ptr<const Lists> next)
{
    hasTaps_.store(std::any_of(next->byType.begin(), next->byType.end(), [](const List& l) { return !l.empty(); }),
                   std::memory_order_release);
    lists_ = std::move(next);
    version_.fetch_add(1, std::memory_order_release);
    if (onChange_) onChange_();
}

std::shared_ptr<EventTap> TapHub::add(KeyEventType type, TapCallback callback, TapPlacement placement)
{
    auto entry = std::make_shared<Entry>();
    entry->type = type;
    entry->callback = std::move(callback);
    {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<Lists>(*lists_);
        auto& list = next->byType[static_cast<std::size_t>(type)];
        if (placement == TapPlacement::headInsert)
            list.insert(list.begin(), entry);
        else
            list.push_back(entry);
        publish(std::move(next));
    }
    return std::make_shared<Handle>(entry, weak_from_this());
}

void TapHub::remove(const std::shared_ptr<Entry>& entry)
{
    std::shared_ptr<const Lists> old;  // released outside the lock
    std::lock_guard lock(mutex_);
    auto next = std::make_shared<Lists>(*lists_);
    std::erase(next->byType[static_cast<std::size_t>(entry->type)], entry);
    old = lists_;
    publish(std::move(next));
}

void TapHub::disableAll()
{
    std::vector<std::function<void()>> told;
    {
        std::lock_guard lock(mutex_);
        for (const auto& list : lists_->byType)
            for (const auto& entry : list) {
                entry->enabled.store(false);
                if (entry->onDisabled) told.push_back(entry->onDisabled);
            }
    }
    for (const auto& handler : told) handler();
}

void TapHub::setOnDisabled(const std::shared_ptr<Entry>& entry, std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    entry->onDisabled = std::move(handler);
}

void TapHub::enabled()
{
    std::lock_guard lock(mutex_);
    if (onEnable_) onEnable_();
}

void TapHub::setObservers(std::function<void()> onChange, std::function<void()> onEnable)
{
    std::lock_guard lock(mutex_);
    onChange_ = std::move(onChange);
    onEnable_ = std::move(onEnable);
}

}  // namespace vandrel
