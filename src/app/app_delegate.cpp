#include "app/app_delegate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaObject>
#include <QUrl>
#include <cstdlib>

#include "app/app_services.h"
#include "app/helper_app_controller.h"
#include "app/migration.h"
#include "app/watchdog.h"
#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "clip/realm_migration_handlers.h"
#include "core/app_info.h"
#include "core/common_utils.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"
#include "core/global_queue.h"
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

// The core object over the platform, with the factory scheme of the catalogue, its taps' jobs on the input
// thread of the Linux backend. Made before the tray menu (which follows its state), started after the gate.
void makeVandrel(const std::shared_ptr<Platform>& platform, const AppServices& services)
{
    Vandrel::Options options;
    options.services = services.vandrelServices();
    options.windowBindingService = services.windowBindingKeys;
    options.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
    options.platform = platform;
    options.inputThreadScheduler = platform->inputThreadScheduler();
    // Taps on an input thread of their own: Caps combinations are delivered there, in order with the keys.
    options.deliverOnTapThread = options.inputThreadScheduler != nullptr;
    installVandrel(Vandrel::make(std::move(options)));
}

void startVandrel()
{
    vandrel().start();
    // The schemes are set up on the key-event queue; once it reaches this job, Caps combinations run.
    vandrel().keyEventScheduler()->schedule([] { log.info("Keyboard engine started"); });
}

std::string nowIso8601()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

AppDelegate::AppDelegate(Options options) : options_(std::move(options))
{
    useProgramStepsWhereUnset();
    watchdog_ =
        std::make_unique<Watchdog>(rx::seconds(kWatchdogThreshold), options_.mainQueue, options_.watchdogScheduler,
                                   [] { log.warning("main thread has been blocked for too long!!!"); });
}

