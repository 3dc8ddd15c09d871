// The simulated pasteboards: the general one and the named ones, all in memory. A test plays another
// application copying by clearing the general pasteboard and writing to it.
#pragma once

#include <map>
#include <mutex>

#include "platform/memory_pasteboard.h"
#include "platform/pasteboard_server.h"

namespace vandrel {

class SimPasteboardServer final : public PasteboardServer {
public:
    SimPasteboardServer();

    std::shared_ptr<Pasteboard> general() override { return general_; }
    std::shared_ptr<Pasteboard> named(const std::string& name) override;

private:
    const std::shared_ptr<MemoryPasteboard> general_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<MemoryPasteboard>> named_;
};

}  // namespace vandrel
