#include "app/app_services.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "app/system_tray_status_item.h"
#include "clip/multi_clipboard_service.h"
#include "core/app_info.h"
#include "core/app_utils.h"
#include "core/defaults.h"
#include "core/dispatch_queues.h"
#include "core/main_queue.h"
#include "core/serial_queue.h"
#include "engine/vandrel.h"
#include "net/ga_reporter.h"
#include "net/google_reporter.h"
#include "platform/linux/input/key_code_table.h"
#include "platform/terminal_applications.h"
#include "ui/base/image_asset.h"
#include "ui/overlays/get_accessibility_window_controller.h"
#include "ui/overlays/keyboard_map_window_controller.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "ui/overlays/vd_feedback_window_controller.h"
#include "ui/prefs/hotkey_recorder.h"
#include "ui/prefs/hotkeys_preference_view_controller.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_window_controller.h"
#include "ui/prefs/shortcut_key_event.h"
#include "ui/prefs/vd_hotkey_recorder.h"

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
    menu.hasUpdateSource = [] {
        const auto u = VDUpdater::shared();
        return u && u->hasSource();
    };
    menu.showFeedback = [] {
        if (const auto form = VDFeedbackWindowController::shared()) form->showWindow();
    };
    menu.openUrl = openUrl;
    menu.quit = [quit = options.quit] { quit(0); };
    menu.keyboardAccess = options.keyboardAccess;
    menu.showAccessGuide = [] {
        if (const auto guide = GetAccessibilityWindowController::shared()) guide->showWindow();
    };
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
      clipConveyor(ClipConveyor::make()),
      updater(makeUpdater()),
      statusBarMenu(makeStatusBarMenu(options)),
      options_(std::move(options)),
      restart_(AppRestart::forThisProcess(options_.quit))
{
    installClipboards();
    installHotstrings();
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
    if (HotstringService::shared() == hotstringService) HotstringService::install(nullptr);
    // The user's clipboard content comes back even when the program stops in the middle of a paste.
    if (multiClipboardService) multiClipboardService->finishPendingRestore();
    if (MultiClipboardService::shared() == multiClipboardService) MultiClipboardService::install(nullptr);
    if (PasteService::shared() == pasteService) PasteService::install(nullptr);
    if (ClipService::shared() == clipService) ClipService::install(nullptr);
}

void AppServices::installClipboards()
{
    // The user settings live until the process ends; the services only borrow them.
    const std::shared_ptr<SettingsStore> settings(std::shared_ptr<void>(), &Defaults());
    ClipService::Options clip;
    clip.pasteboards = std::shared_ptr<PasteboardServer>(options_.platform, &options_.platform->pasteboards());
    clip.clipScheduler = options_.clip;
    clip.mainScheduler = options_.main;
    clip.retryScheduler = options_.background;
    clip.settings = settings;
    clip.clipFolder = AppInfo::clipCacheFolderUrl();
    const auto imageCache = std::make_shared<ClipImageCache>(AppInfo::supportFolderUrl() / "cache" / "thumbnail");
    clip.imageCache = imageCache;
    clip.clipConveyor = clipConveyor;
    // The extra clipboards and the cleaner are made below; the capture service reaches them when it starts.
    clip.activeClipboard = [this]() -> std::optional<VDClipboard> {
        return multiClipboardService ? multiClipboardService->activeClipboardRecord() : std::nullopt;
    };
    clip.companions = {[this] {
                           if (multiClipboardService) multiClipboardService->startMonitoring();
                       },
                       [this] {
                           if (dataCleanService) dataCleanService->startMonitoring();
                       }};
    clipService = ClipService::make(std::move(clip));
    ClipService::install(clipService);

    // The clipboard keys of the frontmost application, when it is terminal-like.
    const auto terminalKeys = [platform = options_.platform]() -> std::optional<TerminalClipboardKeys> {
        auto& workspace = platform->workspace();
        const auto front = workspace.frontmostApplication();
        if (!front || !workspace.isTerminalLike(*front)) return std::nullopt;
        return TerminalApplications::clipboardKeys(*front);
    };
    PasteService::Options paste;
    paste.general = options_.platform->pasteboards().general();
    paste.selection = options_.platform->pasteboards().selection();
    paste.frontmostTerminalKeys = terminalKeys;
    paste.settings = settings;
    paste.clipService = clipService;
    paste.globalScheduler = options_.background;
    paste.runOnGui = [](const std::function<void()>& work) { MainQueue::shared()->sync(work); };
    pasteService = PasteService::make(std::move(paste));
    PasteService::install(pasteService);

    MultiClipboardService::Options multi;
    multi.clipService = clipService;
    multi.pasteService = pasteService;
    multi.general = options_.platform->pasteboards().general();
    multi.selection = options_.platform->pasteboards().selection();
    multi.frontmostTerminalKeys = terminalKeys;
    multi.mainScheduler = options_.main;
    multi.clipConveyor = clipConveyor;
    multi.clipScheduler = options_.clip;
    multi.globalScheduler = options_.background;
    multi.databaseScheduler = DispatchQueues::realm();
    // The core object (with its input observer) is made after these services: looked up when used.
    multi.keyInput.isCapsDown = [] {
        const auto core = installedVandrel();
        return core && core->state->isCapsDown();
    };
    multi.keyInput.onCapsUp = [](std::function<void()> f) -> rx::Disposable {
        const auto core = installedVandrel();
        if (!core || !core->inputObserver()) return {};
        return core->inputObserver()->capsUp.subscribe([f](const KeyEvent&) { f(); });
    };
    multi.keyInput.onKeydownWithoutCaps = [](std::function<void(const KeyEvent&)> f) -> rx::Disposable {
        const auto core = installedVandrel();
        if (!core || !core->inputObserver()) return {};
        return core->inputObserver()->keydownWithoutCaps.subscribe(f);
    };
    multi.keyInput.blockKeydown = [](const VDKey& key) -> std::function<void()> {
        const auto core = installedVandrel();
        if (!core || !core->inputObserver()) return {};
        return core->inputObserver()->blockKeydown(key);
    };
    multi.frontmostApplication = [platform = options_.platform] {
        return platform->workspace().frontmostApplication();
    };
    multiClipboardService = MultiClipboardService::make(std::move(multi));
    MultiClipboardService::install(multiClipboardService);

    DataCleanService::Options clean;
    clean.scheduler = SerialQueue::make("rx.global_dispatch_queue.serial", QueuePriority::background);
    clean.databaseScheduler = DispatchQueues::realm();
    clean.globalScheduler = options_.background;
    std::weak_ptr<MultiClipboardService> boards = multiClipboardService;
    clean.clipboards = [boards] {
        const auto m = boards.lock();
        return m ? m->clipboardTable() : std::vector<VDClipboard>{};
    };
    clean.clipFolder = AppInfo::clipCacheFolderUrl();
    clean.imageCache = imageCache;
    dataCleanService = DataCleanService::make(std::move(clean));
}

