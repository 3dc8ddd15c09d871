// The Hotkeys pane in the preferences window on a real X server with a window manager, added to the window
// as the program adds it (PreferencesServices::makeHotkeyPane). Pictures of the pane with the default
// scheme, of the key-setting sheet and of the scheme manager go to <build>/screenshots for review. Its own
// main() starts Xvfb and fluxbox before the application connects to them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/localize.h"
#include "core/settings_store.h"
#include "engine/sim_core_options.h"
#include "engine/vandrel.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/prefs/hotkeys_preference_view_controller.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_window_controller.h"
#include "ui/prefs/vd_hotkey_recorder.h"
#include "ui/prefs/vd_hotkey_setting_popup_window.h"
#include "ui/prefs/vd_key_scheme_manager_window.h"
// Last: it brings Xlib, whose names clash with Qt's.
#include "on_x_main.h"

using namespace vandrel;

namespace {

bool shown(QWidget* window)
{
    return window->windowHandle() && window->windowHandle()->isExposed();
}

void save(QWidget* widget, const char* name)
{
    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    const QString file = QString(VANDREL_SCREENSHOT_DIR) + "/" + name + ".png";
    EXPECT_TRUE(widget->grab().save(file)) << file.toStdString();
}

}  // namespace

TEST(HotkeysOnX, ThePaneTheSheetAndTheManagerShow)
{
    QTemporaryDir dir;
    auto settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    installDefaults(settings);
    BuiltInVDAction::registerAll();
    auto mainQueue = rx::VirtualTimeScheduler::make();
    auto sim = SimPlatform::make(mainQueue);
    PlatformInstallation platform{sim};
    const auto core = Vandrel::make(test::simCoreOptions(sim, mainQueue, settings));
    core->start();
    mainQueue->runDue();

    PreferencesServices services;
    services.mainQueue = mainQueue;
    services.makeHotkeyPane = [services, core] {
        return std::make_shared<HotkeysPreferenceViewController>(
            services, HotkeysPreferenceViewController::Dependencies{
                          core->keyService, HotkeyRecorderEngine::of(*core), {}, {}, {}});
    };
    PreferencePanes::install(std::make_shared<PreferencePanes>(services));

    auto& controller = PreferencesWindowController::shared();
    controller.show(PreferencePaneIdentifier::hotkey);
    QWidget* window = controller.window();
    ASSERT_TRUE(test::settleOnX([&] { return shown(window); }));
    auto* pane = dynamic_cast<HotkeysPreferenceViewController*>(controller.selectedPane());
    ASSERT_NE(pane, nullptr);
    mainQueue->advanceBy(rx::milliseconds(HotkeysPreferenceViewController::popupDebounceMilliseconds));
    QCoreApplication::sendPostedEvents();
    ASSERT_NE(pane->hotkeysOutlineView(), nullptr);
    EXPECT_EQ(pane->schemePopup()->currentText(), "Vandrel");
    ASSERT_TRUE(test::settleOnX([&] { return pane->hotkeysOutlineView()->isVisible(); }));
    save(window, "hotkeys_pane");

    auto* outline = pane->hotkeysOutlineView();
    for (const auto& index : outline->visibleRows()) {
        auto setting = outline->dataSource()->keySetting(index);
        if (setting && setting->key() == VDKey(14, {57})) outline->doubleClicked(index);
    }
    auto* sheet = pane->hotkeySettingPopupWindow();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(test::settleOnX([&] { return shown(sheet->settingWindow()); }));
    // Opening focuses no control: the recorder waits for a click before it takes the keyboard.
    EXPECT_FALSE(sheet->hotkeyRecorder()->isRecording());
    save(sheet->settingWindow(), "hotkey_setting_sheet");
    sheet->doneButton()->click();
    ASSERT_TRUE(test::settleOnX([&] { return !sheet->settingWindow()->isVisible(); }));

    pane->chooseSchemeItem(pane->schemePopup()->count() - 1);
    auto* manager = pane->keySchemeManagerWindow();
    ASSERT_NE(manager, nullptr);
    ASSERT_TRUE(test::settleOnX([&] { return shown(manager->window()); }));
    manager->createNewScheme();
    EXPECT_EQ(manager->rowText(1), "Custom");
    save(manager->window(), "key_scheme_manager");
    manager->doneButton()->click();

    controller.close();
    PreferencesWindowController::setShared(nullptr);
    PreferencePanes::install(nullptr);
}

VANDREL_PREFS_ON_X_MAIN()
