// One X11 client window as a WindowElement: every read asks the server afresh, so a window that closed reads
// as absent. Roles: a desktop window is "AXScrollArea" (as the file browser's desktop), a dock or panel
// "AXMenuBar", every other window "AXWindow".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/x11/x11_desktop.h"
#include "platform/window_element.h"

namespace vandrel {

class X11WindowElement final : public WindowElement {
public:
    // onRaised hears of each successful raise with the window's process.
    X11WindowElement(std::shared_ptr<X11Desktop> desktop, X11WindowId window,
                     std::function<void(std::int32_t pid, X11WindowId window)> onRaised = {});

    std::optional<std::int32_t> processIdentifier() const override;
    std::optional<std::uint32_t> windowNumber() const override;
    std::optional<std::string> title() const override;
    std::optional<std::string> role() const override;
    std::optional<bool> isMinimized() const override;
    std::optional<bool> isFullscreen() const override;

    // Activates the window (which raises it and brings its application forward).
    int raise() override;
    int setMinimized(bool minimized) override;

    X11WindowId window() const { return window_; }
    static std::string roleOf(X11WindowType type);

private:
    const std::shared_ptr<X11Desktop> desktop_;
    const X11WindowId window_;
    const std::function<void(std::int32_t, X11WindowId)> onRaised_;
};

}  // namespace vandrel
