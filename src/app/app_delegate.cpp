#include "app/app_delegate.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdlib>
#include <iostream>

#include "app/app_services.h"
#include "app/helper_app_controller.h"
#include "app/migration.h"
#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "clip/realm_migration_handlers.h"
#include "core/app_info.h"
#include "core/common_utils.h"
#include "core/dispatch_queues.h"
#include "core/global_queue.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "engine/key_remap.h"
#include "engine/vandrel.h"
#include "platform/linux/linux_platform.h"
#include "storage/realm.h"
#include "windowbinding/vd_window_binding_data.h"

namespace vandrel {

namespace {

// The core object over the platform, with the factory scheme of the catalogue, its taps' jobs on the input
// thread of the Linux backend.
void startVandrel(const std::shared_ptr<Platform>& platform, AppServices& services)
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
    services.initMenuButton();
    vandrel().start();
    // The schemes are set up on the key-event queue; once it reaches this job, Caps combinations run.
    vandrel().keyEventScheduler()->schedule([] { log.info("Keyboard engine started"); });
}

}  // namespace

AppDelegate::AppDelegate(Options options) : options_(std::move(options))
{
    if (!options_.makePlatform) options_.makePlatform = [] { return std::shared_ptr<Platform>(LinuxPlatform::make()); };
    if (!options_.mainQueue) options_.mainQueue = MainQueue::shared();
    if (!options_.quit) {
        options_.quit = [](int code) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
        };
    }
    if (!options_.exitNow) options_.exitNow = [](int code) { std::_Exit(code); };
    if (!options_.startEngine) {
        options_.startEngine = [this](const std::shared_ptr<Platform>& platform) {
            // The services above the engine, made once on the GUI thread and kept until shutdown.
            if (!services_)
                services_ = std::make_unique<AppServices>(
                    AppServices::Options{platform, MainQueue::shared(), DispatchQueues::windowBinding(),
                                         DispatchQueues::clipService(), GlobalQueue::shared(), options_.quit});
            startVandrel(platform, *services_);
        };
    }
    if (!options_.stopEngine) {
        options_.stopEngine = [this] {
            installVandrel(nullptr);
            services_.reset();
        };
    }
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

std::optional<int> AppDelegate::applicationDidFinishLaunching()
{
    Migration::shared().run();
    if (options_.helperApp) options_.helperApp->recordCurrentPID(false);
    if (!beforeInit()) return std::nullopt;
    return appPreInit();
}

bool AppDelegate::beforeInit()
{
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

std::optional<int> AppDelegate::appPreInit()
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

    hasRunPreInit_ = true;
    log.info(">>>> App Start <<<<");
    log.info("version -> " + AppInfo::version());
    log.info("isTesting ->", AppInfo::isTesting());

    // The platform has logged what is missing and how to grant it; nothing has been opened or grabbed.
    if (!platform_->isInputAccessTrusted(true)) {
        const char* message = "Vandrel cannot watch the keyboard without input access (see above); exiting.";
        log.error(message);
        std::cerr << message << std::endl;
        return kExitNoInputAccess;
    }
    appInit();
    return std::nullopt;
}

void AppDelegate::appInit()
{
    KeyRemap::remap();
    remapped_ = true;
    options_.mainQueue->schedule([this] {
        if (quitting_.load()) return;
        options_.startEngine(platform_);
    });
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
    log.info(">>>> App will Terminate <<<<");
    if (hasRunPreInit_) {
        // Only what this process started needs undoing; unmapping otherwise would open the keyboards.
        if (remapped_) {
            options_.stopEngine();
            KeyRemap::unremap();
        }
        log.info(">>>> App End <<<<");
    } else {
        log.info("App run beforeInit() only, so terminate now.");
    }
    if (options_.helperApp) options_.helperApp->recordCurrentPID(true);
    if (platform_) {
        // Released explicitly: objects that outlive this step may still hold the platform.
        platform_->shutdown();
        if (Platform::shared() == platform_) installPlatform(nullptr);
        platform_.reset();
    }
}

}  // namespace vandrel
