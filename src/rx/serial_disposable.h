// One replaceable disposable: a timer that restarts, or the current attempt of a retried subscription.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

#include "rx/disposable.h"

namespace vandrel::rx {

// Setting a new disposable disposes the one it replaces; after dispose() every new one is disposed at once.
// Copies share the same slot.
class SerialDisposable {
public:
    SerialDisposable() : state_(std::make_shared<State>()) {}

    void set(Disposable d) const
    {
        Disposable old;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->disposed) {
                old = std::move(d);
            } else {
                old = std::exchange(state_->current, std::move(d));
            }
        }
        old.dispose();
    }

    void dispose() const
    {
        Disposable old;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->disposed) return;
            state_->disposed = true;
            old = std::exchange(state_->current, Disposable{});
        }
        old.dispose();
    }

    bool isDisposed() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->disposed;
    }

    // A handle that disposes this slot; the handle does not keep the slot's contents alive.
    Disposable asDisposable() const
    {
        std::weak_ptr<State> weak = state_;
        return Disposable::create([weak] {
            if (auto s = weak.lock()) SerialDisposable(s).dispose();
        });
    }

private:
    struct State {
        std::mutex mutex;
        bool disposed = false;
        Disposable current;
    };
    explicit SerialDisposable(std::shared_ptr<State> s) : state_(std::move(s)) {}
    std::shared_ptr<State> state_;
};

}  // namespace vandrel::rx
