// The overlays on the simulated engine, wired as the program wires them: a core object on the simulated
// platform with one virtual clock for every queue of the engine, settings in a temporary
// folder, the built-in catalogue with English texts. Keys are pressed through scenarios; actions that hop
// to the Qt main queue run when the test keeps that queue moving.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string_view>

#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/localize.h"
#include "engine/key_remap.h"
#include "engine/sim_core_options.h"
#include "engine/vandrel.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel::test {

struct OverlaysEngine {
    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    Scenario scenario{*sim, clock};
    std::shared_ptr<Vandrel> core;
    Installations actionEnvironment;

    // services: what the program hands the core object (the overlays' show functions).
    explicit OverlaysEngine(VandrelServices services = {})
    {
        installDefaults(settings);
        BuiltInVDAction::registerAll();
        KeyRemap::remap(*sim);
        auto options = simCoreOptions(sim, clock, settings);
        options.services = std::move(services);
        core = Vandrel::make(std::move(options));
        // The catalogue's actions are process-wide objects: they reach the services of the core that runs them
        // through the one environment installed for the process, as in the program.
        actionEnvironment.install(BuiltInVDAction::environment(), BuiltInVDAction::environmentOf(*core));
        core->start();
        clock->runDue();
    }

    // Presses keys, then runs what the engine queued on its (virtual) queues.
    void run(std::string_view steps)
    {
        scenario.run(steps);
        clock->runDue();
    }
};

}  // namespace vandrel::test
