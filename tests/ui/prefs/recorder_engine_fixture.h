// The hotkey recorders on the simulated engine, wired as the program wires them: a started core object on the
// simulated platform with one virtual clock for every queue (the main scheduler the recorders hop to
// included), settings in a temporary folder, the catalogue with English texts, and an active window to
// put the controls in. Keys are pressed through scenarios; run() then delivers what the engine queued.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>
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
#include "prefs_fixture.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/prefs/hotkey_recorder_engine.h"

namespace vandrel::test {

class RecorderEngineTest : public testing::Test {
protected:
    RecorderEngineTest()
    {
        installDefaults(settings);
        BuiltInVDAction::registerAll();
        KeyRemap::remap(*sim);
        core = Vandrel::make(simCoreOptions(sim, clock, settings));
        core->start();
        clock->runDue();
        window.resize(400, 120);
        other = new QPushButton("other", &window);
        other->setGeometry(220, 60, 80, 24);
        other->setFocusPolicy(Qt::StrongFocus);
    }
    HotkeyRecorderEngine engine() const { return {core->inputObserver(), core->state, clock}; }

    // Presses keys, then delivers everything the engine queued, in the order it was queued.
    void run(std::string_view steps)
    {
        scenario.clear();
        scenario.run(steps);
        clock->runDue();
    }
    void wait(double seconds) { clock->advanceBy(rx::seconds(seconds)); }

    bool blocking() const { return core->inputObserver()->isBlockAllKeyEventBubbling(); }
    static bool paused() { return KeyEventDeliver::isPaused(); }

    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    Scenario scenario{*sim, clock};
    std::shared_ptr<Vandrel> core;
    QWidget window;
    QPushButton* other;  // a focusable control of the host
};

}  // namespace vandrel::test
