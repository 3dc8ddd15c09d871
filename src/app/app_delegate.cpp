#include "app/app_delegate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>
#include <iostream>

#include "app/app_services.h"
#include "app/helper_app_controller.h"
#include "app/migration.h"
#include "app/watchdog.h"
#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "clip/realm_migration_handlers.h"
#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"
#include "core/global_queue.h"
#include "core/instance_channel.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/log_manager.h"
#include "core/main_queue.h"
#include "engine/key_remap.h"
#include "engine/vandrel.h"
#include "net/ga_reporter.h"
#include "platform/linux/input/input_permission.h"
#include "platform/linux/linux_platform.h"
#include "storage/realm.h"
#include "ui/overlays/get_accessibility_window_controller.h"
#include "ui/overlays/vd_logo_modal.h"
#include "windowbinding/vd_window_binding_data.h"

namespace vandrel {

namespace {

// The help on granting access as a page the desktop's browser shows: the bundled text in a plain HTML
// page in the cache folder (a .txt file would go to whatever edits text). The text itself when the page
// cannot be written.
std::filesystem::path accessHelpPage()
{
    const std::filesystem::path text = InputPermission::helpTextPath();
    QFile source(QString::fromStdString(text.string()));
    if (!source.open(QIODevice::ReadOnly)) {
        log.error("The access help cannot be read ->", text.string());
        return text;
    }
    const QString body = QString::fromUtf8(source.readAll()).toHtmlEscaped();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const std::filesystem::path page = std::filesystem::path(folder.toStdString()) / "keyboard-access-help.html";
    QFile out(QString::fromStdString(page.string()));
    if (!QDir().mkpath(folder) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        log.error("The access help page cannot be written ->", page.string());
        return text;
    }
    const QString title = QString::fromStdString(localized("_get_access_title")).toHtmlEscaped();
    out.write(QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head>\n"
                             "<body><h1>%1</h1>\n<pre style=\"white-space: pre-wrap\">%2</pre></body></html>\n")
                  .arg(title, body)
                  .toUtf8());
    return page;
}

void startVandrel(Vandrel& core)
{
    core.start();
    // The schemes are set up on the key-event queue; once it reaches this job, Caps combinations run.
    core.keyEventScheduler()->schedule([] { log.info("Keyboard engine started"); });
}

std::string nowIso8601()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

const char* const AppDelegate::kUsage =
    "Usage: vandrel [switch]\n"
    "Without a switch: starts Vandrel, or brings the running one forward (its Preferences window, or its\n"
    "access guide while it waits for keyboard access).\n"
    "  --unremap-capslock  the running Vandrel stops remapping Caps Lock, lets the keyboards go and quits\n"
    "  --uitesting         notes in the log that a user-interface test runs\n"
    "  --help              shows this list";

AppDelegate::AppDelegate(Options options) : options_(std::move(options))
{
    useProgramStepsWhereUnset();
    steps_ = StartupSteps(options_.mainQueue);
    watchdog_ =
        std::make_unique<Watchdog>(rx::seconds(kWatchdogThreshold), options_.watchdogScheduler, [](rx::Duration late) {
            log.warning("main thread has been blocked for too long!!! ->", std::chrono::duration<double>(late).count());
        });
    if (const auto queue = std::dynamic_pointer_cast<MainQueue>(options_.mainQueue)) watchdog_->watch(*queue);
}

// Every timer and poll of the running program. At rest (nobody types, nothing changes) none of them fires
// more than once an hour, apart from the clipboard where its owner changes cannot be followed.
//
//   what                                  period            why; stays?
//   main-thread watchdog (Watchdog)       none              looks at how late each main-queue job starts, on the
//                                                           main thread; no ping, no other thread
//   input stall watchdog (InputBackend)   1 s, one-shot     armed by a round of input work, rests when the loop
//                                                           waits in epoll; on DispatchQueues::watchdogs()
//   input loop epoll                      none              a time-out only while an action's paced strokes are
//                                                           pending; new-node and grab retries (100 ms .. 5 s)
//                                                           are one-shots while a keyboard is new or busy
//   tap guardian (InputObserver)          2 s, one-shot     only after the platform disabled a tap
//   secure input (WorkingEnvironment)     none              logind's LockedHint changes, read once at start
//   keyboard layout watcher (XKB)         none              the display's notices; poll() without a time-out
//   X11 desktop watcher, instance         none              poll() on their sockets without a time-out
//   channel, signal guard
//   main queue, serial and global queues  none              woken by a job; a timer only for the earliest
//                                                           delayed job
//   log writer and sinks                  none              written and flushed line by line as they come
//   log file size check (LogManager)      1 h               stays: the two log files are kept small
//   clip history cleanup (DataCleanSvc)   30 min            stays: trims the history to its limit
//   clipboard capture (ClipService)       event-driven      X11 selection-owner notices; the 250 ms change-count
//                                                           poll remains only where the display gives none
//   access polls (guide and delegate)     300 ms            stays, only while waiting for keyboard access
//   message fade (VDMsgbox)               16 ms             only while a message fades
//   hotstring time limit, network reply   one-shot          only while an expression or a request runs
//   time-outs, order barrier (500 ms),
//   Caps release repair (0.1 s)
void AppDelegate::useProgramStepsWhereUnset()
{
    if (!options_.makePlatform) options_.makePlatform = [] { return std::shared_ptr<Platform>(LinuxPlatform::make()); };
    if (!options_.mainQueue) options_.mainQueue = MainQueue::shared();
    if (!options_.watchdogScheduler) options_.watchdogScheduler = options_.mainQueue;
    if (!options_.quit) {
        options_.quit = [](int code) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
        };
    }
    if (!options_.print) options_.print = [](const std::string& line) { std::cout << line << std::endl; };
    if (!options_.showPreferences) {
        options_.showPreferences = [this] {
            if (services_)
                services_->statusBarMenu->showPreferences();
            else
                log.warning("No tray menu yet; no Preferences window to bring forward");
        };
    }
    if (!options_.exitNow) options_.exitNow = [](int code) { std::_Exit(code); };
    if (!options_.runMigrations) options_.runMigrations = [] { Migration::shared().run(); };
    if (!options_.initLogging) {
        options_.initLogging = [] {
            LogManager::initLogger();
            LogManager::startLoggingSystem(GlobalQueue::shared());
        };
    }
    if (!options_.startUsageSession) options_.startUsageSession = [] { GAReporter::shared().start(); };
    if (!options_.endUsageSession) options_.endUsageSession = [] { GAReporter::shared().stop(); };
    if (!options_.makeEngine) {
        options_.makeEngine = [this](const std::shared_ptr<Platform>& platform) {
            // The core object and the services above it, made once on the GUI thread and kept until shutdown.
            if (services_) return;
            AppServices::Options services{platform,
                                          MainQueue::shared(),
                                          DispatchQueues::windowBinding(),
                                          DispatchQueues::clipService(),
                                          GlobalQueue::shared(),
                                          options_.quit,
                                          [this] { return keyboardAccess(); },
                                          [](const std::function<void()>& work) { MainQueue::shared()->sync(work); },
                                          [this] {
                                              if (guide_) guide_->showWindow();
                                          },
                                          {}};
            // The factory scheme of the catalogue, the taps' jobs on the input thread of the Linux backend.
            services.core.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
            services.core.inputThreadScheduler = platform->inputThreadScheduler();
            // Taps on an input thread of their own: Caps combinations are delivered there, in order with the keys.
            services.core.deliverOnTapThread = services.core.inputThreadScheduler != nullptr;
            services_ = std::make_unique<AppServices>(std::move(services));
        };
    }
    if (!options_.initMenu) {
        options_.initMenu = [this] {
            if (services_) services_->initMenuButton();
        };
    }
    if (!options_.setUpUpdater) {
        options_.setUpUpdater = [this] {
            if (services_) services_->setUpUpdater();
        };
    }
    if (!options_.startEngine) {
        options_.startEngine = [this] {
            if (services_) startVandrel(*services_->core);
        };
    }
    if (!options_.stopEngine) options_.stopEngine = [this] { services_.reset(); };
    if (!options_.guide) {
        options_.guide = [this] {
            // Built on first use; the guide's own copy of the slot goes at shutdown.
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
                services.openHelp = [weak] {
                    if (const auto platform = weak.lock())
                        platform->workspace().openUrl(
                            QUrl::fromLocalFile(QString::fromStdString(accessHelpPage().string()))
                                .toString()
                                .toStdString());
                };
                services.quit = [quit = options_.quit] { quit(0); };
                return services;
            });
            installations_.install(GetAccessibilityWindowController::installed(), guide);
            return guide->get();
        };
    }
    if (!options_.showFirstLaunchDialog) {
        options_.showFirstLaunchDialog = [this] {
            VDLogoModal::showModalForFirstTimeLaunched({[this] {
                                                            if (services_) services_->statusBarMenu->goTutorial();
                                                        },
                                                        options_.mainQueue});
        };
    }
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
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
    for (std::size_t i = 1; i < options_.arguments.size(); ++i) {
        const std::string& argument = options_.arguments[i];
        if (argument == "--help") {
            options_.print(kUsage);
            return 0;
        }
        if (argument == "--unremap-capslock") {
            if (!instance || !InstanceChannel::isRunning(instance->paths())) {
                options_.print("Vandrel is not running: there is nothing to undo, Caps Lock is Caps Lock.");
                return 0;
            }
            if (const auto reply =
                    InstanceChannel::send(instance->paths().socket, InstanceChannel::Command::unremapCapsLock)) {
                options_.print(*reply);
                return 0;
            }
            options_.print("Vandrel runs but does not answer; Caps Lock stays remapped until it quits.");
            return 1;
        }
    }
    if (!instance) return std::nullopt;
    if (instance->open([this](InstanceChannel::Command command) { return answer(command); })) return std::nullopt;
    log.info("Another Vandrel runs; asking it to come forward ->", instance->paths().lock.string());
    if (const auto reply = InstanceChannel::send(instance->paths().socket, InstanceChannel::Command::comeForward)) {
        options_.print(*reply);
        return 0;
    }
    options_.print("Vandrel is already running but does not answer; this start ends.");
    return 1;
}

