#include "platform/workspace.h"

namespace vandrel {

std::optional<RunningApplication> Workspace::runningApplication(std::int32_t processIdentifier)
{
    for (auto& app : runningApplications())
        if (app.processIdentifier == processIdentifier) return app;
    return std::nullopt;
}

std::vector<RunningApplication> Workspace::runningApplicationsWithBundleId(const std::string& bundleIdentifier)
{
    std::vector<RunningApplication> out;
    for (auto& app : runningApplications())
        if (app.bundleIdentifier == bundleIdentifier) out.push_back(app);
    return out;
}

std::set<std::string> Workspace::terminalLikeApplicationIds()
{
    return defaultTerminalLikeApplicationIds();
}

const std::set<std::string>& Workspace::defaultTerminalLikeApplicationIds()
{
    // The desktop's own terminal and two widely used outside emulators, by desktop-entry id.
    static const std::set<std::string> ids{"org.gnome.Terminal", "org.kde.konsole", "kitty"};
    return ids;
}

}  // namespace vandrel
