#include "app/helper_app_controller.h"

#include <unistd.h>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/settings_store.h"

namespace vandrel {

HelperAppController::HelperAppController(Options options) : groupSettings_(std::move(options.groupSettings)) {}

bool HelperAppController::recordCurrentPID(bool isTerminatingApp)
{
    if (isTerminatingApp && !recorded_) return false;
    recorded_ = true;
    SettingsStore& settings = groupSettings_ ? *groupSettings_ : GroupDefaults();
    const std::int64_t value = isTerminatingApp ? -1 : static_cast<std::int64_t>(::getpid());
    settings.set(DefaultsKeys::app_theVandrelCurrentPID, value);
    return true;
}

}  // namespace vandrel
