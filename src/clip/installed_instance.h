// The one instance of a service that the program installs, behind the service's shared() accessor.
// Thread-safe.
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

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> instance_;
};

}  // namespace vandrel
