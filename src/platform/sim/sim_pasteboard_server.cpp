#include "platform/sim/sim_pasteboard_server.h"

namespace vandrel {

SimPasteboardServer::SimPasteboardServer(std::shared_ptr<ThumbnailMaker> thumbnails)
    : general_(std::make_shared<MemoryPasteboard>("general")),
      selection_(std::make_shared<MemoryPasteboard>("selection")),
      thumbnails_(std::move(thumbnails))
{
}

std::shared_ptr<Pasteboard> SimPasteboardServer::named(const std::string& name)
{
    std::lock_guard lock(mutex_);
    auto& board = named_[name];
    if (!board) board = std::make_shared<MemoryPasteboard>(name);
    return board;
}

}  // namespace vandrel
