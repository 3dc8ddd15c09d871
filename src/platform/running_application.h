// A snapshot of one running application as the workspace reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace vandrel {

// How an application may take part in the desktop: regular (has windows and a task-bar entry), accessory
// (tray or panel helper), prohibited (background process).
enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

struct RunningApplication {
    std::int32_t processIdentifier = 0;
    // The application's identity: on Linux its desktop-entry id without ".desktop" (or, lacking one, its
    // WM_CLASS or executable name).
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<std::string> executablePath;
    // Where the application can be launched from again: on Linux the file URL of its desktop entry.
    std::optional<std::string> bundleUrl;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;

    bool operator==(const RunningApplication&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const RunningApplication& app)
{
    return os << app.localizedName.value_or("?") << " (" << app.bundleIdentifier.value_or("?") << ", pid "
              << app.processIdentifier << ")";
}

}  // namespace vandrel
