#include "app/app_services.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "app/system_tray_status_item.h"
#include "catalogue/built_in_vd_action.h"
#include "clip/multi_clipboard_service.h"
#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"
#include "core/serial_queue.h"
#include "engine/vandrel.h"
#include "net/ga_reporter.h"
#include "net/google_reporter.h"
#include "platform/terminal_applications.h"
#include "ui/base/image_asset.h"
#include "ui/overlays/keyboard_map_window_controller.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "ui/overlays/vd_feedback_window_controller.h"
#include "ui/prefs/hotkey_recorder.h"
#include "ui/prefs/hotkeys_preference_view_controller.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_window_controller.h"
#include "ui/prefs/vd_hotkey_recorder.h"

namespace vandrel {

namespace {

std::shared_ptr<InputObserver> makeInputObserver(const AppServices::Options& options)
{
    // Its taps write the Caps-hold state that the core object and the extra clipboards read.
    const auto& core = options.core;
    return InputObserver::make({options.platform, std::make_shared<VandrelState>(core.clock),
                                core.inputThreadScheduler ? core.inputThreadScheduler : options.main,
                                core.guardianScheduler, nullptr});
}

std::shared_ptr<WorkingEnvironment> makeEnvironment(const AppServices::Options& options)
{
    return std::make_shared<WorkingEnvironment>(
        options.platform, options.core.backgroundScheduler ? options.core.backgroundScheduler : options.background,
        (options.core.settings ? *options.core.settings : Defaults()).get(DefaultsKeys::app_extraTerminalLikeApps));
}

std::shared_ptr<VDWindowBinding> makeWindowBinding(const AppServices::Options& options,
                                                   std::shared_ptr<WindowBindingService> keys,
                                                   std::shared_ptr<WorkingEnvironment> env)
{
    VDWindowBinding::Dependencies binding;
    binding.scheduler = options.windowBinding;
    binding.mainScheduler = options.main;
    binding.keys = std::move(keys);
    binding.preActiveApplication = [env = std::move(env)] { return env->preActiveApplication.value(); };
    return VDWindowBinding::make(std::move(binding));
}

std::function<bool(const std::string&)> urlOpener(const std::shared_ptr<Platform>& platform)
{
    return [weak = std::weak_ptr<Platform>(platform)](const std::string& url) {
        const auto platform = weak.lock();
        return platform && platform->workspace().openUrl(url);
    };
}

std::shared_ptr<VDUpdater> makeUpdater(const AppServices::Options& options)
{
    UpdaterServices updater;
    updater.openUrl = urlOpener(options.platform);
    return std::make_shared<VDUpdater>(std::move(updater));
}

std::shared_ptr<VDFeedbackWindowController> makeFeedbackForm(const AppServices::Options& options)
{
    VDFeedbackServices feedback;
    feedback.mainQueue = options.main;
    feedback.rebuildPreferences = [] { PreferencesWindowController::rebuildShared(); };
    return VDFeedbackWindowController::create(std::move(feedback));
}

std::shared_ptr<VDStatusBarMenu> makeStatusBarMenu(const AppServices::Options& options,
                                                   const std::shared_ptr<WorkingEnvironment>& env,
                                                   const std::shared_ptr<VDUpdater>& updater,
                                                   std::function<void()> showFeedback)
{
    StatusBarMenuServices menu;
    menu.mainQueue = options.main;
    menu.secureInput = [env] { return env->isInSecureInput.asObservable(); };
    menu.appUsingSecureInput = [] { return WorkingEnvironment::getAppUsingSecureInput(); };
    menu.frontmostApplication = [env] { return env->frontmostApplication.value(); };
    menu.showPreferences = [] { showPreferences(); };
    std::weak_ptr<VDUpdater> weakUpdater = updater;
    menu.checkForUpdates = [weakUpdater] {
        if (const auto u = weakUpdater.lock()) u->checkForUpdates();
    };
    menu.hasUpdateSource = [weakUpdater] {
        const auto u = weakUpdater.lock();
        return u && u->hasSource();
    };
    menu.showFeedback = std::move(showFeedback);
    menu.openUrl = urlOpener(options.platform);
    menu.quit = [quit = options.quit] { quit(0); };
    menu.keyboardAccess = options.keyboardAccess;
    menu.showAccessGuide = options.showAccessGuide;
    return VDStatusBarMenu::make(std::make_unique<SystemTrayStatusItem>(), std::move(menu));
}

}  // namespace

AppServices::AppServices(Options options, Installations& installations)
    : options_(std::move(options)),
      installations_(installations),
      restart_(std::make_shared<AppRestart>(AppRestart::forThisProcess(options_.quit))),
      inputObserver(makeInputObserver(options_)),
      environment(makeEnvironment(options_)),
      windowBindingKeys(std::make_shared<WindowBindingService>()),
      windowBinding(makeWindowBinding(options_, windowBindingKeys, environment)),
      clipConveyor(ClipConveyor::make()),
      updater(makeUpdater(options_)),
      // The form is made when first shown; the menu and the form go with this object.
      statusBarMenu(makeStatusBarMenu(options_, environment, updater, [this] { feedbackForm()->showWindow(); }))
{
    installClipboards();
    installHotstrings();
    // Windows made on first use; the actions reach them through the core object's entry points.
    keyboardMap_ = std::make_shared<KeyboardMapWindowController::Shared>(
        "The keyboard map", [observer = inputObserver, main = options_.main] {
            return KeyboardMapWindowController::dependenciesOf(*observer, main);
        });
    // Built only once shown, by then the core object is made; the sheet goes with this object.
    cheatSheet_ = std::make_shared<VDCheatSheetWindowController::Shared>(
        "The cheat sheet", [this] { return VDCheatSheetWindowController::dependenciesOf(*core); });
    installCore();
    installWindows();
    installShell();
}

AppServices::~AppServices()
{
    // The user's clipboard content comes back even when the program stops in the middle of a paste.
    if (multiClipboardService) multiClipboardService->finishPendingRestore();
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
    // The boards are read from the database on the clip queue as capture starts (after the grab), not while
    // the engine is made; an action that needs them sooner reads them itself.
    clip.companions = {
        [this] {
            if (!multiClipboardService) return;
            multiClipboardService->startMonitoring();
            options_.clip->schedule([boards = std::weak_ptr<MultiClipboardService>(multiClipboardService)] {
                if (const auto multi = boards.lock()) multi->loadBoards();
            });
        },
        [this] {
            if (dataCleanService) dataCleanService->startMonitoring();
        }};
    clipService = ClipService::make(std::move(clip));
    installations_.install(ClipService::installed(), clipService);

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
    paste.runOnGui = options_.runOnGui;
    pasteService = PasteService::make(std::move(paste));
    installations_.install(PasteService::installed(), pasteService);

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
    const auto state = inputObserver->state();
    multi.keyInput.isCapsDown = [state] { return state->isCapsDown(); };
    std::weak_ptr<InputObserver> observer = inputObserver;
    multi.keyInput.onCapsUp = [observer](std::function<void()> f) -> rx::Disposable {
        const auto o = observer.lock();
        if (!o) return {};
        return o->capsUp.subscribe([f](const KeyEvent&) { f(); });
    };
    multi.keyInput.blockKeydown = [observer](const VDKey& key,
                                             std::function<bool(const KeyEvent&)> when) -> std::function<void()> {
        const auto o = observer.lock();
        if (!o) return {};
        return o->blockKeydown(key, std::move(when));
    };
    multi.keyInput.openOrderBarrier = [platform = options_.platform]() -> std::shared_ptr<OrderBarrier> {
        return platform->eventTaps().openOrderBarrier();
    };
    multi.frontmostApplication = [platform = options_.platform] {
        return platform->workspace().frontmostApplication();
    };
    multiClipboardService = MultiClipboardService::make(std::move(multi));
    installations_.install(MultiClipboardService::installed(), multiClipboardService);

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
    hotstring.terminalLikeFrontmost = [env = environment]() -> std::optional<std::string> {
        if (!env->isOnEmacsShortcutApp.value()) return std::nullopt;
        const auto front = env->frontmostApplication.value();
        return front ? front->localizedName.value_or(front->bundleIdentifier.value_or("?")) : std::string("?");
    };
    hotstringService = HotstringService::make(std::move(hotstring));
    installations_.install(HotstringService::installed(), hotstringService);
}

void AppServices::installCore()
{
    Vandrel::Options options = options_.core;
    options.platform = options_.platform;
    if (!options.mainScheduler) options.mainScheduler = options_.main;
    if (!options.windowBindingScheduler) options.windowBindingScheduler = options_.windowBinding;
    if (!options.backgroundScheduler) options.backgroundScheduler = options_.background;
    options.services = vandrelServices();
    options.windowBindingService = windowBindingKeys;
    options.inputObserver = inputObserver;
    options.environment = environment;
    core = Vandrel::make(std::move(options));
    installations_.install(Vandrel::installed(), core);
    installations_.install(BuiltInVDAction::environment(), BuiltInVDAction::environmentOf(*core));
    installations_.install(InputObserver::installed(), inputObserver);
}

void AppServices::installWindows()
{
    PreferencesServices preferences;
    preferences.mainQueue = options_.main;
    preferences.restartApp = [restart = std::weak_ptr<AppRestart>(restart_)] {
        if (const auto r = restart.lock()) r->restart();
    };
    std::weak_ptr<VDUpdater> weakUpdater = updater;
    preferences.checkForUpdates = [weakUpdater] {
        if (const auto u = weakUpdater.lock()) u->checkForUpdates();
    };
    const auto recorderEngine = HotkeyRecorderEngine::of(*core);
    preferences.makeDevelopHotkeyRecorder = [recorderEngine] {
        return VDHotkeyRecorder::makeForDevelopPane(recorderEngine);
    };
    preferences.makeDevelopOldRecorder = [recorderEngine] { return std::make_unique<HotkeyRecorder>(recorderEngine); };
    preferences.keyboardAccess = options_.keyboardAccess;
    preferences.automaticallyChecksForUpdatesChanged = [weakUpdater](bool on) {
        if (const auto u = weakUpdater.lock()) u->setAutomaticallyChecksForUpdates(on);
    };
    preferences.hasUpdateSource = [weakUpdater] {
        const auto u = weakUpdater.lock();
        return u && u->hasSource();
    };
    preferences.hasUsageAddress = [] {
        return !GoogleReporter::defaultCollectionBaseUrl().empty() && !GAReporter::defaultTrackerId().empty();
    };
    preferences.makeHotkeyPane = [preferences, keyService = core->keyService, recorderEngine] {
        HotkeysPreferenceViewController::Dependencies hotkeys;
        hotkeys.keyService = keyService;
        hotkeys.recorderEngine = recorderEngine;
        return std::make_shared<HotkeysPreferenceViewController>(preferences, std::move(hotkeys));
    };
    installations_.install(PreferencePanes::installed(), std::make_shared<PreferencePanes>(std::move(preferences)));
    // The window is made on first use from the panes.
    installations_.emptyAtEnd(PreferencesWindowController::installed());
    // Made on first use too, and replaced by a fresh one after each send.
    installations_.emptyAtEnd(VDFeedbackWindowController::installed());

    installations_.install(VDCheatSheetWindowController::installed(), cheatSheet_);
    installations_.install(KeyboardMapWindowController::installed(), keyboardMap_);
}

void AppServices::installWindowsAfterKeyboardsTaken()
{
    // Every window carries the program's icon: the installed theme's, else the bundled logo. The theme lookup
    // reads the icon themes' indexes, so it waits for the grab.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("vandrel"), QIcon(QPixmap::fromImage(Asset::vandrelLogo.image()))));
}

std::shared_ptr<VDFeedbackWindowController> AppServices::feedbackForm()
{
    // Its window, logo and fields cost time and memory that most runs never use. A form that was sent is
    // replaced by the form itself; this one is asked for each time.
    if (!VDFeedbackWindowController::shared()) VDFeedbackWindowController::installShared(makeFeedbackForm(options_));
    return VDFeedbackWindowController::shared();
}

void AppServices::installShell()
{
    installations_.install(VDStatusBarMenu::installed(), statusBarMenu);
}

void AppServices::setUpUpdater()
{
    // Checks run when asked for (Check Now, the menu), and quietly at launch when the automatic switch is on.
    installations_.install(VDUpdater::installed(), updater);
    updater->preFetchAppcast();
    updater->checkAtLaunchWhenAutomatic();
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
    entries.showCheatSheet = [weak = std::weak_ptr(cheatSheet_)] {
        if (const auto holder = weak.lock())
            if (const auto sheet = holder->get()) sheet->show();
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
    entries.showKeyboardMap = [weak = std::weak_ptr(keyboardMap_)] {
        if (const auto holder = weak.lock())
            if (const auto map = holder->get()) map->showWindow();
    };
    return entries;
}

}  // namespace vandrel
