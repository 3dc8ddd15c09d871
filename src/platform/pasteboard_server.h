// Access to the pasteboards.
#pragma once

#include <memory>
#include <string>

#include "platform/pasteboard.h"
#include "platform/thumbnail_maker.h"

namespace vandrel {

class PasteboardServer {
public:
    virtual ~PasteboardServer() = default;

    // The desktop clipboard; the same object on every call.
    virtual std::shared_ptr<Pasteboard> general() = 0;
    // A pasteboard of that name, made on first use and the same object afterwards.
    virtual std::shared_ptr<Pasteboard> named(const std::string& name) = 0;
    // X's PRIMARY selection (what the user last selected, pasted by Shift+Insert or the middle button); null
    // where the desktop has none. The same object on every call.
    virtual std::shared_ptr<Pasteboard> selection() { return nullptr; }
    // What makes clips' thumbnails and colour swatches; null where the platform reads no images (clips then
    // keep none). The same object on every call.
    virtual std::shared_ptr<ThumbnailMaker> thumbnails() { return nullptr; }
};

}  // namespace vandrel
