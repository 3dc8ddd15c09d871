#include "app/app_delegate.h"

#include <QDateTime>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

#include "app/helper_app_controller.h"
#include "app/watchdog.h"
#include "core/app_info.h"
#include "core/checked_file.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/instance_channel.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "core/set_aside_files.h"
#include "core/settings_store.h"
#include "engine/key_remap.h"
#include "ui/overlays/get_accessibility_window_controller.h"

namespace vandrel {

namespace {

std::string nowIso8601()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

// A user whose settings file was set aside in this start is no first-time user when the copy shows an earlier
// launch. The copy does not parse, so the record of the first launch is looked for as text: the first launch
// writes it and nothing removes it.
bool launchesInSetAsideSettings(const SettingsStore& settings)
{
    const std::string key = "\"" + DefaultsKeys::app_theTimeFirstLaunch.key() + "\"";
    for (const auto& file : SetAsideFiles::reported()) {
        if (file.kind != SetAsideFile::Kind::settings || file.original != settings.filePath()) continue;
        const CheckedRead copy = CheckedFile::read(file.copy, SettingsStore::kMaxFileBytes);
        if (copy && copy.bytes.contains(key.c_str())) return true;
    }
    return false;
}

// A step left unset does nothing.
template <class... Args>
void leaveEmpty(std::function<void(Args...)>& step)
{
    if (!step) step = [](Args...) {};
}

}  // namespace

const char* const AppDelegate::kUsage =
    "Usage: vandrel [switch]\n"
    "Without a switch: starts Vandrel, or brings the running one forward (its Preferences window, or its\n"
    "access guide while it waits for keyboard access).\n"
    "  --unremap-capslock  the running Vandrel stops remapping Caps Lock, lets the keyboards go and quits\n"
    "  --uitesting         notes in the log that a user-interface test runs\n"
    "  --version           shows the version\n"
    "  -h, --help          shows this list";

AppDelegate::AppDelegate(Options options) : options_(std::move(options))
{
    if (!options_.makePlatform || !options_.mainQueue)
        throw std::invalid_argument("AppDelegate needs makePlatform and mainQueue");
    leaveUnsetStepsEmpty();
    steps_ = StartupSteps(options_.mainQueue);
    watchdog_ =
        std::make_unique<Watchdog>(rx::seconds(kWatchdogThreshold), options_.watchdogScheduler, [](rx::Duration late) {
            log.warning("main thread has been blocked for too long!!! ->", std::chrono::duration<double>(late).count());
        });
    if (const auto queue = std::dynamic_pointer_cast<MainQueue>(options_.mainQueue)) watchdog_->watch(*queue);
}

void AppDelegate::leaveUnsetStepsEmpty()
{
    if (!options_.watchdogScheduler) options_.watchdogScheduler = options_.mainQueue;
    leaveEmpty(options_.quit);
    leaveEmpty(options_.exitNow);
    leaveEmpty(options_.print);
    leaveEmpty(options_.printError);
    leaveEmpty(options_.runMigrations);
    leaveEmpty(options_.initLogging);
    leaveEmpty(options_.setUpDatabase);
    leaveEmpty(options_.startUsageSession);
    leaveEmpty(options_.endUsageSession);
    leaveEmpty(options_.makeEngine);
    leaveEmpty(options_.initMenu);
    leaveEmpty(options_.setUpUpdater);
    leaveEmpty(options_.setUpKeySchemes);
    leaveEmpty(options_.startEngine);
    leaveEmpty(options_.stopEngine);
    leaveEmpty(options_.showFirstLaunchDialog);
    leaveEmpty(options_.showPreferences);
    if (!options_.guide) options_.guide = [this] { return makeGuide(); };
}

std::shared_ptr<GetAccessibilityWindowController> AppDelegate::makeGuide()
{
    // Built on first use; its slot is emptied with the rest at shutdown.
    auto guide = std::make_shared<GetAccessibilityWindowController::Shared>("The input-access guide", [this] {
        GetAccessibilityServices services;
        services.mainQueue = options_.mainQueue;
        std::weak_ptr<Platform> weak = platform_;
        services.hasPermission = [weak] {
            const auto platform = weak.lock();
            return platform && platform->isInputAccessTrusted(false);
        };
        services.missingAccess = [weak] {
            const auto platform = weak.lock();
            return platform ? platform->missingInputAccess() : std::vector<std::string>{};
        };
        services.grantCommands = [weak] {
            const auto platform = weak.lock();
            return platform ? platform->inputAccessGrantCommands() : std::string{};
        };
        // The help on granting input access, in the desktop's browser.
        if (options_.accessHelpPage) {
            services.openHelp = [weak, page = options_.accessHelpPage] {
                if (const auto platform = weak.lock())
                    platform->workspace().openUrl(
                        QUrl::fromLocalFile(QString::fromStdString(page().string())).toString().toStdString());
            };
        }
        services.quit = [quit = options_.quit] { quit(0); };
        return services;
    });
    installations_.install(GetAccessibilityWindowController::installed(), guide);
    return guide->get();
}

void AppDelegate::showAccessGuide()
{
    if (guide_) guide_->showWindow();
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

std::optional<std::string> AppDelegate::informationFor(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h") return std::string(kUsage);
        if (arguments[i] == "--version")
            return "Vandrel " + AppInfo::version() + " (build " + AppInfo::buildVersion() + ")";
        if (arguments[i] == "--unremap-capslock") break;  // the first switch decides
    }
    return std::nullopt;
}

bool AppDelegate::claimInstance()
{
    if (!claimed_) {
        const auto code = handOver();
        claimed_ = !code;
        exitCode_ = code.value_or(0);
    }
    return *claimed_;
}

std::optional<int> AppDelegate::handOver()
{
    const auto& instance = options_.instance;
    if (const auto information = informationFor(options_.arguments)) {
        options_.print(*information);
        return 0;
    }
    for (std::size_t i = 1; i < options_.arguments.size(); ++i) {
        const std::string& argument = options_.arguments[i];
        if (argument == "--unremap-capslock") {
            reportChannelProblems();
            if (!instance || instance->paths().locations.empty()) {
                options_.print(
                    "Vandrel cannot tell whether it runs: it has no private folder to look in. If it "
                    "runs, Caps Lock stays remapped until it quits.");
                return 1;
            }
            if (!InstanceChannel::isRunning(instance->paths())) {
                options_.print("Vandrel is not running: there is nothing to undo, Caps Lock is Caps Lock.");
                return 0;
            }
            if (const auto reply = InstanceChannel::send(instance->paths(), InstanceChannel::Command::unremapCapsLock,
                                                         options_.answerPatience)) {
                options_.print(*reply);
                return 0;
            }
            options_.print("Vandrel runs but does not answer; Caps Lock stays remapped until it quits.");
            return 1;
        }
    }
    if (!instance) return std::nullopt;
    const auto open = [&] {
        return instance->open([this](InstanceChannel::Command command) { return answer(command); });
    };
    bool opened = open();
    std::optional<std::string> reply;
    // The one that runs may end before it answers; then this start tries again to be the one, a few times,
    // within the one patience.
    auto patience = options_.answerPatience;
    const auto deadline = patience.now() + patience.within;
    for (int round = 0; round < 3 && !opened && instance->lockFailure().empty(); ++round) {
        log.info("Another Vandrel runs; asking it to come forward");
        patience.within = std::max(std::chrono::milliseconds::zero(),
                                   std::chrono::duration_cast<std::chrono::milliseconds>(deadline - patience.now()));
        reply = InstanceChannel::send(instance->paths(), InstanceChannel::Command::comeForward, patience);
        if (reply || InstanceChannel::isRunning(instance->paths())) break;
        opened = open();
    }
    reportChannelProblems();
    if (opened) return std::nullopt;
    if (reply) {
        options_.print(*reply);
        return 0;
    }
    if (!instance->lockFailure().empty()) {
        options_.printError("Vandrel cannot take its instance lock (" + instance->lockFailure() +
                            "); this start ends.");
        return 1;
    }
    options_.print("Vandrel is already running but does not answer; this start ends.");
    return 1;
}

void AppDelegate::reportChannelProblems()
{
    const auto& instance = options_.instance;
    if (!instance) return;
    channelProblems_ = instance->notes();
    if (!instance->socketFailure().empty())
        channelProblems_.push_back("Later starts cannot reach this Vandrel; its socket cannot be made: " +
                                   instance->socketFailure());
    // The log does not exist yet: the terminal hears of it now, the log once it is there.
    for (const auto& problem : channelProblems_) options_.printError(problem);
}

std::string AppDelegate::answer(InstanceChannel::Command command)
{
    switch (command) {
        case InstanceChannel::Command::comeForward:
            options_.mainQueue->schedule([this] { comeForward(); });
            if (!accessChecked_.load())
                return "Vandrel is already running and still starting; its window comes forward once it has started.";
            return awaitingAccess_.load()
                       ? "Vandrel is already running and waits for keyboard access; its access guide comes forward."
                       : "Vandrel is already running; its Preferences window comes forward.";
        case InstanceChannel::Command::unremapCapsLock: {
            const bool wasRemapped = remapped_.load();
            options_.mainQueue->schedule([this] { giveCapsLockBack(); });
            return wasRemapped ? "Vandrel stopped remapping Caps Lock and quits, letting the keyboards go: Caps Lock "
                                 "is Caps Lock again."
                               : "Vandrel had not remapped Caps Lock (it waits for keyboard access); it quits, and "
                                 "Caps Lock stays Caps Lock.";
        }
    }
    return {};
}

void AppDelegate::comeForward()
{
    if (quitting_.load()) return;
    if (!accessChecked_.load()) {
        log.info("Another start asked this one to come forward while it starts; it comes forward once started");
        comeForwardWhenStarted_ = true;
        return;
    }
    if (awaitingAccess_.load() && guide_) {
        log.info("Another start asked this one to come forward; the access guide opens");
        guide_->showWindow();
        return;
    }
    log.info("Another start asked this one to come forward; the Preferences window opens");
    options_.showPreferences();
}

void AppDelegate::giveCapsLockBack()
{
    // The mapping lives in this process: removed now, and the keyboards go with the quit.
    if (remapped_.exchange(false)) KeyRemap::unremap();
    log.info("Asked to give Caps Lock back; quitting");
    quitting_.store(true);
    options_.quit(0);
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (!claimInstance()) {
        quitting_.store(true);
        options_.quit(exitCode_);
        return;
    }
    step("migrations", options_.runMigrations);
    if (options_.helperApp) step("helper record", [this] { options_.helperApp->recordCurrentPID(false); });
    // How long the event loop takes to reach the rest (its own start, whatever was queued before).
    options_.mainQueue->schedule([this, queued = options_.mainQueue->now()] {
        if (quitting_.load()) return;
        steps_.add("main queue reached", options_.mainQueue->now() - queued);
        if (beforeInit()) appPreInit();
    });
}

bool AppDelegate::step(const char* name, const std::function<void()>& work)
{
    if (quitting_.load()) return false;
    steps_.measure(name, work);
    return true;
}

bool AppDelegate::beforeInit()
{
    step("logging", options_.initLogging);
    log.info(">>>> App Before Init <<<<");
    log.info("CommondLine.argumentes ->", options_.arguments);
    for (const auto& problem : channelProblems_) log.warning(problem);

    // Nothing is opened or grabbed until the mapping or the taps are first used.
    if (!step("platform", [this] { platform_ = options_.makePlatform(); })) return false;
    installations_.install(Platform::installed(), platform_);
    afterPlatform_ = installations_.mark();
    if (quitting_.load()) return false;
    // The keyboards are opened while the engine is made; taking them after the access check is then quick.
    platform_->prepareInput();

    for (std::size_t i = 1; i < options_.arguments.size(); ++i) {
        const std::string& argument = options_.arguments[i];
        log.info("Do stuff for app argument -> " + argument);
        if (argument == "--uitesting") log.info("resetStateForUITesting");
    }
    return true;
}

void AppDelegate::appPreInit()
{
    log.info(">>>> App Pre-init <<<<");

    if (!step("database", options_.setUpDatabase)) return;

    hasRunPreInit_ = true;
    log.info(">>>> App Start <<<<");
    log.info("version -> " + AppInfo::version());
    log.info("isTesting ->", AppInfo::isTesting());

    engineMade_ = step("engine made", [this] { options_.makeEngine(*this); });
    if (quitting_.load()) return;

    // Taken before anything records this launch.
    const bool isFirstLaunch =
        Defaults().get(DefaultsKeys::app_theTimeFirstLaunch).empty() && !launchesInSetAsideSettings(Defaults());

    bool trusted = false;
    if (!step("access check", [&] { trusted = platform_->isInputAccessTrusted(false); })) return;
    // From here a later start's come-forward has its window: the preferences, or the guide shown below. What one
    // asked for meanwhile comes now.
    const auto windowKnown = [this] {
        accessChecked_.store(true);
        if (std::exchange(comeForwardWhenStarted_, false)) options_.mainQueue->schedule([this] { comeForward(); });
    };
    if (trusted) {
        windowKnown();
        appInit();
        // After the engine start that appInit queued.
        if (isFirstLaunch)
            options_.mainQueue->schedule([this] {
                if (!quitting_.load()) options_.showFirstLaunchDialog();
            });
        return;
    }
    keyboardAccess_.accept(false);
    // The menu offers the guide while access is missing.
    initMenu();
    if (quitting_.load()) return;
    // No grab comes soon: what waits for one runs now.
    options_.mainQueue->schedule([this] {
        if (!quitting_.load()) afterKeyboardsTaken();
    });
    // The schemes are data: the preferences list them while the engine waits for access.
    options_.setUpKeySchemes();
    const auto guide = options_.guide();
    if (!guide)
        log.error("Vandrel waits for input access without its guide");
    else {
        guide_ = guide;
        awaitingAccess_.store(true);
        guide->showWindow();
    }
    windowKnown();
    // A poll of our own, apart from the guide's: the engine starts at the grant whatever the user does with
    // the guide. It runs on the main queue, and so does the rest of start-up.
    std::weak_ptr<Platform> weak = platform_;
    waitingForAccess_ = GetAccessibilityWindowController::checkingAccessibilityObservable(
                            [weak] {
                                const auto platform = weak.lock();
                                return platform && platform->isInputAccessTrusted(false);
                            },
                            options_.mainQueue)
                            .subscribe({}, {}, [this, isFirstLaunch, weakGuide = std::weak_ptr(guide)] {
                                log.info("Input access granted; starting");
                                keyboardAccess_.accept(true);
                                appInit();
                                const auto guide = weakGuide.lock();
                                const bool guideOpen = guide && guide->window()->isVisible();
                                if (guide) guide->accessGranted();
                                if (!isFirstLaunch) return;
                                const auto showDialog = [this] {
                                    options_.mainQueue->schedule([this] { options_.showFirstLaunchDialog(); });
                                };
                                // After the guide's Done when the user still has it open, else at once.
                                if (guideOpen)
                                    guide->doneAction = showDialog;
                                else
                                    showDialog();
                            });
}

void AppDelegate::appInit()
{
    if (quitting_.load()) return;
    awaitingAccess_.store(false);
    if (!step("Caps Lock remap", [] { KeyRemap::remap(); })) return;
    remapped_.store(true);
    observeNotifications();
    options_.mainQueue->schedule([this] {
        if (step("engine start", options_.startEngine)) steps_.markSinceExec("engine started since exec");
    });
    // The launch is recorded only once access is there; the rest of the deferred work may have run already.
    options_.mainQueue->schedule([this] {
        if (!step("launch recorded", [this] {
                log.debug("Defaults[.app_theVersionFirstLaunch] ->",
                          std::vector<std::string>{"true", Defaults().get(DefaultsKeys::app_theVersionFirstLaunch)});
                pickSomeUserDefaultsInfo();
                AppInfo::renewLoginItem();
                log.debug("Defaults[.app_theVersionFirstLaunch] ->",
                          Defaults().get(DefaultsKeys::app_theVersionFirstLaunch));
            }))
            return;
        afterKeyboardsTaken();
    });
}

void AppDelegate::afterKeyboardsTaken()
{
    if (deferredRan_) return;
    deferredRan_ = true;
    // The tray icon appears once the keyboards are taken: building the menu takes a while on a slow machine.
    initMenu();
    usageSessionStarted_ = step("usage session", options_.startUsageSession);
    step("updater", options_.setUpUpdater);
    if (options_.installWindows) step("windows", options_.installWindows);
    if (options_.upkeep) step("stored-data upkeep", options_.upkeep);
    if (!quitting_.load()) log.debug("Start-up steps ->", steps_.summary());
}

void AppDelegate::initMenu()
{
    if (menuMade_) return;
    menuMade_ = step("tray menu", options_.initMenu);
}

void AppDelegate::pickSomeUserDefaultsInfo()
{
    auto& settings = Defaults();
    if (settings.get(DefaultsKeys::app_theVersionFirstLaunch).empty())
        settings.set(DefaultsKeys::app_theVersionFirstLaunch, AppInfo::version());
    const std::string now = nowIso8601();
    if (settings.get(DefaultsKeys::app_theTimeFirstLaunch).empty())
        settings.set(DefaultsKeys::app_theTimeFirstLaunch, now);
    settings.set(DefaultsKeys::app_theTimeLastLaunch, now);
    settings.set(DefaultsKeys::app_launchedTimes, settings.get(DefaultsKeys::app_launchedTimes) + 1);
}

void AppDelegate::observeNotifications()
{
    powerEvents_ = platform_->workspace().powerEvents().subscribe([this](PowerEvent event) {
        if (event == PowerEvent::didWake)
            onWakeNote();
        else
            onSleepNote();
    });
}

void AppDelegate::onWakeNote()
{
    log.debug("OS did wake");
    KeyRemap::remap();
}

void AppDelegate::onSleepNote()
{
    log.debug("OS will sleep");
}

void AppDelegate::onTerminateSignal(int signal)
{
    if (quitting_.exchange(true)) {
        // The keyboards are already let go; whatever hangs the shutdown must not keep the process.
        log.warning("Second terminating signal while quitting; ending now ->", signal);
        options_.exitNow(128 + signal);
        return;
    }
    log.info("Terminating signal; quitting ->", signal);
    options_.quit(0);
}

void AppDelegate::applicationWillTerminate()
{
    if (terminated_) return;
    terminated_ = true;
    quitting_.store(true);
    watchdog_.reset();
    // A start that ended at claimInstance() made nothing; what is shared belongs to the running instance.
    if (claimed_ == false) return;
    waitingForAccess_.dispose();
    powerEvents_.dispose();
    log.info(">>>> App will Terminate <<<<");
    if (hasRunPreInit_) {
        // What was made since the platform goes, last made first; the platform stays while the engine stops
        // and Caps Lock is given back.
        installations_.clearTo(afterPlatform_);
        if (engineMade_) options_.stopEngine();
        // Only a mapping this process applied needs removing; removing one otherwise would open the keyboards.
        if (remapped_) KeyRemap::unremap();
        if (usageSessionStarted_) options_.endUsageSession();
        log.info(">>>> App End <<<<");
    } else {
        log.info("App run beforeInit() only, so terminate now.");
    }
    if (options_.helperApp) options_.helperApp->recordCurrentPID(true);
    // Released explicitly: objects that outlive this step may still hold the platform.
    if (platform_) platform_->shutdown();
    installations_.clear();
    platform_.reset();
    guide_.reset();
    // Last: a new start may take the keyboards once the lock is free.
    if (options_.instance) options_.instance->close();
}

}  // namespace vandrel
