#include "app/helper_app_controller.h"

#include <unistd.h>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/settings_store.h"

namespace vandrel {

HelperAppController::HelperAppController(Options options)
    : groupSettings_(std::move(options.groupSettings)),
      lock_(options.instanceLock.empty() ? InstanceLock::standardPath() : options.instanceLock)
{
}

bool HelperAppController::recordCurrentPID(bool isTerminatingApp)
{
    if (!isTerminatingApp && !lock_.tryAcquire()) {
        log.warning("Another Vandrel runs (its instance lock is held) ->", lock_.path().string());
        return false;
    }
    if (!lock_.isHeld()) return false;
    SettingsStore& settings = groupSettings_ ? *groupSettings_ : GroupDefaults();
    const std::int64_t value = isTerminatingApp ? -1 : static_cast<std::int64_t>(::getpid());
    settings.set(DefaultsKeys::app_theVandrelCurrentPID, value);
    return true;
}

}  // namespace vandrel
