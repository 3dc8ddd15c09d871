// Notices a blocked main thread: from another scheduler it sends the main queue a small job every quarter of
// the threshold and calls onBlocked once when one job has waited the threshold or longer. It is quiet
// again once the main queue has caught up, and calls onBlocked again for a later stall.
//
//   Watchdog watchdog(rx::seconds(0.4), MainQueue::shared(), GlobalQueue::shared(),
//                     [] { log.warning("main thread has been blocked for too long!!!"); });
//
// onBlocked runs on the watching scheduler. Destroying the watchdog stops it; a job still queued on the main
// queue then does nothing.
#pragma once

#include <functional>
#include <memory>

#include "rx/scheduler.h"

namespace vandrel {

class Watchdog {
public:
    Watchdog(rx::Duration threshold, rx::SchedulerPtr mainQueue, rx::SchedulerPtr watcher,
             std::function<void()> onBlocked);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    struct State;
    std::shared_ptr<State> state_;
    rx::Disposable ticks_;
};

}  // namespace vandrel
