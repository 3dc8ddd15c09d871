// Options of a core object on the simulated platform with one virtual clock for every queue and timer of
// the engine: what runs is decided by advancing that clock. Shared by the engine's and the overlays' tests.
#pragma once

#include <memory>

#include "catalogue/build_in_vd_key_scheme.h"
#include "engine/vandrel.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel::test {

inline Vandrel::Options simCoreOptions(std::shared_ptr<SimPlatform> sim,
                                       std::shared_ptr<rx::VirtualTimeScheduler> clock,
                                       std::shared_ptr<SettingsStore> settings)
{
    Vandrel::Options options;
    options.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
    options.platform = std::move(sim);
    options.clock = clock;
    options.mainScheduler = clock;
    options.keyEventScheduler = clock;
    options.windowBindingScheduler = clock;
    options.backgroundScheduler = clock;
    options.inputThreadScheduler = clock;
    options.guardianScheduler = clock;
    options.settings = std::move(settings);
    return options;
}

}  // namespace vandrel::test