void AppDelegate::useProgramStepsWhereUnset()
{
    if (!options_.makePlatform) options_.makePlatform = [] { return std::shared_ptr<Platform>(LinuxPlatform::make()); };
    if (!options_.mainQueue) options_.mainQueue = MainQueue::shared();
    if (!options_.watchdogScheduler) options_.watchdogScheduler = GlobalQueue::shared();
    if (!options_.quit) {
        options_.quit = [](int code) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
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
            // The services above the engine, made once on the GUI thread and kept until shutdown.
            if (!services_)
                services_ = std::make_unique<AppServices>(
                    AppServices::Options{platform, MainQueue::shared(), DispatchQueues::windowBinding(),
                                         DispatchQueues::clipService(), GlobalQueue::shared(), options_.quit});
            makeVandrel(platform, *services_);
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
    if (!options_.startEngine) options_.startEngine = [] { startVandrel(); };
    if (!options_.stopEngine) {
        options_.stopEngine = [this] {
            installVandrel(nullptr);
            services_.reset();
        };
    }
    if (!options_.guide) {
        options_.guide = [this] {
            GetAccessibilityWindowController::installShared([this] {
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
                services.quit = [quit = options_.quit] { quit(0); };
                return services;
            });
            return GetAccessibilityWindowController::shared();
        };
    }
    if (!options_.showFirstLaunchDialog) {
        options_.showFirstLaunchDialog = [this] {
            VDLogoModal::showModalForFirstTimeLaunched({[] {
                                                            if (const auto menu = VDStatusBarMenu::shared())
                                                                menu->goTutorial();
                                                        },
                                                        options_.mainQueue});
        };
    }
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

void AppDelegate::applicationDidFinishLaunching()
{
    options_.runMigrations();
    if (options_.helperApp) options_.helperApp->recordCurrentPID(false);
    options_.mainQueue->schedule([this] {
        if (quitting_.load()) return;
        if (beforeInit()) appPreInit();
    });
}

bool AppDelegate::beforeInit()
{
    options_.initLogging();
    log.info(">>>> App Before Init <<<<");
    log.info("CommondLine.argumentes ->", options_.arguments);

    // Made before the switches: removing the Caps Lock mapping goes through it. Nothing is opened or
    // grabbed until the mapping or the taps are first used.
    platform_ = options_.makePlatform();
    installPlatform(platform_);

    for (std::size_t i = 1; i < options_.arguments.size(); ++i) {
        const std::string& argument = options_.arguments[i];
        log.info("Do stuff for app argument -> " + argument);
        if (argument == "--unremap-capslock") {
            KeyRemap::unremap();
            quitting_.store(true);
            options_.mainQueue->scheduleAfter(CommonUtils::delayFor(kUnremapQuitDelay), [this] { options_.quit(0); });
            return false;
        }
        if (argument == "--uitesting") log.info("resetStateForUITesting");
    }
    return true;
}

void AppDelegate::appPreInit()
{
    log.info(">>>> App Pre-init <<<<");

    RealmMigrationHandlers::registerWithRealm();
    VDWindowBindingData::registerSchema();
    if (options_.databaseFolder)
        Realm::setCustomConfig(*options_.databaseFolder);
    else
        Realm::setCustomConfig();
    // Stored schemes name their actions; every built-in one must be known before any is decoded.
    BuiltInVDAction::registerAll();
    options_.startUsageSession();

    hasRunPreInit_ = true;
    log.info(">>>> App Start <<<<");
    log.info("version -> " + AppInfo::version());
    log.info("isTesting ->", AppInfo::isTesting());

    // The guide's help on granting input access.
    CommonUtils::setAccessibilitySettingsOpener([weak = std::weak_ptr<Platform>(platform_)] {
        if (const auto platform = weak.lock())
            platform->workspace().openUrl(
                QUrl::fromLocalFile(QString::fromStdString(InputPermission::helpTextPath())).toString().toStdString());
    });

    options_.makeEngine(platform_);
    engineMade_ = true;
    options_.initMenu();
    options_.setUpUpdater();

    // Taken before anything records this launch.
    const bool isFirstLaunch = Defaults().get(DefaultsKeys::app_theTimeFirstLaunch).empty();

    if (platform_->isInputAccessTrusted(false)) {
        appInit();
        // After the engine start that appInit queued.
        if (isFirstLaunch) options_.mainQueue->schedule([this] { options_.showFirstLaunchDialog(); });
        return;
    }
    const auto guide = options_.guide();
    if (!guide) {
        log.error("Vandrel waits for input access without its guide");
    } else {
        if (isFirstLaunch)
            guide->doneAction = [this] { options_.mainQueue->schedule([this] { options_.showFirstLaunchDialog(); }); };
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
                            .subscribe({}, {}, [this] {
                                log.info("Input access granted; starting");
                                appInit();
                            });
}

void AppDelegate::appInit()
{
    if (quitting_.load()) return;
    KeyRemap::remap();
    remapped_ = true;
    observeNotifications();
    options_.mainQueue->schedule([this] {
        if (quitting_.load()) return;
        options_.startEngine();
    });
    log.debug("Defaults[.app_theVersionFirstLaunch] ->",
              std::vector<std::string>{"true", Defaults().get(DefaultsKeys::app_theVersionFirstLaunch)});
    pickSomeUserDefaultsInfo();
    AppInfo::renewLoginItem();
    log.debug("Defaults[.app_theVersionFirstLaunch] ->", Defaults().get(DefaultsKeys::app_theVersionFirstLaunch));
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
    waitingForAccess_.dispose();
    powerEvents_.dispose();
    log.info(">>>> App will Terminate <<<<");
    if (hasRunPreInit_) {
        if (engineMade_) options_.stopEngine();
        // Only a mapping this process applied needs removing; removing one otherwise would open the keyboards.
        if (remapped_) KeyRemap::unremap();
        options_.endUsageSession();
        log.info(">>>> App End <<<<");
    } else {
        log.info("App run beforeInit() only, so terminate now.");
    }
    if (options_.helperApp) options_.helperApp->recordCurrentPID(true);
    GetAccessibilityWindowController::installShared({});
    CommonUtils::setAccessibilitySettingsOpener(nullptr);
    if (platform_) {
        // Released explicitly: objects that outlive this step may still hold the platform.
        platform_->shutdown();
        if (Platform::shared() == platform_) installPlatform(nullptr);
        platform_.reset();
    }
}

}  // namespace vandrel
