// Vandrel's entry point: logging, then the start-up chain of AppDelegate on the Linux backend, the Qt event
// loop, and the shutdown that lets every keyboard go.
#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "core/defaults.h"
#include "core/global_queue.h"
#include "core/log_manager.h"
#include "core/main_queue.h"
#include "core/settings_store.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char** argv)
{
    using namespace vandrel;
    QCoreApplication app(argc, argv);
    MainQueue::shared();  // names this thread "main" in log lines
    // The logger opens the standard settings itself (they hold the file's level), so a broken settings
    // file is reported in the log.
    LogManager::initLogger();
    installGroupDefaults(
        std::make_shared<SettingsStore>(SettingsStore::standardFolder(), SettingsStore::groupFileName));
    LogManager::startLoggingSystem(GlobalQueue::shared());

    AppDelegate::Options options;
    options.arguments.assign(argv, argv + argc);
    AppDelegate delegate(std::move(options));
    // Early, so that a signal at any later point still lets the keyboards go.
    LinuxPlatform::installSignalSafety([&delegate](int signal) { delegate.onTerminateSignal(signal); });

    int code = 0;
    if (const auto early = delegate.applicationDidFinishLaunching())
        code = *early;
    else
        code = app.exec();
    delegate.applicationWillTerminate();
    // From here a signal takes its default course: the delegate is about to go.
    LinuxPlatform::installSignalSafety(nullptr);
    return code;
}
