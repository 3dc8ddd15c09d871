#include "windowbinding/vd_application_open.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/log.h"
#include "platform/platform.h"

namespace vandrel {

namespace {

constexpr double kCheckInterval = 0.1;

bool sameText(const std::optional<std::string>& a, const std::string& b)
{
    return a && a->size() == b.size() &&
           std::equal(a->begin(), a->end(), b.begin(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

std::shared_ptr<VDApplication> VDApplicationOpener::findApplication(const std::string& appIdOrName)
{
    if (auto app = VDApplication::getAppWithBundleId(appIdOrName)) return app;
    auto platform = Platform::shared();
    if (!platform) return nullptr;
    for (const auto& running : platform->workspace().runningApplications()) {
        std::optional<std::string> program;
        if (running.executablePath) program = std::filesystem::path(*running.executablePath).filename().string();
        if (sameText(running.bundleIdentifier, appIdOrName) || sameText(running.localizedName, appIdOrName) ||
            sameText(program, appIdOrName))
            if (auto app = VDApplication::newAppWithPid(running.processIdentifier)) return app;
    }
    return nullptr;
}

bool VDApplicationOpener::open(const std::string& app, std::optional<double> waitLimit,
                               std::optional<bool> waitForWindow, Callback callback, std::function<void()> gaveUp) const
{
    // A stored binding names an application, never a program to run: a path is refused here already.
    if (app.find('/') != std::string::npos) {
        log.warning("A window binding names a path instead of an application; nothing is launched");
        return false;
    }
    const bool launched = VDApplication::launchOrFocusByBundleId(app) || VDApplication::launchOrFocusByName(app);
    log.info("opening app by bundleId or appName -> " + app + ", result -> " + (launched ? "true" : "false"));
    if (!launched) return false;
    log.info("start to check if app opening");
    openingCheck(scheduler_, app, waitLimit.value_or(0), waitForWindow.value_or(true), std::move(callback),
                 std::move(gaveUp));
    return true;
}

void VDApplicationOpener::openingCheck(const rx::SchedulerPtr& scheduler, const std::string& appIdOrName, double limit,
                                       bool waitForWindow, Callback callback, std::function<void()> gaveUp)
{
    const auto recheck = [scheduler, appIdOrName, limit, waitForWindow, callback, gaveUp] {
        if (!(limit > 0)) {
            log.warning("the launched application showed no window in time ->", appIdOrName);
            if (gaveUp) gaveUp();
            return;
        }
        // The pending job holds its scheduler weakly: a scheduler that goes drops it instead of being kept
        // alive by it.
        std::weak_ptr<rx::Scheduler> weak = scheduler;
        scheduler->scheduleAfter(
            rx::seconds(kCheckInterval), [weak, appIdOrName, limit, waitForWindow, callback, gaveUp] {
                if (const auto scheduler = weak.lock())
                    openingCheck(scheduler, appIdOrName, limit - kCheckInterval, waitForWindow, callback, gaveUp);
            });
    };
    const auto app = findApplication(appIdOrName);
    if (!app) return recheck();
    log.info("app opend ->", app->name.value_or(appIdOrName));
    if (auto window = app->getMainWindow()) {
        log.info("got main window ->", window->getTitle());
        if (callback) callback(window);
        return;
    }
    if (waitForWindow) recheck();
}

}  // namespace vandrel
