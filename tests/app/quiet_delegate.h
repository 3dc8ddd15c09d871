// AppDelegate options for tests of what the delegate records: the simulated platform on virtual time, the
// database in a temporary folder, and no engine.
#pragma once

#include <filesystem>
#include <memory>

#include "app/app_delegate.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "storage/realm.h"

namespace vandrel::test {

inline AppDelegate::Options quietDelegateOptions(const std::filesystem::path& folder)
{
    Realm::setDefaultConfiguration({});
    auto clock = rx::VirtualTimeScheduler::make();
    AppDelegate::Options options;
    options.arguments = {"vandrel"};
    options.makePlatform = [clock] { return std::shared_ptr<Platform>(SimPlatform::make(clock)); };
    options.mainQueue = clock;
    options.watchdogScheduler = clock;
    options.quit = [](int) {};
    options.databaseFolder = folder / "data";
    options.startUsageSession = [] {};
    options.endUsageSession = [] {};
    options.makeEngine = [](const std::shared_ptr<Platform>&) {};
    options.startEngine = [] {};
    options.stopEngine = [] {};
    options.showFirstLaunchDialog = [] {};
    return options;
}

}  // namespace vandrel::test
