// A group of disposables that ends together; used by operators for their upstream and timer handles.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "rx/disposable.h"

namespace vandrel::rx {

// Disposing it disposes everything added, in the order added. Adding to a disposed group disposes the new
// item at once, so a subscription that ends while it is still being set up releases what it took.
class CompositeDisposable {
public:
    CompositeDisposable() = default;
    CompositeDisposable(const CompositeDisposable&) = delete;
    CompositeDisposable& operator=(const CompositeDisposable&) = delete;

    void add(Disposable d)
    {
        {
            std::lock_guard lock(mutex_);
            if (!disposed_) {
                if (items_.size() >= 16 && items_.size() % 16 == 0)
                    std::erase_if(items_, [](const Disposable& x) { return x.isDisposed(); });
                items_.push_back(std::move(d));
                return;
            }
        }
        d.dispose();
    }

    void dispose()
    {
        std::vector<Disposable> old;
        {
            std::lock_guard lock(mutex_);
            if (disposed_) return;
            disposed_ = true;
            old.swap(items_);
        }
        for (auto& d : old) d.dispose();
    }

    bool isDisposed() const
    {
        std::lock_guard lock(mutex_);
        return disposed_;
    }

private:
    mutable std::mutex mutex_;
    bool disposed_ = false;
    std::vector<Disposable> items_;
};

}  // namespace vandrel::rx
