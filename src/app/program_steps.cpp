#include "app/program_steps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>
#include <cstdlib>
#include <iostream>

#include "app/app_services.h"
#include "app/migration.h"
#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "catalogue/system_terminal.h"
#include "clip/realm_migration_handlers.h"
#include "core/checked_file.h"
#include "core/dispatch_queues.h"
#include "core/global_queue.h"
#include "core/install_layout.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/log_manager.h"
#include "core/main_queue.h"
#include "core/popup_msg.h"
#include "engine/vandrel.h"
#include "net/ga_reporter.h"
#include "platform/linux/input/input_permission.h"
#include "platform/linux/linux_platform.h"
#include "storage/realm.h"
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
    const CheckedRead source = CheckedFile::read(text, 1024 * 1024);
    if (!source) {
        log.error("The access help cannot be read ->", text.string() + ": " + source.reason);
        return text;
    }
    const QString body = QString::fromUtf8(source.bytes).toHtmlEscaped();
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
    // The desktop's terminal is looked up once, before the taps exist, so the editing actions never look for
    // it on the input thread; not before the grab, which it would delay.
    SystemTerminal::applicationIds();
    core.start();
    // The schemes are set up on the key-event queue; once it reaches this job, Caps combinations run.
    core.keyEventScheduler()->schedule([] { log.info("Keyboard engine started"); });
}

// The core object and the services above it: made once on the GUI thread by makeEngine, kept until stopEngine.
struct ProgramServices {
    std::unique_ptr<AppServices> services;
};

}  // namespace

void tellSetAside(const SetAsideFile& file)
{
    const std::string copy = file.copy.string();
    const std::string message =
        file.kind == SetAsideFile::Kind::settings
            ? localized("Vandrel could not read ${0} and goes on with the default settings; the file is kept as ${1}.",
                        file.original.filename().string(), copy)
            : localized(
                  "Vandrel could not open its clip history and window bindings and goes on with new ones; the old "
                  "file is kept as ${0}.",
                  copy);
    popupMsg(message, 15);
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
AppDelegate::Options programSteps()
{
    AppDelegate::Options options;
    options.makePlatform = [] { return std::shared_ptr<Platform>(LinuxPlatform::make()); };
    options.mainQueue = MainQueue::shared();
    options.quit = [](int code) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    };
    options.exitNow = [](int code) { std::_Exit(code); };
    options.print = [](const std::string& line) { std::cout << line << std::endl; };
    options.runMigrations = [] { Migration::shared().run(); };
    options.initLogging = [] {
        // main() set the logger up before the launch migrations; its file level is read again after them.
        if (const auto file = LogManager::loggingFileDestination())
            file->setMinLevel(LogManager::fileLogLevel());
        else
            LogManager::initLogger();
        InstallLayout::logResourcesFolder();
    };
    options.setUpDatabase = [] {
        RealmMigrationHandlers::registerWithRealm();
        VDWindowBindingData::registerSchema();
        Realm::setCustomConfig();
        // Stored schemes name their actions; every built-in one must be known before any is decoded.
        BuiltInVDAction::registerAll();
    };
    options.startUsageSession = [] { GAReporter::shared().start(); };
    options.endUsageSession = [] { GAReporter::shared().stop(); };
    options.accessHelpPage = accessHelpPage;

    const auto program = std::make_shared<ProgramServices>();
    options.makeEngine = [program, quit = options.quit](AppDelegate& delegate) {
        if (program->services) return;
        const auto& platform = delegate.platform();
        AppServices::Options services{platform,
                                      MainQueue::shared(),
                                      DispatchQueues::windowBinding(),
                                      DispatchQueues::clipService(),
                                      GlobalQueue::shared(),
                                      quit,
                                      [&delegate] { return delegate.keyboardAccess(); },
                                      [](const std::function<void()>& work) { MainQueue::shared()->sync(work); },
                                      [&delegate] { delegate.showAccessGuide(); },
                                      {}};
        // The factory scheme of the catalogue, the taps' jobs on the input thread of the Linux backend.
        services.core.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
        services.core.inputThreadScheduler = platform->inputThreadScheduler();
        // Taps on an input thread of their own: Caps combinations are delivered there, in order with the keys.
        services.core.deliverOnTapThread = services.core.inputThreadScheduler != nullptr;
        program->services = std::make_unique<AppServices>(std::move(services), delegate.installations());
    };
    options.initMenu = [program] {
        if (program->services) program->services->initMenuButton();
    };
    options.setUpUpdater = [program] {
        if (program->services) program->services->setUpUpdater();
    };
    options.setUpKeySchemes = [program] {
        if (program->services) program->services->core->keyService->setUpAtLaunch();
    };
    options.startEngine = [program] {
        if (program->services) startVandrel(*program->services->core);
    };
    options.installWindows = [program] {
        if (program->services) program->services->installWindowsAfterKeyboardsTaken();
    };
    options.stopEngine = [program] { program->services.reset(); };
    options.showPreferences = [program] {
        if (program->services)
            program->services->statusBarMenu->showPreferences();
        else
            log.warning("No tray menu yet; no Preferences window to bring forward");
    };
    options.showFirstLaunchDialog = [program, main = options.mainQueue] {
        VDLogoModal::showModalForFirstTimeLaunched({[program] {
                                                        if (program->services)
                                                            program->services->statusBarMenu->goTutorial();
                                                    },
                                                    main});
    };
    return options;
}

}  // namespace vandrel
