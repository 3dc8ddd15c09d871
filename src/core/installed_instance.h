// The one instance of a service that the program installs for a `shared()` accessor:
//
//   static InstalledInstance<VDUpdater> slot;
//   slot.install(updater);   // at start-up; null uninstalls
//   slot.set(updater)        // the same, returning the one it replaces
//   slot.get()               // the installed one, or null
//
// Thread-safe; a replaced instance is released outside the lock, so its destructor may use the slot.
//
// The program installs through an Installations, which empties the slots again, last installed first:
//
//   Installations installations;
//   installations.install(VDUpdater::installed(), updater);
//   ...                      // when `installations` goes, the slot is emptied (unless replaced since)
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

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

    // Uninstalls `expected` when it is still the installed one; true when it was.
    bool resetIf(const std::shared_ptr<T>& expected)
    {
        std::shared_ptr<T> old;
        {
            std::lock_guard lock(mutex_);
            if (instance_ != expected) return false;
            old = std::exchange(instance_, nullptr);
        }
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> instance_;
};

// What one owner installed; undone in reverse order of installation when the owner goes.
class Installations {
public:
    Installations() = default;
    ~Installations() { clear(); }
    Installations(const Installations&) = delete;
    Installations& operator=(const Installations&) = delete;

    // Installs instance; the slot is emptied again when this goes, unless another was installed since.
    template <class T>
    void install(InstalledInstance<T>& slot, std::shared_ptr<T> instance)
    {
        std::weak_ptr<T> installed = instance;
        slot.install(std::move(instance));
        // Held weakly: an instance replaced since goes when its replacement comes.
        undo_.push_back([&slot, installed] {
            if (const auto instance = installed.lock()) slot.resetIf(instance);
        });
    }

    // Empties the slot when this goes, whatever it then holds (an instance made on first use).
    template <class T>
    void emptyAtEnd(InstalledInstance<T>& slot)
    {
        undo_.push_back([&slot] { slot.set(nullptr); });
    }

    // How many installations were made so far: a point that clearTo() undoes back to.
    std::size_t mark() const { return undo_.size(); }
    // Undoes the installations made since mark, last first; those before it stay.
    void clearTo(std::size_t mark)
    {
        while (undo_.size() > mark) {
            const auto undo = std::move(undo_.back());
            undo_.pop_back();
            undo();
        }
    }
    // Undoes every installation, last first.
    void clear() { clearTo(0); }

private:
    std::vector<std::function<void()>> undo_;
};

}  // namespace vandrel
