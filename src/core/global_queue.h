// The global queue: a small pool of worker threads for work that may run side by side.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/serial_queue.h"
#include "rx/scheduler.h"

namespace vandrel {

// Jobs start in deadline order (queue order among equal deadlines) but may run at the same time as each
// other. An rx::Scheduler, so streams can wait on it; periodic work on it still never overlaps itself.
class GlobalQueue final : public rx::Scheduler {
public:
    static constexpr int kDefaultThreads = 4;

    // The process's one global queue, created on first use.
    static std::shared_ptr<GlobalQueue> shared();

    explicit GlobalQueue(int threads = kDefaultThreads, std::string label = "tqm.Vandrel.global");
    ~GlobalQueue() override;

    rx::Disposable async(std::function<void()> work);
    rx::Disposable asyncAfter(rx::Duration delay, std::function<void()> work);

    // True on one of this pool's threads.
    bool isCurrent() const { return pool_->isWorkerThread(); }

    rx::TimePoint now() const override;
    rx::Disposable schedule(std::function<void()> work) override;
    rx::Disposable scheduleAfter(rx::Duration delay, std::function<void()> work) override;

private:
    std::shared_ptr<detail::WorkerPool> pool_;
};

}  // namespace vandrel
