// The simulated pasteboards: the general one and the named ones, all in memory. A test plays another
// application copying by clearing the general pasteboard and writing to it. Thumbnails are the simulated
// desktop's (SimThumbnailMaker) unless another maker is given.
#pragma once

#include <map>
#include <mutex>

#include "platform/memory_pasteboard.h"
#include "platform/pasteboard_server.h"
#include "platform/sim/sim_thumbnail_maker.h"

namespace vandrel {

class SimPasteboardServer final : public PasteboardServer {
public:
    explicit SimPasteboardServer(std::shared_ptr<ThumbnailMaker> thumbnails = std::make_shared<SimThumbnailMaker>());

    std::shared_ptr<Pasteboard> general() override { return general_; }
    std::shared_ptr<Pasteboard> named(const std::string& name) override;
    std::shared_ptr<Pasteboard> selection() override { return selection_; }
    std::shared_ptr<ThumbnailMaker> thumbnails() override { return thumbnails_; }

    // The same boards with the simulated desktop's own calls.
    const std::shared_ptr<MemoryPasteboard>& generalBoard() const { return general_; }
    const std::shared_ptr<MemoryPasteboard>& selectionBoard() const { return selection_; }

private:
    const std::shared_ptr<MemoryPasteboard> general_;
    const std::shared_ptr<MemoryPasteboard> selection_;
    const std::shared_ptr<ThumbnailMaker> thumbnails_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<MemoryPasteboard>> named_;
};

}  // namespace vandrel
