// WindowSystem on an X11 session with an EWMH window manager. An application's windows are the client
// windows of its process, topmost first; a window's number is its X window id, stable while it lives. The
// focused window is the active window unless that is a desktop or a dock, which are never focused windows.
// Without a display every answer is empty. Any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/x11/x11_desktop.h"
#include "platform/window_system.h"
#include "platform/workspace.h"

namespace vandrel {

class X11WindowSystem final : public WindowSystem {
public:
    // desktop: the session (null opens $DISPLAY). workspace: names the application that owns the desktop
    // window (null: that is taken to be the default file browser).
    explicit X11WindowSystem(std::shared_ptr<X11Desktop> desktop = nullptr,
                             std::shared_ptr<Workspace> workspace = nullptr);

    bool hasApplicationElement(std::int32_t processIdentifier) override;
    std::shared_ptr<WindowElement> focusedWindow() override;
    std::vector<std::shared_ptr<WindowElement>> windowsOfApplication(std::int32_t processIdentifier,
                                                                     std::size_t maxCount) override;
    std::shared_ptr<WindowElement> mainWindowOfApplication(std::int32_t processIdentifier) override;
    // Activates the window of the process raised last through one of our elements (the manager may not have
    // acted on that yet), else its topmost window; without frontWindowOnly its other windows come up too. With
    // frontWindowOnly right after such a raise there is nothing more to ask: the raise was the activation.
    bool bringProcessToFront(std::int32_t processIdentifier, bool frontWindowOnly) override;
    std::string fileBrowserBundleId() override;

    const std::shared_ptr<X11Desktop>& desktop() const { return desktop_; }

    static constexpr const char* defaultFileBrowserBundleId = "org.gnome.Nautilus";

private:
    struct Raised {
        std::mutex mutex;
        std::map<std::int32_t, X11WindowId> byProcess;
    };

    struct FileBrowser {
        std::mutex mutex;
        std::uint64_t generation = 0;
        std::string bundleId;  // empty: not looked up yet
    };

    std::shared_ptr<WindowElement> element(X11WindowId window);
    // The process's client windows, topmost first, without its desktop and dock windows.
    std::vector<X11WindowId> ordinaryWindows(std::int32_t pid);
    bool isDesktopOrDock(X11WindowId window);

    const std::shared_ptr<X11Desktop> desktop_;
    const std::shared_ptr<Workspace> workspace_;
    const std::shared_ptr<Raised> raised_ = std::make_shared<Raised>();
    const std::unique_ptr<FileBrowser> fileBrowser_ = std::make_unique<FileBrowser>();
};

}  // namespace vandrel
