#include "foundation/app_utils.h"

#include <mutex>

#include "foundation/log.h"

namespace vandrel {

namespace {

struct Handlers {
    std::mutex mutex;
    std::function<void()> checkForUpdates;
    std::function<void()> restart;
};

Handlers& handlers()
{
    static Handlers h;
    return h;
}

std::function<void()> take(std::function<void()> Handlers::*member)
{
    auto& h = handlers();
    std::lock_guard lock(h.mutex);
    return h.*member;
}

}  // namespace

void AppUtils::checkForUpdates()
{
    if (auto handler = take(&Handlers::checkForUpdates))
        handler();
    else
        log.info("checkForUpdates: no update checker is registered");
}

void AppUtils::restartApp()
{
    if (auto handler = take(&Handlers::restart))
        handler();
    else
        log.info("restartApp: no restart handler is registered");
}

void AppUtils::setCheckForUpdatesHandler(std::function<void()> handler)
{
    auto& h = handlers();
    std::lock_guard lock(h.mutex);
    h.checkForUpdates = std::move(handler);
}

void AppUtils::setRestartHandler(std::function<void()> handler)
{
    auto& h = handlers();
    std::lock_guard lock(h.mutex);
    h.restart = std::move(handler);
}

}  // namespace vandrel
