// One window of some application, wrapping its accessibility element. A placeholder window (made from a
// stored binding whose window is gone) has no element: it cannot be titled, raised or minimized.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/vd_application.h"
#include "platform/window_element.h"

namespace vandrel {

class Window {
public:
    std::shared_ptr<VDApplication> app;
    std::shared_ptr<WindowElement> window;
    std::int32_t pid = 0;     // 0 when it could not be read
    std::uint32_t winid = 0;  // 0 when it could not be read

    static std::shared_ptr<Window> newWindowWithWin(std::shared_ptr<WindowElement> element);
    static std::shared_ptr<Window> newWindowByFillPropertyApp(std::shared_ptr<VDApplication> app, std::int32_t pid,
                                                              std::uint32_t winid);
    static std::shared_ptr<Window> newWindowByFillPropertyApp(std::shared_ptr<VDApplication> app);

    // The focused window of the frontmost application; null when no window has focus or the focus is on the
    // desktop, which is never a window of its own.
    static std::shared_ptr<Window> newWindowWithFocused();
    // The file browser's desktop window; null when there is none.
    static std::shared_ptr<Window> desktop();

    // Raises the window and brings its process to the front (front window only), whatever the raise gave:
    // 0 on success, -1 with no element, -2 when the window is gone, -3 when the raise cannot complete, -4
    // when the process cannot be brought to the front. Never reports a failure as success.
    int activate() const;
    // 0 on success, 1 with no element, 2 when the window refused.
    int minimize() const;
    int unminimize() const;
    // False when unreadable or with no element.
    bool isMinimize() const;
    bool isFullscreen() const;
    // Its number is the focused window's.
    bool isFocused() const;

    // Empty when it cannot be read.
    std::string getTitle() const;
    std::string getRole() const;
    // {"winid", "title", "app": the application's store data}; absent when the application's is.
    std::optional<nlohmann::json> getDataForStore() const;
};

}  // namespace vandrel
