// The simulated windows of the simulated applications. Each application has its windows in creation order
// and one focused window; the focused window of the system is that of the frontmost application (see
// SimWorkspace). Raising a window unminimizes it and makes it its application's focused window; bringing a
// process to the front activates it in the workspace.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_workspace.h"
#include "platform/window_system.h"

namespace vandrel {

class SimWindowSystem final : public WindowSystem {
public:
    explicit SimWindowSystem(std::shared_ptr<SimWorkspace> workspace);

    bool hasApplicationElement(std::int32_t processIdentifier) override;
    std::shared_ptr<WindowElement> focusedWindow() override;
    std::vector<std::shared_ptr<WindowElement>> windowsOfApplication(std::int32_t processIdentifier,
                                                                     std::size_t maxCount) override;
    std::shared_ptr<WindowElement> mainWindowOfApplication(std::int32_t processIdentifier) override;
    bool bringProcessToFront(std::int32_t processIdentifier, bool frontWindowOnly) override;
    std::string fileBrowserBundleId() override;

    // Opens a window of a process and makes it that application's focused window; returns its number.
    std::uint32_t addWindow(std::int32_t pid, std::string title, std::string role = "AXWindow");
    void closeWindow(std::uint32_t number);
    void setTitle(std::uint32_t number, std::string title);
    void setFullscreen(std::uint32_t number, bool fullscreen);
    // Focuses the window: its application becomes frontmost (notified) and the window its focused one.
    void focusWindow(std::uint32_t number);
    // Makes raising this window fail with the given code (AccessibilityError); success restores it.
    void setRaiseResult(std::uint32_t number, int code);
    // An application whose accessibility element cannot be made.
    void setApplicationElementUnavailable(std::int32_t pid, bool unavailable);
    void setFileBrowserBundleId(std::string id);

    std::optional<bool> isWindowMinimized(std::uint32_t number) const;
    std::optional<std::uint32_t> focusedWindowNumber(std::int32_t pid) const;
    // Numbers of the windows raised, in order.
    std::vector<std::uint32_t> raisedWindows() const;

    struct WindowState {
        std::uint32_t number = 0;
        std::int32_t pid = 0;
        std::string title;
        std::string role;
        bool minimized = false;
        bool fullscreen = false;
        int raiseResult = 0;
    };
    struct State {
        std::mutex mutex;
        std::vector<WindowState> windows;  // creation order
        std::map<std::int32_t, std::uint32_t> focused;
        std::set<std::int32_t> noElement;
        std::vector<std::uint32_t> raised;
        std::string fileBrowser = "org.gnome.Nautilus";
        std::uint32_t nextNumber = 100;

        WindowState* find(std::uint32_t number);
    };

private:
    std::shared_ptr<WindowElement> element(std::uint32_t number);

    const std::shared_ptr<SimWorkspace> workspace_;
    const std::shared_ptr<State> state_;
};

}  // namespace vandrel
