#include "platform/window.h"

#include "platform/platform.h"
#include "platform/system_log.h"

namespace vandrel {

std::shared_ptr<Window> Window::newWindowWithWin(std::shared_ptr<WindowElement> element)
{
    auto w = std::make_shared<Window>();
    w->window = std::move(element);
    if (!w->window) return w;
    if (auto pid = w->window->processIdentifier()) {
        w->pid = *pid;
        w->app = VDApplication::newAppWithPid(*pid);
    }
    if (auto number = w->window->windowNumber()) {
        w->winid = *number;
    } else {
        systemLog("Failed to get winid");
    }
    return w;
}

std::shared_ptr<Window> Window::newWindowByFillPropertyApp(std::shared_ptr<VDApplication> app, std::int32_t pid,
                                                           std::uint32_t winid)
{
    auto w = std::make_shared<Window>();
    w->app = std::move(app);
    w->pid = pid;
    w->winid = winid;
    return w;
}

std::shared_ptr<Window> Window::newWindowByFillPropertyApp(std::shared_ptr<VDApplication> app)
{
    return newWindowByFillPropertyApp(std::move(app), 0, 0);
}

std::shared_ptr<Window> Window::newWindowWithFocused()
{
    auto platform = Platform::shared();
    auto element = platform ? platform->windowSystem().focusedWindow() : nullptr;
    if (!element) {
        systemLog("copyFocusedWindow failt");
        return nullptr;
    }
    systemLog("focued window2: " + element->title().value_or(""));
    auto w = newWindowWithWin(std::move(element));
    if (w->app && w->app->bundleId == platform->windowSystem().fileBrowserBundleId()) {
        auto desk = desktop();
        if (desk && desk->winid == w->winid) return nullptr;
    }
    return w;
}

std::shared_ptr<Window> Window::desktop()
{
    auto platform = Platform::shared();
    if (!platform) return nullptr;
    auto browser = VDApplication::newAppWithBundleId(platform->windowSystem().fileBrowserBundleId());
    if (!browser) return nullptr;
    for (auto& w : browser->getAllWindows())
        if (w->getRole() == "AXScrollArea") return w;
    return nullptr;
}

std::string Window::getTitle() const
{
    if (!window) {
        systemLog("getTitle window nil");
        return {};
    }
    return window->title().value_or("");
}

std::string Window::getRole() const
{
    return window ? window->role().value_or("") : std::string();
}

std::optional<nlohmann::json> Window::getDataForStore() const
{
    if (!app) return std::nullopt;
    auto appData = app->getDataForStore();
    if (!appData) return std::nullopt;
    return nlohmann::json{{"winid", winid}, {"title", getTitle()}, {"app", std::move(*appData)}};
}

}  // namespace vandrel
