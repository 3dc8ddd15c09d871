#include "app/migration.h"

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"

namespace vandrel {

Migration::Migration(std::shared_ptr<SettingsStore> settings, std::string version)
    : settings_(std::move(settings)), version_(std::move(version))
{
    if (version_.empty()) version_ = AppInfo::version();
}

Migration& Migration::shared()
{
    static Migration instance;
    return instance;
}

void Migration::run()
{
    SettingsStore& settings = settings_ ? *settings_ : Defaults();
    const std::string last = settings.get(DefaultsKeys::app_theVersionLastLaunch);
    if (!last.empty()) {
        for (const Task& task : taskQueue)
            if (task) task();
    }
    settings.set(DefaultsKeys::app_theVersionLastLaunch, version_);
}

}  // namespace vandrel
