// Disposables: a handle that cancels a subscription or a scheduled job, and a bag that owns them.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vandrel::rx {

class DisposeBag;

// A shared handle; copies refer to the same subscription. The dispose action runs at most once, on the
// first dispose() from any copy. A default-constructed Disposable is empty and disposing it does nothing.
class Disposable {
public:
    Disposable() = default;

    static Disposable create(std::function<void()> onDispose)
    {
        Disposable d;
        d.state_ = std::make_shared<State>();
        d.state_->action = std::move(onDispose);
        return d;
    }

    void dispose() const
    {
        if (!state_) return;
        if (state_->disposed.exchange(true, std::memory_order_acq_rel)) return;
        std::function<void()> action;
        {
            std::lock_guard lock(state_->mutex);
            action.swap(state_->action);
        }
        if (action) action();
    }

    bool isDisposed() const { return !state_ || state_->disposed.load(std::memory_order_acquire); }

    // Hands the subscription to a bag: it lives until the bag is dropped or replaced.
    inline void disposed(DisposeBag& bag) const;

private:
    struct State {
        std::atomic<bool> disposed{false};
        std::mutex mutex;
        std::function<void()> action;
    };
    std::shared_ptr<State> state_;
};

// Owns disposables. Destroying the bag, assigning a new bag to it, or calling dispose() disposes every
// disposable it holds. Thread-safe.
class DisposeBag {
public:
    DisposeBag() = default;
    DisposeBag(const DisposeBag&) = delete;
    DisposeBag& operator=(const DisposeBag&) = delete;
    DisposeBag(DisposeBag&& other) noexcept
    {
        std::lock_guard lock(other.mutex_);
        items_ = std::move(other.items_);
        other.items_.clear();
    }
    DisposeBag& operator=(DisposeBag&& other) noexcept
    {
        if (this == &other) return *this;
        std::vector<Disposable> incoming;
        {
            std::lock_guard lock(other.mutex_);
            incoming.swap(other.items_);
        }
        std::vector<Disposable> old;
        {
            std::lock_guard lock(mutex_);
            old.swap(items_);
            items_ = std::move(incoming);
        }
        for (auto& d : old) d.dispose();
        return *this;
    }
    ~DisposeBag()
    {
        {
            // A dispose action that inserts into this bag while it dies gets its disposable disposed at once.
            std::lock_guard lock(mutex_);
            dying_ = true;
        }
        dispose();
    }

    void insert(Disposable d)
    {
        {
            std::lock_guard lock(mutex_);
            if (!dying_) {
                // Keep the bag from growing without bound when subscriptions end on their own.
                if (items_.size() >= 64 && items_.size() % 64 == 0)
                    std::erase_if(items_, [](const Disposable& x) { return x.isDisposed(); });
                items_.push_back(std::move(d));
                return;
            }
        }
        d.dispose();
    }

    // Disposes everything held now; the bag stays usable.
    void dispose()
    {
        std::vector<Disposable> old;
        {
            std::lock_guard lock(mutex_);
            old.swap(items_);
        }
        for (auto& d : old) d.dispose();
    }

    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Disposable> items_;
    bool dying_ = false;
};

inline void Disposable::disposed(DisposeBag& bag) const
{
    bag.insert(*this);
}

}  // namespace vandrel::rx
