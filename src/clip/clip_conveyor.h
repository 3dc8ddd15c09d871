// The streams on which captured pasteboard items and new clips travel between the clipboard services. The
// capture service publishes on the conveyor that is active when the content arrives: the extra-clipboard
// service's by default, another service's while it has switched to its own (ClipService::switchConveyorTo).
// Conveyors are told apart by a number taken at creation from a process-wide counter.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "clip/vd_clip.h"
#include "clip/vd_clipboard.h"
#include "platform/pasteboard_item.h"
#include "rx/subjects.h"

namespace vandrel {

class ClipConveyor {
public:
    // A new clip and the clipboard it was captured for.
    using ClipDelivery = std::pair<VDClip, std::optional<VDClipboard>>;
    // A deep copy of the pasteboard's items and the clipboard they are meant for.
    using ItemsDelivery = std::pair<std::vector<PasteboardItem>, std::optional<VDClipboard>>;

    static std::shared_ptr<ClipConveyor> make() { return std::make_shared<ClipConveyor>(); }
    ClipConveyor() : hashValue_(counter().fetch_add(1)) {}
    ClipConveyor(const ClipConveyor&) = delete;
    ClipConveyor& operator=(const ClipConveyor&) = delete;

    rx::PublishSubject<ClipDelivery> vdClipConveyor;
    rx::PublishSubject<ItemsDelivery> pasteboardItemsConveyor;

    std::int64_t hashValue() const { return hashValue_; }
    bool operator==(const ClipConveyor& other) const { return hashValue_ == other.hashValue_; }

private:
    static std::atomic<std::int64_t>& counter()
    {
        static std::atomic<std::int64_t> next{0};
        return next;
    }
    const std::int64_t hashValue_;
};

// Adopted by the services that own a conveyor of their own.
class ClipConveyorProtocol {
public:
    virtual ~ClipConveyorProtocol() = default;
    virtual std::shared_ptr<ClipConveyor> clipConveyor() const = 0;
};

}  // namespace vandrel
