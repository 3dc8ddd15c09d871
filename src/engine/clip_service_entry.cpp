#include "engine/clip_service_entry.h"

#include <utility>

#include "core/log.h"
#include "core/registered_function.h"

namespace vandrel {

namespace {

RegisteredFunction<void()>& registered()
{
    static RegisteredFunction<void()> r;
    return r;
}

}  // namespace

ClipServiceEntry::StartMonitoring ClipServiceEntry::setStartMonitoring(StartMonitoring start)
{
    return registered().set(std::move(start));
}

bool ClipServiceEntry::startMonitoring()
{
    const StartMonitoring start = registered().get();
    if (!start) {
        log.warning("The clipboard services are not available in this build, not started");
        return false;
    }
    start();
    return true;
}

}  // namespace vandrel
