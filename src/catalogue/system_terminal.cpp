#include "catalogue/system_terminal.h"

#include <mutex>
#include <optional>

#include "platform/platform.h"

namespace vandrel {

namespace {

struct Identities {
    std::mutex mutex;
    std::optional<std::set<std::string>> ids;
};

Identities& identities()
{
    static Identities instance;
    return instance;
}

}  // namespace

std::set<std::string> SystemTerminal::applicationIds()
{
    auto& state = identities();
    std::lock_guard lock(state.mutex);
    return state.ids ? *state.ids : defaultApplicationIds();
}

void SystemTerminal::setApplicationIds(std::set<std::string> ids)
{
    auto& state = identities();
    std::lock_guard lock(state.mutex);
    state.ids = std::move(ids);
}

const std::set<std::string>& SystemTerminal::defaultApplicationIds()
{
    static const std::set<std::string> ids{"org.gnome.Terminal"};
    return ids;
}

bool SystemTerminal::isFrontmost()
{
    auto platform = Platform::shared();
    if (!platform) return false;
    const auto app = platform->workspace().frontmostApplication();
    if (!app || !app->bundleIdentifier) return false;
    return applicationIds().count(*app->bundleIdentifier) > 0;
}

}  // namespace vandrel
