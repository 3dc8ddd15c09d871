#include "core/global_queue.h"

#include <algorithm>

namespace vandrel {

std::shared_ptr<GlobalQueue> GlobalQueue::shared()
{
    static const auto queue = std::make_shared<GlobalQueue>();
    return queue;
}

GlobalQueue::GlobalQueue(int threads, std::string label)
    : pool_(std::make_shared<detail::WorkerPool>(std::move(label), threads, QueuePriority::normal))
{
}

GlobalQueue::~GlobalQueue()
{
    pool_->stop();
}

rx::Disposable GlobalQueue::async(std::function<void()> work)
{
    return pool_->post(now(), std::move(work));
}

rx::Disposable GlobalQueue::asyncAfter(rx::Duration delay, std::function<void()> work)
{
    return pool_->post(rx::saturatingAdd(now(), std::max(delay, rx::Duration::zero())), std::move(work));
}

rx::TimePoint GlobalQueue::now() const
{
    return detail::WorkerPool::now();
}

rx::Disposable GlobalQueue::schedule(std::function<void()> work)
{
    return async(std::move(work));
}

rx::Disposable GlobalQueue::scheduleAfter(rx::Duration delay, std::function<void()> work)
{
    return asyncAfter(delay, std::move(work));
}

}  // namespace vandrel
