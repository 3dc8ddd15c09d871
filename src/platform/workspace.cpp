#include "platform/workspace.h"

#include "platform/terminal_applications.h"

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
    return TerminalApplications::allIdentities();
}

std::function<bool()> Workspace::terminalLikeProbe(std::weak_ptr<Workspace> workspace)
{
    return [workspace = std::move(workspace)] {
        const auto ws = workspace.lock();
        return ws && ws->isFrontmostTerminalLike();
    };
}

void Workspace::publishFrontmost(std::optional<RunningApplication> app)
{
    std::lock_guard lock(publishMutex_);
    auto next = std::make_shared<FrontmostSnapshot>();
    next->terminalLike = app && isTerminalLike(*app);
    next->application = std::move(app);
    frontmost_.store(std::move(next));
}

void Workspace::setUserTerminalLikeApplicationIds(std::vector<std::string> ids)
{
    std::set<std::string> cleaned;
    for (auto& id : ids) {
        const auto first = id.find_first_not_of(" \t");
        if (first == std::string::npos) continue;  // an empty entry names nothing
        const auto last = id.find_last_not_of(" \t");
        cleaned.insert(id.substr(first, last - first + 1));
    }
    {
        std::lock_guard lock(userTerminalsMutex_);
        userTerminals_ = std::move(cleaned);
    }
    // The frontmost application may be terminal-like now, or no longer.
    publishFrontmost(frontmostSnapshot()->application);
}

std::set<std::string> Workspace::allTerminalLikeApplicationIds()
{
    auto ids = terminalLikeApplicationIds();
    std::lock_guard lock(userTerminalsMutex_);
    ids.insert(userTerminals_.begin(), userTerminals_.end());
    return ids;
}

bool Workspace::isTerminalLike(const RunningApplication& app)
{
    return TerminalApplications::matches(allTerminalLikeApplicationIds(), app);
}

}  // namespace vandrel
