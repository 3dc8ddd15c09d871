// The one instance of a service that the program installs for a `shared()` accessor:
//
//   static InstalledInstance<VDUpdater> slot;
//   slot.install(updater);   // at start-up; null uninstalls
//   slot.set(updater)        // the same, returning the one it replaces
//   slot.get()               // the installed one, or null
//
// Thread-safe; a replaced instance is released outside the lock, so its destructor may use the slot.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace vandrel {

template <class T>
class InstalledInstance {
public:
    std::shared_ptr<T> get() const
    {
        std::lock_guard lock(mutex_);
        return instance_;
    }

    // Installs instance (null uninstalls) and returns the one it replaces.
    std::shared_ptr<T> set(std::shared_ptr<T> instance)
    {
        std::lock_guard lock(mutex_);
        return std::exchange(instance_, std::move(instance));
    }

    void install(std::shared_ptr<T> instance) { set(std::move(instance)); }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> instance_;
};

}  // namespace vandrel
