// The hotkey editor on the simulated engine, wired as the program wires it: the pane gets the core object's
// key service and recorder engine, and what the editor stores is what the engine runs, now and after a
// restart from the stored settings.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/localize.h"
#include "engine/key_remap.h"
#include "engine/sim_core_options.h"
#include "engine/vandrel.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"
#include "prefs_fixture.h"
#include "ui/prefs/hotkeys_preference_view_controller.h"
#include "ui/prefs/vd_hotkey_setting_popup_window.h"

using namespace vandrel;
using B = BuiltInVDAction;

namespace {

class EditorOnEngineTest : public test::PrefsTest {
protected:
    EditorOnEngineTest()
    {
        BuiltInVDAction::registerAll();
        KeyRemap::remap(*sim);
        startCore();
    }
    ~EditorOnEngineTest() override { pane.reset(); }

    void startCore()
    {
        core = Vandrel::make(test::simCoreOptions(sim, clock, settings));
        core->start();
        clock->runDue();
    }

    std::string run(std::string_view steps)
    {
        scenario.clear();
        scenario.run(steps);
        clock->runDue();
        return scenario.posted();
    }

    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    Scenario scenario{*sim, clock};
    std::shared_ptr<Vandrel> core;
    std::unique_ptr<HotkeysPreferenceViewController> pane;
};

}  // namespace

TEST_F(EditorOnEngineTest, CapsEBoundToMoveDownInTheEditorPostsDownAndStillDoesAfterARestart)
{
    constexpr auto capsE = "capslock down, e tap, wait 0.01, capslock up";
    ASSERT_EQ(run(capsE), "up down, up up");

    pane = std::make_unique<HotkeysPreferenceViewController>(
        services(),
        HotkeysPreferenceViewController::Dependencies{core->keyService, HotkeyRecorderEngine::of(*core), {}, {}, {}});
    test::layOut(pane->view());
    runMainTurn();
    auto* outline = pane->hotkeysOutlineView();
    ASSERT_NE(outline, nullptr);
    QModelIndex capsERow;
    for (const auto& index : outline->visibleRows()) {
        auto setting = outline->dataSource()->keySetting(index);
        if (setting && setting->key() == VDKey(14, {57})) capsERow = index;
    }
    ASSERT_TRUE(capsERow.isValid());
    outline->doubleClicked(capsERow);
    auto* sheet = pane->hotkeySettingPopupWindow();
    ASSERT_NE(sheet, nullptr);
    sheet->pickAction(B::moveDownN());
    sheet->doneButton()->click();
    EXPECT_EQ(sheet->editor().keyScheme()->name.value(), "Custom");

    EXPECT_EQ(run(capsE), "down down, down up");
    // The rest of the layout came along into the copy.
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"), "down down, down up");

    pane.reset();
    startCore();
    EXPECT_EQ(core->keyService->resolveInstalled(core->keyService->activeKeyScheme.value())->name.value(), "Custom");
    EXPECT_EQ(run(capsE), "down down, down up");
}