std::string AppDelegate::answer(InstanceChannel::Command command)
{
    switch (command) {
        case InstanceChannel::Command::comeForward:
            options_.mainQueue->schedule([this] { comeForward(); });
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
    if (!hasRunPreInit_) {
        log.info("Another start asked this one to come forward while it starts; nothing to show yet");
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
    steps_.measure("migrations", options_.runMigrations);
    if (options_.helperApp) steps_.measure("helper record", [this] { options_.helperApp->recordCurrentPID(false); });
    // How long the event loop takes to reach the rest (its own start, whatever was queued before).
    options_.mainQueue->schedule([this, queued = options_.mainQueue->now()] {
        if (quitting_.load()) return;
        steps_.add("main queue reached", options_.mainQueue->now() - queued);
        if (beforeInit()) appPreInit();
    });
}

bool AppDelegate::beforeInit()
{
    steps_.measure("logging", options_.initLogging);
    log.info(">>>> App Before Init <<<<");
    log.info("CommondLine.argumentes ->", options_.arguments);

    // Nothing is opened or grabbed until the mapping or the taps are first used.
    steps_.measure("platform", [this] { platform_ = options_.makePlatform(); });
    installations_.install(Platform::installed(), platform_);
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

    steps_.measure("database", [this] {
        RealmMigrationHandlers::registerWithRealm();
        VDWindowBindingData::registerSchema();
        if (options_.databaseFolder)
            Realm::setCustomConfig(*options_.databaseFolder);
        else
            Realm::setCustomConfig();
        // Stored schemes name their actions; every built-in one must be known before any is decoded.
        BuiltInVDAction::registerAll();
    });

    hasRunPreInit_ = true;
    log.info(">>>> App Start <<<<");
    log.info("version -> " + AppInfo::version());
    log.info("isTesting ->", AppInfo::isTesting());

    steps_.measure("engine made", [this] { options_.makeEngine(platform_); });
    engineMade_ = true;
    steps_.measure("tray menu", options_.initMenu);

    // Taken before anything records this launch.
    const bool isFirstLaunch = Defaults().get(DefaultsKeys::app_theTimeFirstLaunch).empty();

    bool trusted = false;
    steps_.measure("access check", [&] { trusted = platform_->isInputAccessTrusted(false); });
    if (trusted) {
        appInit();
        // After the engine start that appInit queued.
        if (isFirstLaunch) options_.mainQueue->schedule([this] { options_.showFirstLaunchDialog(); });
        return;
    }
    keyboardAccess_.accept(false);
    // No grab comes soon: what waits for one runs now.
    options_.mainQueue->schedule([this] {
        if (!quitting_.load()) afterKeyboardsTaken();
    });
    // The schemes are data: the preferences list them while the engine waits for access.
    if (services_) services_->core->keyService->setUpAtLaunch();
    const auto guide = options_.guide();
    if (!guide)
        log.error("Vandrel waits for input access without its guide");
    else {
        guide_ = guide;
        awaitingAccess_.store(true);
        guide->showWindow();
    }
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
    steps_.measure("Caps Lock remap", [] { KeyRemap::remap(); });
    remapped_.store(true);
    observeNotifications();
    options_.mainQueue->schedule([this] {
        if (quitting_.load()) return;
        steps_.measure("engine start", options_.startEngine);
        steps_.markSinceExec("engine started since exec");
    });
    // The launch is recorded only once access is there; the rest of the deferred work may have run already.
    options_.mainQueue->schedule([this] {
        if (quitting_.load()) return;
        steps_.measure("launch recorded", [this] {
            log.debug("Defaults[.app_theVersionFirstLaunch] ->",
                      std::vector<std::string>{"true", Defaults().get(DefaultsKeys::app_theVersionFirstLaunch)});
            pickSomeUserDefaultsInfo();
            AppInfo::renewLoginItem();
            log.debug("Defaults[.app_theVersionFirstLaunch] ->",
                      Defaults().get(DefaultsKeys::app_theVersionFirstLaunch));
        });
        afterKeyboardsTaken();
    });
}

void AppDelegate::afterKeyboardsTaken()
{
    if (deferredRan_) return;
    deferredRan_ = true;
    steps_.measure("usage session", options_.startUsageSession);
    usageSessionStarted_ = true;
    steps_.measure("updater", options_.setUpUpdater);
    if (services_) steps_.measure("windows", [this] { services_->installWindowsAfterKeyboardsTaken(); });
    if (options_.upkeep) steps_.measure("stored-data upkeep", options_.upkeep);
    log.debug("Start-up steps ->", steps_.summary());
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
    // The guide, then the platform.
    installations_.clear();
    platform_.reset();
    guide_.reset();
    // Last: a new start may take the keyboards once the lock is free.
    if (options_.instance) options_.instance->close();
}

}  // namespace vandrel
