// Notices a blocked main thread from the thread itself: before each job of the main queue runs, it looks at
// how late the job starts. A job that waited the threshold or longer means the thread was kept from its
// queue that long; onBlocked is called once per stall (the jobs that queued up during the same stall are not
// reported again). No timer and no other thread take part, so a program at rest pays nothing for it, and a
// stall nobody waited on goes unreported.
//
//   Watchdog watchdog(rx::seconds(0.4), MainQueue::shared(),
//                     [](rx::Duration late) { log.warning("main thread has been blocked for too long!!!"); });
//   watchdog.watch(*MainQueue::shared());
//
// jobStarting() is what the main queue calls; tests call it with a virtual clock. On the watched thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "rx/scheduler.h"

namespace vandrel {

class MainQueue;

class Watchdog {
public:
    // `clock` gives the time (its now()); onBlocked gets how late the job started.
    Watchdog(rx::Duration threshold, rx::SchedulerPtr clock, std::function<void(rx::Duration)> onBlocked);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Looks at every job of `queue` from now until the watchdog goes.
    void watch(MainQueue& queue);

    // A job that was due at `due` is about to run.
    void jobStarting(rx::TimePoint due);

private:
    struct State;
    std::shared_ptr<State> state_;
    MainQueue* watched_ = nullptr;
};

}  // namespace vandrel
