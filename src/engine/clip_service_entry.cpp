#include "engine/clip_service_entry.h"

#include <mutex>
#include <utility>

#include "foundation/log.h"

namespace vandrel {

namespace {

struct Registered {
    std::mutex mutex;
    ClipServiceEntry::StartMonitoring start;
};

Registered& registered()
{
    static Registered r;
    return r;
}

}  // namespace

ClipServiceEntry::StartMonitoring ClipServiceEntry::setStartMonitoring(StartMonitoring start)
{
    auto& r = registered();
    std::lock_guard lock(r.mutex);
    return std::exchange(r.start, std::move(start));
}

bool ClipServiceEntry::startMonitoring()
{
    StartMonitoring start;
    {
        auto& r = registered();
        std::lock_guard lock(r.mutex);
        start = r.start;
    }
    if (!start) {
        log.warning("The clipboard services are not available in this build, not started");
        return false;
    }
    start();
    return true;
}

}  // namespace vandrel
