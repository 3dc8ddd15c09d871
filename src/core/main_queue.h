// The main queue: jobs run on the thread of the Qt application object, one per turn of its event loop
// batch, in deadline order (queue order among equal deadlines). Usable from any thread.
//
//   MainQueue::shared()->async([] { window.show(); });
//   stream | rx::observeOn(MainQueue::shared())
//
// A job never runs inside the call that queued it, even when queued from the main thread. Jobs queued
// before the application object exists wait for it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

#include "core/blocking_call.h"
#include "rx/scheduler.h"

namespace vandrel {

class MainQueue final : public rx::Scheduler {
public:
    static std::shared_ptr<MainQueue> shared();

    // True on the thread of the Qt application object (false while there is none).
    static bool isMainThread();

    MainQueue();
    ~MainQueue() override;

    rx::Disposable async(std::function<void()> work);
    rx::Disposable asyncAfter(rx::Duration delay, std::function<void()> work);

    // Runs f on the main thread and waits for it. From the main thread f runs at once. Never call it from a
    // thread the main thread is waiting for.
    template <class F>
    auto sync(F&& f) -> std::invoke_result_t<F&>
    {
        return callThrough(std::forward<F>(f), [this](const std::function<void()>& work) { syncImpl(work); });
    }

    // Called on the main thread before each job with the time the job was due (how late it starts tells how
    // long the thread was kept from its queue); null: none. Any thread.
    void setJobObserver(std::function<void(rx::TimePoint due)> observer);

    rx::TimePoint now() const override;
    rx::Disposable schedule(std::function<void()> work) override;
    rx::Disposable scheduleAfter(rx::Duration delay, std::function<void()> work) override;

private:
    void syncImpl(const std::function<void()>& work);

    struct Core;
    std::shared_ptr<Core> core_;
};

}  // namespace vandrel
