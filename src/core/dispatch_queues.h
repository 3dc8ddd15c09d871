// The four named serial queues of the program, each created on first use and shared from then on.
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
};

}  // namespace vandrel
