// What the cheat-sheet tests share: a sheet on a virtual clock, a fixed screen, a Caps-release subject the
// test drives, settings in a temporary folder, recorded toasts, and the default layout as the active
// scheme (English texts, the simulated US keyboard for key symbols).
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"

namespace vandrel::test {

struct CheatSheetTest : ::testing::Test {
    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    std::shared_ptr<FixedScreenInfo> screen = std::make_shared<FixedScreenInfo>(QRect(0, 0, 1920, 1080));
    rx::PublishSubject<KeyEvent> capsUp;
    rx::BehaviorRelay<VDKeySchemePtr> activeKeyScheme{nullptr};
    bool capsDown = false;
    std::vector<std::string> toasts;
    std::shared_ptr<VDCheatSheetWindowController> sheet;

    CheatSheetTest()
    {
        BuiltInVDAction::registerAll();
        activeKeyScheme.accept(BuildInVDKeyScheme::vandrel_v20190601());
    }

    VDCheatSheetWindowController::Dependencies dependencies()
    {
        VDCheatSheetWindowController::Dependencies d;
        d.activeKeyScheme = activeKeyScheme;
        d.capsUp = capsUp.asObservable();
        d.isCapsDown = [this] { return capsDown; };
        d.mainScheduler = clock;
        d.settings = settings;
        d.screenInfo = screen;
        d.toast = [this](const std::string& message, double seconds) {
            EXPECT_EQ(seconds, 3.0);
            toasts.push_back(message);
        };
        return d;
    }

    VDCheatSheetWindowController& makeSheet()
    {
        sheet = VDCheatSheetWindowController::make(dependencies());
        return *sheet;
    }

    void wait(double seconds) { clock->advanceBy(rx::seconds(seconds)); }

    // A Caps release arriving from the input thread; delivered on the next turn of the (virtual) main queue.
    void releaseCaps()
    {
        capsDown = false;
        capsUp.onNext(KeyEvent{KeyEventType::flagsChanged, 57, 0});
        clock->runDue();
    }

    void press(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(sheet->window(), &event);
    }

    int hints() const
    {
        return static_cast<int>(std::count(toasts.begin(), toasts.end(), CheatSheetMessages::holdToKeepTheDisplay()));
    }
};

}  // namespace vandrel::test
