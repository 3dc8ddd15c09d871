// What the core object's tests share: the simulated platform on one virtual clock that also stands in for
// the main, key-event and window-binding queues, settings and the database in a temporary folder, the
// registered catalogue with English texts, and a log capture. Caps Lock is remapped as the program does
// before it starts the engine.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/localize.h"
#include "core/log_capture.h"
#include "core/main_queue.h"
#include "engine/key_remap.h"
#include "engine/sim_core_options.h"
#include "engine/vandrel.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "storage/realm.h"
#include "windowbinding/vd_window_binding_data.h"

namespace vandrel::test {

// Runs the Qt main queue until a marker job queued now has run, so everything queued before it has too (some
// built-in actions hop there).
inline void drainMainQueue()
{
    bool reached = false;
    MainQueue::shared()->async([&] { reached = true; });
    QTimer tick;
    tick.start(10);
    for (int i = 0; i < 500 && !reached; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_TRUE(reached);
}

struct EngineTest : ::testing::Test {
    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    ScopedLogCapture logged;
    Scenario scenario{*sim, clock};
    std::shared_ptr<Vandrel> core;
    Installations actionEnvironment;

    EngineTest()
    {
        installDefaults(settings);
        BuiltInVDAction::registerAll();
        VDWindowBindingData::registerSchema();
        Realm::forgetOpenedFiles();
        Realm::setCustomConfig(dir.path().toStdString());
        KeyRemap::remap(*sim);
    }
    ~EngineTest() override
    {
        KeyEventDeliver::setIsPaused(false);
        Realm::forgetOpenedFiles();
    }

    Vandrel& makeCore(VandrelServices services = {})
    {
        return makeCore([&services](Vandrel::Options& options) { options.services = std::move(services); });
    }
    // `adjust` changes the options before the core is made.
    Vandrel& makeCore(const std::function<void(Vandrel::Options&)>& adjust)
    {
        auto options = simCoreOptions(sim, clock, settings);
        if (adjust) adjust(options);
        core = Vandrel::make(std::move(options));
        // The catalogue's actions are process-wide objects: they reach the services of the core that runs them
        // through the one environment installed for the process, as in the program.
        actionEnvironment.install(BuiltInVDAction::environment(), BuiltInVDAction::environmentOf(*core));
        return *core;
    }

    // Runs the steps, then every queued job that is due (delivery, then the actions it queued).
    std::string run(std::string_view steps)
    {
        scenario.clear();
        scenario.run(steps);
        clock->runDue();
        return scenario.posted();
    }

    std::vector<std::string> infoLines() const
    {
        std::vector<std::string> lines;
        for (const auto& e : logged->entries())
            if (e.level == LogLevel::info) lines.push_back(e.message);
        return lines;
    }

    static void drainMainQueue() { test::drainMainQueue(); }
};

}  // namespace vandrel::test
