#include "core/app_utils.h"

#include <utility>

#include "core/log.h"
#include "core/registered_function.h"

namespace vandrel {

namespace {

RegisteredFunction<void()>& checkForUpdatesHandler()
{
    static RegisteredFunction<void()> h;
    return h;
}

RegisteredFunction<void()>& restartHandler()
{
    static RegisteredFunction<void()> h;
    return h;
}

}  // namespace

void AppUtils::checkForUpdates()
{
    if (auto handler = checkForUpdatesHandler().get())
        handler();
    else
        log.info("checkForUpdates: no update checker is registered");
}

void AppUtils::restartApp()
{
    if (auto handler = restartHandler().get())
        handler();
    else
        log.info("restartApp: no restart handler is registered");
}

void AppUtils::setCheckForUpdatesHandler(std::function<void()> handler)
{
    checkForUpdatesHandler().set(std::move(handler));
}

void AppUtils::setRestartHandler(std::function<void()> handler)
{
    restartHandler().set(std::move(handler));
}

}  // namespace vandrel
