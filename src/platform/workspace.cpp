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

void Workspace::publishFrontmost(std::optional<RunningApplication> app, bool movesToWordStarts)
{
    std::lock_guard lock(publishMutex_);
    storeFrontmost(std::move(app), movesToWordStarts);
}

void Workspace::republishFrontmost()
{
    // Read under the turn as well: an application published meanwhile is never replaced by the one before it.
    std::lock_guard lock(publishMutex_);
    const auto current = frontmost_.load();
    storeFrontmost(current->application, current->movesToWordStarts);
}

void Workspace::storeFrontmost(std::optional<RunningApplication> app, bool movesToWordStarts)
{
    auto next = std::make_shared<FrontmostSnapshot>();
    next->terminalLike = app && isTerminalLike(*app);
    next->movesToWordStarts = app && movesToWordStarts;
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
    republishFrontmost();
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
