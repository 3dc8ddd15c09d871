#include "core/dispatch_queues.h"

namespace vandrel {

std::shared_ptr<SerialQueue> DispatchQueues::vandrelKeyEvent()
{
    static const auto queue = SerialQueue::make("tqm.Vandrel.keyEvent");
    return queue;
}

std::shared_ptr<SerialQueue> DispatchQueues::windowBinding()
{
    static const auto queue = SerialQueue::make("tqm.Vandrel.windowBinding");
    return queue;
}

std::shared_ptr<SerialQueue> DispatchQueues::realm()
{
    static const auto queue = SerialQueue::make("tqm.Vandrel.realm", QueuePriority::background);
    return queue;
}

std::shared_ptr<SerialQueue> DispatchQueues::watchdogs()
{
    static const auto queue = SerialQueue::make("tqm.Vandrel.watchdog");
    return queue;
}

std::shared_ptr<SerialQueue> DispatchQueues::clipService()
{
    static const auto queue = SerialQueue::make("tqm.Vandrel.clipService");
    return queue;
}

}  // namespace vandrel
