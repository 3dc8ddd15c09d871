// Vandrel's entry point. Sets up settings and logging and reports what started.
#include <QCoreApplication>
#include <memory>

#include "foundation/app_info.h"
#include "foundation/defaults.h"
#include "foundation/global_queue.h"
#include "foundation/log.h"
#include "foundation/log_manager.h"
#include "foundation/main_queue.h"
#include "foundation/settings_store.h"

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
    vandrel::log.info("Vandrel started: foundation only, no keyboard engine yet ->", AppInfo::vdVersion());
    vandrel::log.info("isTesting ->", AppInfo::isTesting());
    return 0;
}
