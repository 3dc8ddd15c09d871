#include "app/app_restart.h"

#include <unistd.h>

#include <memory>
#include <utility>

#include "core/log.h"
#include "platform/linux/desktop/desktop_launcher.h"

namespace vandrel {

AppRestart::Options AppRestart::forThisProcess(std::function<void(int code)> quit)
{
    Options options;
    auto launcher = std::make_shared<DesktopLauncher>();
    options.launchAfterExit = [launcher](std::int64_t pid, const std::vector<std::string>& argv) {
        return launcher->launchAfterExit(pid, argv);
    };
    options.commandLine = DesktopLauncher::ownCommandLine();
    options.pid = static_cast<std::int64_t>(getpid());
    options.quit = std::move(quit);
    return options;
}

AppRestart::AppRestart(Options options) : options_(std::move(options)) {}

bool AppRestart::restart()
{
    if (restarting_) {
        log.info("restartApp: already restarting");
        return false;
    }
    if (options_.commandLine.empty() || !options_.launchAfterExit || !options_.quit) {
        log.error("restartApp: cannot tell how this program was started; it keeps running");
        return false;
    }
    const auto helper = options_.launchAfterExit(options_.pid, options_.commandLine);
    if (!helper) {
        log.error("restartApp: the new instance could not be prepared; the program keeps running",
                  options_.commandLine.front());
        return false;
    }
    restarting_ = true;
    log.info("restartApp: the new instance starts once this one has ended ->", *helper);
    options_.quit(0);
    return true;
}

}  // namespace vandrel
