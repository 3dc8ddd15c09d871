#include "platform/vd_application.h"

#include "core/log.h"
#include "platform/platform.h"
#include "platform/system_log.h"
#include "platform/window.h"

namespace vandrel {

namespace {

void fill(VDApplication& app, const RunningApplication& running)
{
    app.runningApp = running;
    app.bundleId = running.bundleIdentifier;
    app.url = running.bundleUrl;
    app.name = running.localizedName;
}

}  // namespace

std::shared_ptr<VDApplication> VDApplication::newAppWithPid(std::int32_t pid)
{
    auto platform = Platform::shared();
    if (!platform || !platform->windowSystem().hasApplicationElement(pid)) return nullptr;
    auto running = platform->workspace().runningApplication(pid);
    if (!running) return nullptr;
    auto app = std::make_shared<VDApplication>();
    fill(*app, *running);
    app->hasElement = true;
    app->pid = pid;
    return app;
}

std::shared_ptr<VDApplication> VDApplication::newAppWithBundleId(const std::string& bundleId)
{
    auto platform = Platform::shared();
    if (!platform) return nullptr;
    auto running = platform->workspace().runningApplicationsWithBundleId(bundleId);
    if (running.empty()) return nullptr;
    auto app = std::make_shared<VDApplication>();
    fill(*app, running.front());
    if (platform->windowSystem().hasApplicationElement(running.front().processIdentifier)) {
        app->hasElement = true;
        app->pid = running.front().processIdentifier;
    }
    return app;
}

std::shared_ptr<VDApplication> VDApplication::newAppByFillProperty(std::int32_t pid, const std::string& bundleId,
                                                                   const std::string& name,
                                                                   std::optional<std::string> url)
{
    auto app = std::make_shared<VDApplication>();
    app->pid = pid;
    app->bundleId = bundleId;
    app->name = name;
    app->url = std::move(url);
    return app;
}

std::vector<std::shared_ptr<VDApplication>> VDApplication::getAllRunningApplications()
{
    std::vector<std::shared_ptr<VDApplication>> out;
    auto platform = Platform::shared();
    if (!platform) return out;
    for (const auto& running : platform->workspace().runningApplications())
        if (auto app = newAppWithPid(running.processIdentifier)) out.push_back(std::move(app));
    return out;
}

std::vector<std::shared_ptr<VDApplication>> VDApplication::applicationsForBundleId(const std::string& bundleId)
{
    std::vector<std::shared_ptr<VDApplication>> out;
    auto platform = Platform::shared();
    if (!platform) return out;
    for (const auto& running : platform->workspace().runningApplicationsWithBundleId(bundleId))
        if (auto app = newAppWithPid(running.processIdentifier)) out.push_back(std::move(app));
    return out;
}

std::shared_ptr<VDApplication> VDApplication::getAppWithBundleId(const std::string& bundleId)
{
    systemLog("getApp start, hint: " + bundleId);
    auto apps = applicationsForBundleId(bundleId);
    return apps.empty() ? nullptr : apps.front();
}

std::shared_ptr<VDApplication> VDApplication::restoreFromData(const nlohmann::json& data)
{
    if (!data.is_object()) return nullptr;
    if (const auto pid = data.find("pid"); pid != data.end() && pid->is_number_integer())
        if (auto app = newAppWithPid(pid->get<std::int32_t>())) return app;
    if (const auto id = data.find("bundleId"); id != data.end() && id->is_string())
        return getAppWithBundleId(id->get<std::string>());
    return nullptr;
}

bool VDApplication::isRunning(std::int32_t pid)
{
    auto platform = Platform::shared();
    return platform && platform->workspace().runningApplication(pid).has_value();
}

bool VDApplication::isRunningWithBundleId(const std::string& bundleId)
{
    auto platform = Platform::shared();
    return platform && !platform->workspace().runningApplicationsWithBundleId(bundleId).empty();
}

bool VDApplication::launchOrFocusByBundleId(const std::string& bundleId)
{
    auto platform = Platform::shared();
    return platform && platform->workspace().launchApplication(bundleId);
}

bool VDApplication::launchOrFocusByName(const std::string& name)
{
    auto platform = Platform::shared();
    return platform && platform->workspace().launchApplicationNamed(name);
}

bool VDApplication::launchOrFocusAtURLStr(const std::string& url)
{
    auto platform = Platform::shared();
    if (!platform || url.empty()) return false;
    return platform->workspace().launchApplicationAtUrl(url).has_value();
}

bool VDApplication::isRunning() const
{
    if (pid > 0) return isRunning(pid);
    return bundleId && isRunningWithBundleId(*bundleId);
}

std::shared_ptr<Window> VDApplication::mainWindow() const
{
    auto platform = Platform::shared();
    if (!platform) return nullptr;
    if (hasElement)
        if (auto element = platform->windowSystem().mainWindowOfApplication(pid)) {
            systemLog("getting main window success");
            return Window::newWindowWithWin(std::move(element));
        }
    const auto front = platform->workspace().frontmostApplication();
    if (runningApp && front && front->processIdentifier == runningApp->processIdentifier) {
        systemLog("return frontmost window");
        return Window::newWindowWithFocused();
    }
    systemLog("getting main window fail");
    return nullptr;
}

std::shared_ptr<Window> VDApplication::getMainWindow() const
{
    log.debug("getMainWindow");
    if (auto window = mainWindow()) return window;
    log.info("the application wrapper found no main window");
    if (!runningApp) {
        log.warning("has not runningApp!");
        return nullptr;
    }
    auto platform = Platform::shared();
    const auto front = platform ? platform->workspace().frontmostApplication() : std::nullopt;
    const bool active = front && front->processIdentifier == runningApp->processIdentifier;
    log.info(std::string("app is frontmost? -> ") + (active ? "true" : "false"));
    if (active) {
        log.info("return frontmost window");
        return Window::newWindowWithFocused();
    }
    log.warning("all ways to get main window is fait, find a new way!");
    return nullptr;
}

int VDApplication::kind() const
{
    if (!runningApp) return 1;
    switch (runningApp->activationPolicy) {
        case ActivationPolicy::accessory:
            return 0;
        case ActivationPolicy::prohibited:
            return -1;
        case ActivationPolicy::regular:
            break;
    }
    return 1;
}

std::vector<std::shared_ptr<Window>> VDApplication::getAllWindows() const
{
    std::vector<std::shared_ptr<Window>> out;
    auto platform = Platform::shared();
    if (!platform || !hasElement) return out;
    for (auto& element : platform->windowSystem().windowsOfApplication(pid, 100))
        if (element) out.push_back(Window::newWindowWithWin(element));
    return out;
}

std::optional<nlohmann::json> VDApplication::getDataForStore() const
{
    if (!bundleId || !name || !url) return std::nullopt;
    return nlohmann::json{{"pid", pid}, {"bundleId", *bundleId}, {"name", *name}, {"url", *url}};
}

}  // namespace vandrel
