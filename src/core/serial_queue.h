// Named serial queues: one worker thread each, jobs run one at a time in queue order.
//
//   auto queue = SerialQueue::make("tqm.Vandrel.keyEvent");
//   queue->async([] { ... });
//   queue->asyncAfter(rx::milliseconds(100), [] { ... });
//   int n = queue->sync([] { return 42; });
//
// A SerialQueue is an rx::Scheduler, so streams can wait and deliver on it. Its clock is steady_clock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/blocking_call.h"
#include "rx/scheduler.h"

namespace vandrel {

// How the operating system should weigh a queue's threads.
enum class QueuePriority {
    normal,      // interactive work (key events, window binding, clipboard)
    background,  // work nobody waits for (database writes): the threads run at a higher nice value
};

namespace detail {

// Worker threads serving one queue of jobs ordered by deadline, then by the order they were queued.
// Shared by the serial queues (one thread) and the global queue (several). A worker starts only when the queue holds
// more jobs than workers waiting for one, so a queue nobody uses costs no thread.
class WorkerPool : public std::enable_shared_from_this<WorkerPool> {
public:
    WorkerPool(std::string label, int threads, QueuePriority priority);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues work for `due`. Returns an empty disposable and drops the work once the pool has stopped.
    rx::Disposable post(rx::TimePoint due, std::function<void()> work);

    // Stops taking jobs, lets the workers finish the jobs that are due, drops the later ones and joins the
    // workers (a worker that stops its own pool is left to finish on its own).
    void stop();

    bool isWorkerThread() const;
    const std::string& label() const { return label_; }

    static rx::TimePoint now();

private:
    struct Key {
        rx::TimePoint due;
        std::uint64_t seq;
        bool operator<(const Key& o) const { return due != o.due ? due < o.due : seq < o.seq; }
    };

    void run();
    void cancel(const Key& key);

    const std::string label_;
    const int threadCount_;
    const QueuePriority priority_;
    std::mutex mutex_;
    int waiting_ = 0;  // workers waiting for a job or its deadline
    std::condition_variable wake_;
    std::map<Key, std::function<void()>> jobs_;
    std::uint64_t nextSeq_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace detail

class SerialQueue final : public rx::Scheduler {
public:
    static std::shared_ptr<SerialQueue> make(std::string label, QueuePriority priority = QueuePriority::normal);

    // Prefer make(): a scheduler must be owned by a std::shared_ptr.
    explicit SerialQueue(std::string label, QueuePriority priority = QueuePriority::normal);
    // Jobs already due still run; delayed ones that are not due yet are dropped.
    ~SerialQueue() override;

    const std::string& label() const { return pool_->label(); }

    rx::Disposable async(std::function<void()> work);
    rx::Disposable asyncAfter(rx::Duration delay, std::function<void()> work);

    // Runs f on the queue and waits for it; its result or exception comes back to the caller. Called from
    // the queue's own thread, f runs at once (waiting for itself would never end).
    template <class F>
    auto sync(F&& f) -> std::invoke_result_t<F&>
    {
        return callThrough(std::forward<F>(f), [this](const std::function<void()>& work) { syncImpl(work); });
    }

    // True on the queue's worker thread.
    bool isCurrent() const { return pool_->isWorkerThread(); }

    rx::TimePoint now() const override;
    rx::Disposable schedule(std::function<void()> work) override;
    rx::Disposable scheduleAfter(rx::Duration delay, std::function<void()> work) override;

private:
    void syncImpl(const std::function<void()>& work);

    std::shared_ptr<detail::WorkerPool> pool_;
};

}  // namespace vandrel
