#include "platform/linux/x11/x11_window_system.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "platform/linux/x11/x11_window_element.h"

namespace vandrel {

X11WindowSystem::X11WindowSystem(std::shared_ptr<X11Desktop> desktop, std::shared_ptr<Workspace> workspace)
    : desktop_(desktop ? std::move(desktop) : X11Desktop::open()), workspace_(std::move(workspace))
{
}

std::shared_ptr<WindowElement> X11WindowSystem::element(X11WindowId window)
{
    std::weak_ptr<Raised> raised = raised_;
    return std::make_shared<X11WindowElement>(desktop_, window, [raised](std::int32_t pid, X11WindowId w) {
        if (auto r = raised.lock()) {
            std::lock_guard lock(r->mutex);
            r->byProcess[pid] = w;
        }
    });
}

bool X11WindowSystem::isDesktopOrDock(X11WindowId window)
{
    const auto type = desktop_->windowType(window);
    return type == X11WindowType::desktop || type == X11WindowType::dock;
}

bool X11WindowSystem::hasApplicationElement(std::int32_t processIdentifier)
{
    return desktop_->available() && processIdentifier > 0 &&
           ::access(("/proc/" + std::to_string(processIdentifier)).c_str(), F_OK) == 0;
}

std::shared_ptr<WindowElement> X11WindowSystem::focusedWindow()
{
    const auto active = desktop_->activeWindow();
    if (!active) return nullptr;
    const auto type = desktop_->windowType(*active);
    if (!type || *type == X11WindowType::desktop || *type == X11WindowType::dock) return nullptr;
    return element(*active);
}

std::vector<std::shared_ptr<WindowElement>> X11WindowSystem::windowsOfApplication(std::int32_t processIdentifier,
                                                                                  std::size_t maxCount)
{
    std::vector<std::shared_ptr<WindowElement>> out;
    for (auto window : desktop_->clientsFrontToBack()) {
        if (out.size() >= maxCount) break;
        if (desktop_->windowPid(window) == processIdentifier) out.push_back(element(window));
    }
    return out;
}

std::vector<X11WindowId> X11WindowSystem::ordinaryWindows(std::int32_t pid)
{
    std::vector<X11WindowId> out;
    for (auto window : desktop_->clientsFrontToBack())
        if (desktop_->windowPid(window) == pid && !isDesktopOrDock(window)) out.push_back(window);
    return out;
}

std::shared_ptr<WindowElement> X11WindowSystem::mainWindowOfApplication(std::int32_t processIdentifier)
{
    const auto windows = ordinaryWindows(processIdentifier);
    if (windows.empty()) return nullptr;
    if (auto active = desktop_->activeWindow();
        active && std::find(windows.begin(), windows.end(), *active) != windows.end())
        return element(*active);
    for (auto window : windows) {
        auto state = desktop_->windowState(window);
        if (state && !state->minimized) return element(window);
    }
    return element(windows.front());
}

bool X11WindowSystem::bringProcessToFront(std::int32_t processIdentifier, bool frontWindowOnly)
{
    if (!hasApplicationElement(processIdentifier)) return false;
    std::optional<X11WindowId> raised;
    {
        std::lock_guard lock(raised_->mutex);
        auto it = raised_->byProcess.find(processIdentifier);
        if (it != raised_->byProcess.end()) {
            raised = it->second;
            raised_->byProcess.erase(it);
        }
    }
    // The window just raised is the front one and the only one asked for: its raise already asked the manager
    // to activate it, which brings the process forward too. Nothing more to send, and no need to walk the
    // process's windows (a round trip to the server each).
    if (frontWindowOnly && raised && desktop_->windowPid(*raised) == processIdentifier) return true;
    const auto windows = ordinaryWindows(processIdentifier);
    if (windows.empty()) return true;  // a process without windows has nothing to show
    X11WindowId front = windows.front();
    if (raised && std::find(windows.begin(), windows.end(), *raised) != windows.end()) front = *raised;
    if (!frontWindowOnly) {
        // Bottom first, so the stacking among them stays and the front window ends on top.
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if (*it != front) desktop_->activate(*it);
    }
    return desktop_->activate(front) != X11RequestResult::failed;
}

std::string X11WindowSystem::fileBrowserBundleId()
{
    if (!workspace_) return defaultFileBrowserBundleId;
    // Asking every client window for its type costs a round trip each: the answer holds while the client
    // list stands.
    const auto generation = desktop_->clientListGeneration();
    const bool cacheable = desktop_->followsChanges();
    if (cacheable) {
        std::lock_guard lock(fileBrowser_->mutex);
        if (fileBrowser_->generation == generation && !fileBrowser_->bundleId.empty()) return fileBrowser_->bundleId;
    }
    std::string found = defaultFileBrowserBundleId;
    for (auto window : desktop_->clientList()) {
        if (desktop_->windowType(window) != X11WindowType::desktop) continue;
        auto pid = desktop_->windowPid(window);
        if (!pid) continue;
        if (auto app = workspace_->runningApplication(*pid); app && app->bundleIdentifier) {
            found = *app->bundleIdentifier;
            break;
        }
    }
    if (cacheable) {
        std::lock_guard lock(fileBrowser_->mutex);
        fileBrowser_->generation = generation;
        fileBrowser_->bundleId = found;
    }
    return found;
}

}  // namespace vandrel
