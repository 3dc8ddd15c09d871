// Vandrel's entry point: the switches and the one-instance check, logging, then the start-up chain of
// AppDelegate on the Linux backend, the Qt event loop, and the shutdown that lets every keyboard go.
#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/helper_app_controller.h"
#include "app/program_steps.h"
#include "app/startup_steps.h"
#include "core/defaults.h"
#include "core/global_queue.h"
#include "core/instance_channel.h"
#include "core/log.h"
#include "core/log_manager.h"
#include "core/main_queue.h"
#include "core/program_folders.h"
#include "core/settings_store.h"
#include "platform/linux/linux_platform.h"
#include "storage/stored_data_upkeep.h"
#include "ui/base/vd_msgbox.h"
#include "ui/base/window_fit.h"

namespace {

// Without a session bus to join, Qt's accessibility bridge and tray would have libdbus start a private bus
// daemon (dbus-launch) on the first event-loop turn, which nothing else listens to and which takes seconds on
// a slow machine. The program itself uses no session bus. A bus named in the environment or at the usual
// per-user socket is joined as always.
// True when it turned the bus off.
bool withoutAutolaunchedSessionBus()
{
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) return false;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime && *runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec)) return false;
    return ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace vandrel;
    // Loading the libraries and the static initialisers, before anything of ours runs.
    const auto beforeMain = StartupSteps::sinceExec();
    // The data folder and the shipped resources (texts, images, local pages) every layer reads; installed
    // before anything logs or shows a text, emptied last.
    Installations configuration;
    configuration.install(ProgramFolders::installed(),
                          std::make_shared<const ProgramFolders>(ProgramFolders::standard()));
    // Help and version need no display: a terminal without X (a console, ssh) gets them too.
    if (const auto information = AppDelegate::informationFor(std::vector<std::string>(argv, argv + argc))) {
        std::cout << *information << std::endl;
        return 0;
    }
    const auto qtStart = std::chrono::steady_clock::now();
    // Windows, the tray and the clipboard need a GUI application; without a display the keyboard engine
    // still runs, on Qt's offscreen platform.
    const bool noDisplay =
        !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM");
    if (noDisplay) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool noSessionBus = withoutAutolaunchedSessionBus();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The window manager's class of every window ("vandrel", "Vandrel") and the title of one without its own.
    QApplication::setApplicationName(QStringLiteral("Vandrel"));
    WindowFit::installBaseSizeFix();
    const auto qtMade = std::chrono::steady_clock::now();
    MainQueue::shared();  // names this thread "main" in log lines
    AppDelegate::Options options = programSteps();
    options.arguments.assign(argv, argv + argc);
    options.helperApp = std::make_shared<HelperAppController>();
    options.instance = std::make_shared<InstanceChannel>(InstanceChannel::Paths::standard());
    options.printError = [](const std::string& line) { std::cerr << line << std::endl; };
    // Owner-only folders and files, and no temporary copies left by a run that was killed mid-write: it walks
    // the whole clip store, so it waits until the keyboards are taken (what it removes is over a minute old).
    // The log files' size checks start then too.
    options.upkeep = [] {
        tidyStoredDataAtStart(StoredDataLocations::standard(), std::filesystem::file_time_type::clock::now());
        LogManager::startLoggingSystem(GlobalQueue::shared());
    };
    AppDelegate delegate(std::move(options));
    auto& steps = delegate.startupSteps();
    if (beforeMain) steps.add("before main", *beforeMain);
    steps.add("Qt application", qtMade - qtStart);
    steps.add("delegate made", std::chrono::steady_clock::now() - qtMade);
    // Before anything touches the stored data: a second start, or one that only serves a switch, ends here.
    bool claimed = false;
    steps.measure("instance check", [&] { claimed = delegate.claimInstance(); });
    if (!claimed) return delegate.exitCode();
    // The logger opens the standard settings itself (they hold the file's level), so a broken settings
    // file is reported in the log; set up before the launch migrations read them. The delegate's logging
    // step reads the file's level again.
    steps.measure("early logger", [] {
        LogManager::initLogger();
        installGroupDefaults(
            std::make_shared<SettingsStore>(SettingsStore::standardFolder(), SettingsStore::groupFileName));
    });
    if (noDisplay) vandrel::log.info("No display: windows and messages are not shown, the keyboard engine runs");
    if (noSessionBus) vandrel::log.info("No session bus: none is started for this program");
    // Transient messages of every layer (a tap that cannot be made, a scheme that cannot be saved, the
    // full-log switch) appear on screen.
    VDMsgbox::installAsPresenter();
    // So do the stored files found unusable and set aside: the settings read above at once, the database when
    // it is first opened.
    SetAsideFiles::setListener(tellSetAside);

    // Early, so that a signal at any later point still lets the keyboards go.
    LinuxPlatform::installSignalSafety([&delegate](int signal) { delegate.onTerminateSignal(signal); });

    delegate.applicationDidFinishLaunching();
    const int code = app.exec();
    delegate.applicationWillTerminate();
    // From here a signal takes its default course: the delegate is about to go.
    LinuxPlatform::installSignalSafety(nullptr);
    return code;
}
