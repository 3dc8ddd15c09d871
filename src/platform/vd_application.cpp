#include "platform/vd_application.h"

#include "platform/platform.h"
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
