// Access to the pasteboards.
#pragma once

#include <memory>
#include <string>

#include "platform/pasteboard.h"

namespace vandrel {

class PasteboardServer {
public:
    virtual ~PasteboardServer() = default;

    // The desktop clipboard; the same object on every call.
    virtual std::shared_ptr<Pasteboard> general() = 0;
    // A pasteboard of that name, made on first use and the same object afterwards.
    virtual std::shared_ptr<Pasteboard> named(const std::string& name) = 0;
};

}  // namespace vandrel