void AppServices::installHotstrings()
{
    Hotstring::Options evaluator;
    // The safety timers' queue, so that an endless expression is stopped on time however busy the others are.
    evaluator.watchdogScheduler = DispatchQueues::watchdogs();

    HotstringService::Options hotstring;
    hotstring.clipService = clipService;
    hotstring.pasteService = pasteService;
    hotstring.hotstring = std::make_shared<Hotstring>(std::move(evaluator));
    hotstring.globalScheduler = options_.background;
    hotstring.clipScheduler = options_.clip;
    // The extra-clipboard service runs on the main queue.
    std::weak_ptr<MultiClipboardService> boards = multiClipboardService;
    hotstring.restoreSystemClipboard = [main = options_.main, boards](rx::Duration wait,
                                                                      std::function<void()> callback) {
        main->schedule([boards, wait, callback = std::move(callback)] {
            if (const auto multi = boards.lock())
                multi->subscribeToRestoreSystemClipboard(wait, callback);
            else if (callback)
                callback();
        });
    };
    hotstring.terminalLikeFrontmost = []() -> std::optional<std::string> {
        const auto core = installedVandrel();
        if (!core || !core->env->isOnEmacsShortcutApp.value()) return std::nullopt;
        const auto front = core->env->frontmostApplication.value();
        return front ? front->localizedName.value_or(front->bundleIdentifier.value_or("?")) : std::string("?");
    };
    hotstringService = HotstringService::make(std::move(hotstring));
    HotstringService::install(hotstringService);
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
    preferences.makeDevelopHotkeyRecorder = [] { return VDHotkeyRecorder::makeForDevelopPane(); };
    preferences.makeDevelopOldRecorder = [] { return std::make_unique<HotkeyRecorder>(); };
    preferences.keyboardAccess = options_.keyboardAccess;
    preferences.automaticallyChecksForUpdatesChanged = [](bool on) {
        if (const auto u = VDUpdater::shared()) u->setAutomaticallyChecksForUpdates(on);
    };
    preferences.hasUpdateSource = [] {
        const auto u = VDUpdater::shared();
        return u && u->hasSource();
    };
    preferences.hasUsageAddress = [] {
        return !GoogleReporter::defaultCollectionBaseUrl().empty() && !GAReporter::defaultTrackerId().empty();
    };
    preferences.makeHotkeyPane = [preferences] {
        return std::make_shared<HotkeysPreferenceViewController>(preferences);
    };
    PreferencePanes::install(std::make_shared<PreferencePanes>(std::move(preferences)));

    VDCheatSheetWindowController::installForVandrel(
        [] { return VDCheatSheetWindowController::dependenciesOf(vandrel()); });
    KeyboardMapWindowController::installShared([main = options_.main] {
        return KeyboardMapWindowController::dependenciesOf(*vandrel().inputObserver(), main);
    });
}

void AppServices::installWindowsAfterKeyboardsTaken()
{
    // Every window carries the program's icon: the installed theme's, else the bundled logo. The theme lookup
    // reads the icon themes' indexes, so it waits for the grab, like the feedback form's window.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("vandrel"), QIcon(QPixmap::fromImage(Asset::vandrelLogo.image()))));

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
    // Checks run when asked for (Check Now, the menu), and quietly at launch when the automatic switch is on.
    VDUpdater::installShared(updater);
    updater->preFetchAppcast();
    updater->checkAtLaunchWhenAutomatic();
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
    std::weak_ptr<ClipService> clip = clipService;
    entries.startClipMonitoring = [clip] {
        if (const auto c = clip.lock()) c->startMonitoring();
    };
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
    std::weak_ptr<HotstringService> hotstrings = hotstringService;
    entries.expandHotstring = [hotstrings] {
        if (const auto h = hotstrings.lock()) h->expandHotstring();
    };
    std::weak_ptr<MultiClipboardService> multi = multiClipboardService;
    entries.copyToExtraClipboard = [multi](int extraClipboard, bool isCut) {
        if (const auto m = multi.lock()) m->copyToClipboard(extraClipboard, isCut);
    };
    entries.pasteLastFromExtraClipboard = [multi](int extraClipboard, bool isPastePlainText) {
        if (const auto m = multi.lock()) m->pasteLastFromClipboard(extraClipboard, isPastePlainText);
    };
    entries.showKeyboardMap = [] {
        if (const auto map = KeyboardMapWindowController::shared()) map->showWindow();
    };
    return entries;
}

}  // namespace vandrel
