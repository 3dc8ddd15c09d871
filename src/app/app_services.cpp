#include "app/app_services.h"

#include "app/system_tray_status_item.h"
#include "core/app_utils.h"
#include "engine/vandrel.h"
#include "platform/linux/input/key_code_table.h"
#include "ui/overlays/keyboard_map_window_controller.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "ui/overlays/vd_feedback_window_controller.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_window_controller.h"
#include "ui/prefs/shortcut_key_event.h"

namespace vandrel {

namespace {

std::shared_ptr<VDWindowBinding> makeWindowBinding(const AppServices::Options& options,
                                                   std::shared_ptr<WindowBindingService> keys)
{
    VDWindowBinding::Dependencies binding;
    binding.scheduler = options.windowBinding;
    binding.mainScheduler = options.main;
    binding.keys = std::move(keys);
    binding.preActiveApplication = []() -> std::optional<RunningApplication> {
        const auto core = installedVandrel();
        return core ? core->env->preActiveApplication.value() : std::nullopt;
    };
    return VDWindowBinding::make(std::move(binding));
}

bool openUrl(const std::string& url)
{
    const auto platform = Platform::shared();
    return platform && platform->workspace().openUrl(url);
}

std::shared_ptr<VDStatusBarMenu> makeStatusBarMenu(const AppServices::Options& options)
{
    StatusBarMenuServices menu;
    menu.mainQueue = options.main;
    menu.secureInput = [] { return vandrel().env->isInSecureInput.asObservable(); };
    menu.appUsingSecureInput = [] { return WorkingEnvironment::getAppUsingSecureInput(); };
    menu.frontmostApplication = []() -> std::optional<RunningApplication> {
        const auto core = installedVandrel();
        return core ? core->env->frontmostApplication.value() : std::nullopt;
    };
    menu.showPreferences = [] { showPreferences(); };
    menu.checkForUpdates = [] { AppUtils::checkForUpdates(); };
    menu.showFeedback = [] {
        if (const auto form = VDFeedbackWindowController::shared()) form->showWindow();
    };
    menu.openUrl = openUrl;
    menu.quit = [quit = options.quit] { quit(0); };
    return VDStatusBarMenu::make(std::make_unique<SystemTrayStatusItem>(), std::move(menu));
}

std::shared_ptr<VDUpdater> makeUpdater()
{
    UpdaterServices updater;
    updater.openUrl = openUrl;
    return std::make_shared<VDUpdater>(std::move(updater));
}

}  // namespace

AppServices::AppServices(Options options)
    : windowBindingKeys(std::make_shared<WindowBindingService>()),
      windowBinding(makeWindowBinding(options, windowBindingKeys)),
      updater(makeUpdater()),
      statusBarMenu(makeStatusBarMenu(options)),
      options_(std::move(options)),
      restart_(AppRestart::forThisProcess(options_.quit))
{
    installWindows();
    installShell();
}

AppServices::~AppServices()
{
    VDStatusBarMenu::installShared(nullptr);
    AppUtils::setCheckForUpdatesHandler(nullptr);
    VDUpdater::installShared(nullptr);
    // Windows go before the application object does.
    VDFeedbackWindowController::installShared(nullptr);
    KeyboardMapWindowController::installShared({});
    VDCheatSheetWindowController::installForVandrel({});
    PreferencesWindowController::setShared(nullptr);
    PreferencePanes::install(nullptr);
    AppUtils::setRestartHandler(nullptr);
}

void AppServices::installWindows()
{
    // X key codes are evdev codes plus 8.
    ShortcutKeyEvent::setNativeKeyTranslator([](std::uint32_t scanCode) -> std::optional<std::uint16_t> {
        if (scanCode <= 8) return std::nullopt;
        return KeyCodeTable::virtualKeyCode(static_cast<std::uint16_t>(scanCode - 8));
    });
    AppUtils::setRestartHandler([this] { restart_.restart(); });

    PreferencesServices preferences;
    preferences.mainQueue = options_.main;
    preferences.restartApp = [] { AppUtils::restartApp(); };
    preferences.checkForUpdates = [] { AppUtils::checkForUpdates(); };
    PreferencePanes::install(std::make_shared<PreferencePanes>(std::move(preferences)));

    VDCheatSheetWindowController::installForVandrel(
        [] { return VDCheatSheetWindowController::dependenciesOf(vandrel()); });
    KeyboardMapWindowController::installShared([main = options_.main] {
        return KeyboardMapWindowController::dependenciesOf(*vandrel().inputObserver(), main);
    });

    VDFeedbackServices feedback;
    feedback.mainQueue = options_.main;
    feedback.rebuildPreferences = [] { PreferencesWindowController::rebuildShared(); };
    VDFeedbackWindowController::installShared(VDFeedbackWindowController::create(std::move(feedback)));
}

void AppServices::installShell()
{
    VDStatusBarMenu::installShared(statusBarMenu);
}

void AppServices::setUpUpdater()
{
    // Checks run only when asked for (Check Now, the menu): there are no automatic ones, at any launch.
    VDUpdater::installShared(updater);
    updater->preFetchAppcast();
    AppUtils::setCheckForUpdatesHandler([] {
        if (const auto u = VDUpdater::shared()) u->checkForUpdates();
    });
}

void AppServices::initMenuButton()
{
    statusBarMenu->initMenuButton();
}

VandrelServices AppServices::vandrelServices() const
{
    VandrelServices entries;
    std::weak_ptr<VDWindowBinding> binding = windowBinding;
    entries.restoreWindowBindings = [binding] {
        if (const auto b = binding.lock()) b->restoreAllBindings();
    };
    entries.bindWindow = [binding](const VDAtomicActionParam& param) {
        if (const auto b = binding.lock()) b->pushBind(param);
    };
    entries.activateWindow = [binding](const VDAtomicActionParam& param) {
        if (const auto b = binding.lock()) b->pushActivate(param);
    };
    entries.showPreferences = [main = options_.main] { main->schedule([] { showPreferences(); }); };
    entries.showCheatSheet = [] {
        if (const auto sheet = VDCheatSheetWindowController::forVandrel()) sheet->show();
    };
    entries.showKeyboardMap = [] {
        if (const auto map = KeyboardMapWindowController::shared()) map->showWindow();
    };
    return entries;
}

}  // namespace vandrel
