#include "core/defaults.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace vandrel {

namespace {

class InstalledStore {
public:
    explicit InstalledStore(const char* fileName) : fileName_(fileName) {}

    SettingsStore& get()
    {
        if (auto* store = current_.load(std::memory_order_acquire)) return *store;
        std::lock_guard lock(mutex_);
        if (auto* store = current_.load(std::memory_order_acquire)) return *store;
        installLocked(std::make_shared<SettingsStore>(SettingsStore::standardFolder(), fileName_));
        return *current_.load(std::memory_order_acquire);
    }

    void install(std::shared_ptr<SettingsStore> store)
    {
        if (!store) return;
        std::lock_guard lock(mutex_);
        installLocked(std::move(store));
    }

private:
    void installLocked(std::shared_ptr<SettingsStore> store)
    {
        current_.store(store.get(), std::memory_order_release);
        kept_.push_back(std::move(store));
    }

    const char* fileName_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<SettingsStore>> kept_;
    std::atomic<SettingsStore*> current_{nullptr};
};

InstalledStore& standard()
{
    static InstalledStore installed(SettingsStore::standardFileName);
    return installed;
}

InstalledStore& group()
{
    static InstalledStore installed(SettingsStore::groupFileName);
    return installed;
}

}  // namespace

SettingsStore& Defaults()
{
    return standard().get();
}
SettingsStore& GroupDefaults()
{
    return group().get();
}
void installDefaults(std::shared_ptr<SettingsStore> store)
{
    standard().install(std::move(store));
}
void installGroupDefaults(std::shared_ptr<SettingsStore> store)
{
    group().install(std::move(store));
}

}  // namespace vandrel
