#include "core/serial_queue.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <system_error>

#include "core/log.h"

namespace vandrel {

namespace detail {

namespace {

thread_local const WorkerPool* currentPool = nullptr;

// The thread name the kernel shows (15 characters at most): the last part of the label.
void nameThread(const std::string& label)
{
    std::string name = label.substr(label.find_last_of('.') + 1);
    if (name.empty()) name = label;
    name.resize(std::min<std::size_t>(name.size(), 15));
    pthread_setname_np(pthread_self(), name.c_str());
}

}  // namespace

WorkerPool::WorkerPool(std::string label, int threads, QueuePriority priority)
    : label_(std::move(label)), threadCount_(std::max(threads, 1)), priority_(priority)
{
}

rx::TimePoint WorkerPool::now()
{
    return std::chrono::time_point_cast<rx::Duration>(std::chrono::steady_clock::now());
}

rx::Disposable WorkerPool::post(rx::TimePoint due, std::function<void()> work)
{
    Key key;
    {
        std::unique_lock lock(mutex_);
        if (stopping_) {
            lock.unlock();  // a log destination may itself queue work
            log.debug("queue stopped, job dropped ->", label_);
            return {};
        }
        key = Key{due, nextSeq_++};
        jobs_.emplace(key, std::move(work));
        // More jobs than waiting workers: a job would wait behind a busy one (which may be waiting for it).
        if (static_cast<int>(jobs_.size()) > waiting_ && static_cast<int>(threads_.size()) < threadCount_) {
            try {
                threads_.emplace_back([self = shared_from_this()] { self->run(); });
            } catch (const std::system_error&) {
                // No thread to be had now: the job waits for a started worker, or for the next job's attempt.
            }
        }
    }
    wake_.notify_one();
    std::weak_ptr<WorkerPool> weak = weak_from_this();
    return rx::Disposable::create([weak, key] {
        if (auto self = weak.lock()) self->cancel(key);
    });
}

void WorkerPool::cancel(const Key& key)
{
    std::function<void()> dropped;  // destroyed after the lock is released: its captures may queue work
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(key);
    if (it == jobs_.end()) return;
    dropped = std::move(it->second);
    jobs_.erase(it);
}

void WorkerPool::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();
        else if (t.joinable())
            t.join();
    }
}

bool WorkerPool::isWorkerThread() const
{
    return currentPool == this;
}

void WorkerPool::run()
{
    currentPool = this;
    setCurrentThreadLabel(label_);
    nameThread(label_);
    if (priority_ == QueuePriority::background) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);

    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty()) {
            if (stopping_) break;
            ++waiting_;
            wake_.wait(lock);
            --waiting_;
            continue;
        }
        auto it = jobs_.begin();
        const auto current = now();
        if (it->first.due > current) {
            if (stopping_) {
                // Work that is not due yet when the queue stops is dropped.
                auto dropped = std::move(jobs_);
                jobs_.clear();
                lock.unlock();
                dropped.clear();
                lock.lock();
                continue;
            }
            // Wake at least hourly, so a far deadline never reaches the limits of the clock arithmetic.
            // (A copy: another worker may erase the job while this one waits.)
            const rx::TimePoint until = std::min(it->first.due, current + std::chrono::hours(1));
            ++waiting_;
            wake_.wait_until(lock, until);
            --waiting_;
            continue;
        }
        auto job = std::move(it->second);
        jobs_.erase(it);
        lock.unlock();
        try {
            job();
        } catch (const std::exception& e) {
            log.error("job failed on queue " + label_ + " ->", e.what());
        } catch (...) {
            log.error("job failed on queue " + label_ + " with an unknown exception");
        }
        job = nullptr;
        lock.lock();
    }
    currentPool = nullptr;
}

}  // namespace detail

std::shared_ptr<SerialQueue> SerialQueue::make(std::string label, QueuePriority priority)
{
    return std::make_shared<SerialQueue>(std::move(label), priority);
}

SerialQueue::SerialQueue(std::string label, QueuePriority priority)
    : pool_(std::make_shared<detail::WorkerPool>(std::move(label), 1, priority))
{
}

SerialQueue::~SerialQueue()
{
    pool_->stop();
}

rx::Disposable SerialQueue::async(std::function<void()> work)
{
    return pool_->post(now(), std::move(work));
}

rx::Disposable SerialQueue::asyncAfter(rx::Duration delay, std::function<void()> work)
{
    return pool_->post(rx::saturatingAdd(now(), std::max(delay, rx::Duration::zero())), std::move(work));
}

rx::TimePoint SerialQueue::now() const
{
    return detail::WorkerPool::now();
}

rx::Disposable SerialQueue::schedule(std::function<void()> work)
{
    return async(std::move(work));
}

rx::Disposable SerialQueue::scheduleAfter(rx::Duration delay, std::function<void()> work)
{
    return asyncAfter(delay, std::move(work));
}

void SerialQueue::syncImpl(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    const bool ran = runAndWait(
        work, [this](std::function<void()> job) { return !pool_->post(now(), std::move(job)).isDisposed(); });
    if (!ran) {
        // The queue has stopped: run here rather than wait for ever.
        log.warning("sync on a stopped queue runs on the caller ->", label());
        work();
    }
}

}  // namespace vandrel
