// Windows of all applications: the accessibility layer's application and window elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_element.h"

namespace vandrel {

// Every call may be made from any thread (the window-binding queue and the main thread use it).
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Whether the application of that process can be reached through the accessibility layer.
    virtual bool hasApplicationElement(std::int32_t processIdentifier) = 0;

    // The focused window of the application that has keyboard focus; null when there is none.
    virtual std::shared_ptr<WindowElement> focusedWindow() = 0;
    // The application's windows in its own order, at most maxCount.
    virtual std::vector<std::shared_ptr<WindowElement>> windowsOfApplication(std::int32_t processIdentifier,
                                                                             std::size_t maxCount) = 0;
    // The application's main window; null when it has none or it cannot be read.
    virtual std::shared_ptr<WindowElement> mainWindowOfApplication(std::int32_t processIdentifier) = 0;

    // Brings the process to the front, with only its front window when frontWindowOnly; false when there is
    // no such process.
    virtual bool bringProcessToFront(std::int32_t processIdentifier, bool frontWindowOnly) = 0;

    // The identity of the application that owns the desktop window.
    virtual std::string fileBrowserBundleId() = 0;
};

}  // namespace vandrel
