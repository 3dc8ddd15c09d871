// One window of some application, as the accessibility layer sees it. Roles use the accessibility role
// names ("AXWindow" for an ordinary window, "AXScrollArea" for the desktop); the Linux backend maps window
// types onto them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vandrel {

// Result codes of element operations.
struct AccessibilityError {
    static constexpr int success = 0;
    static constexpr int failure = -25200;
    static constexpr int invalidUIElement = -25202;  // the window is gone
    static constexpr int cannotComplete = -25204;
};

// Every call may be made from any thread; reads of a window that is gone give absent values.
class WindowElement {
public:
    virtual ~WindowElement() = default;

    virtual std::optional<std::int32_t> processIdentifier() const = 0;
    // The window server's number of the window (on X11 the window id).
    virtual std::optional<std::uint32_t> windowNumber() const = 0;
    virtual std::optional<std::string> title() const = 0;
    virtual std::optional<std::string> role() const = 0;
    virtual std::optional<bool> isMinimized() const = 0;
    virtual std::optional<bool> isFullscreen() const = 0;

    // Raises the window within its application; an AccessibilityError code.
    virtual int raise() = 0;
    virtual int setMinimized(bool minimized) = 0;
};

}  // namespace vandrel
