// A function that a higher layer registers at start-up for a lower one to call (the lower layer links none
// of the higher one). Registering and reading are thread-safe; the caller runs its copy outside the lock, so
// a registered function may itself register another.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace vandrel {

template <class Signature>
class RegisteredFunction {
public:
    using Function = std::function<Signature>;

    // Installs f (an empty one removes it) and returns the previous one.
    Function set(Function f)
    {
        std::lock_guard lock(mutex_);
        return std::exchange(function_, std::move(f));
    }

    // A copy of the registered function; empty when none is.
    Function get() const
    {
        std::lock_guard lock(mutex_);
        return function_;
    }

private:
    mutable std::mutex mutex_;
    Function function_;
};

}  // namespace vandrel
