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

int Window::activate() const
{
    if (!window) return -1;
    int result = 0;
    switch (window->raise()) {
        case AccessibilityError::success:
            break;
        case AccessibilityError::invalidUIElement:
            result = -2;
            break;
        case AccessibilityError::cannotComplete:
            result = -3;
            break;
        default:
            // Any other refusal is a failure too: the caller rebinds rather than trusting a window that did
            // not come up.
            result = -3;
            break;
    }
    systemLog("raiseErr: " + std::to_string(result));
    auto platform = Platform::shared();
    const bool fronted = platform && platform->windowSystem().bringProcessToFront(pid, true);
    if (result == 0 && !fronted) result = -4;
    return result;
}

int Window::minimize() const
{
    systemLog("minimize, title: " + (window ? window->title().value_or("") : std::string()));
    if (!window) return 1;
    return window->setMinimized(true) == AccessibilityError::success ? 0 : 2;
}

int Window::unminimize() const
{
    if (!window) return 1;
    return window->setMinimized(false) == AccessibilityError::success ? 0 : 2;
}

bool Window::isMinimize() const
{
    return window && window->isMinimized().value_or(false);
}

bool Window::isFullscreen() const
{
    return window && window->isFullscreen().value_or(false);
}

bool Window::isFocused() const
{
    auto platform = Platform::shared();
    auto focused = platform ? platform->windowSystem().focusedWindow() : nullptr;
    const std::uint32_t number = focused ? focused->windowNumber().value_or(0) : 0;
    return winid == number;
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
