#include "catalogue/system_terminal.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>

#include "core/log.h"
#include "platform/platform.h"
#include "platform/terminal_applications.h"

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
    if (!state.ids) state.ids = desktopApplicationIds(DesktopProbe::system());
    return *state.ids;
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

SystemTerminal::DesktopProbe SystemTerminal::DesktopProbe::system()
{
    DesktopProbe probe;
    probe.environment = [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (!value || !*value) return std::nullopt;
        return std::string(value);
    };
    probe.resolveCommand = [](const std::string& command) -> std::optional<std::string> {
        namespace fs = std::filesystem;
        auto resolve = [](const fs::path& path) -> std::optional<std::string> {
            std::error_code ec;
            if (::access(path.c_str(), X_OK) != 0) return std::nullopt;
            const auto target = fs::canonical(path, ec);
            if (ec) return std::nullopt;
            return target.string();
        };
        if (command.find('/') != std::string::npos) return resolve(command);
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
        for (std::size_t start = 0; start <= dirs.size();) {
            const auto end = std::min(dirs.find(':', start), dirs.size());
            if (end > start)
                if (auto found = resolve(fs::path(dirs.substr(start, end - start)) / command)) return found;
            start = end + 1;
        }
        return std::nullopt;
    };
    return probe;
}

std::set<std::string> SystemTerminal::desktopApplicationIds(const DesktopProbe& probe)
{
    if (probe.resolveCommand && probe.resolveCommand("gnome-terminal")) return defaultApplicationIds();
    auto identitiesOf = [&](const std::string& command) -> std::set<std::string> {
        if (command.empty()) return {};
        const auto program = probe.resolveCommand ? probe.resolveCommand(command) : std::nullopt;
        return TerminalApplications::identitiesOfProgram(program.value_or(command));
    };
    if (const auto terminal = probe.environment ? probe.environment("TERMINAL") : std::nullopt) {
        // A command line: its first word is the program.
        const auto first = terminal->find_first_not_of(" \t");
        if (first != std::string::npos) {
            const auto word = terminal->substr(first, terminal->find_first_of(" \t", first) - first);
            if (auto ids = identitiesOf(word); !ids.empty()) {
                log.info("The system terminal is the one $TERMINAL names ->", word);
                return ids;
            }
        }
    }
    if (probe.resolveCommand) {
        if (const auto program = probe.resolveCommand("x-terminal-emulator")) {
            log.info("The system terminal is the desktop's default terminal ->", *program);
            return TerminalApplications::identitiesOfProgram(*program);
        }
    }
    return defaultApplicationIds();
}

bool SystemTerminal::isFrontmost()
{
    auto platform = Platform::shared();
    if (!platform) return false;
    // The published snapshot: the editing actions ask on the input thread, which never waits on the desktop.
    const auto front = platform->workspace().frontmostSnapshot();
    if (!front->application) return false;
    return TerminalApplications::matches(applicationIds(), *front->application);
}

}  // namespace vandrel
