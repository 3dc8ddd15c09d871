// The named serial queues of the program, each created on first use and shared from then on.
//
//   DispatchQueues::vandrelKeyEvent()->async([] { ... });
#pragma once

#include <memory>

#include "core/serial_queue.h"

namespace vandrel {

class DispatchQueues {
public:
    // Key-event delivery, key-scheme installation and activation. Interactive.
    static std::shared_ptr<SerialQueue> vandrelKeyEvent();
    // Restoring and running window bindings. Interactive.
    static std::shared_ptr<SerialQueue> windowBinding();
    // Asynchronous object-database writes. Background.
    static std::shared_ptr<SerialQueue> realm();
    // Pasteboard polling and clip storage. Interactive.
    static std::shared_ptr<SerialQueue> clipService();
    // The safety timers that must fire however busy the others are: the input path's stall watchdog (and
    // the input thread's delayed jobs), the hotstring evaluator's time limit. Its jobs only look and let go,
    // so one thread serves them all.
    static std::shared_ptr<SerialQueue> watchdogs();
};

}  // namespace vandrel
