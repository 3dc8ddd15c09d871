// The system terminal follows the desktop's default terminal where GNOME's is not installed.
#include "catalogue/system_terminal.h"

#include <gtest/gtest.h>

#include <map>

namespace vandrel {
namespace {

struct Desktop {
    std::map<std::string, std::string> environment;
    std::map<std::string, std::string> commands;  // command -> program it runs

    SystemTerminal::DesktopProbe probe() const
    {
        SystemTerminal::DesktopProbe p;
        p.environment = [this](const std::string& name) -> std::optional<std::string> {
            auto it = environment.find(name);
            return it == environment.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        p.resolveCommand = [this](const std::string& command) -> std::optional<std::string> {
            auto it = commands.find(command);
            return it == commands.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        return p;
    }
};

TEST(SystemTerminal, GnomesTerminalWhereInstalledElseTheDesktopsDefault)
{
    Desktop desktop;
    desktop.commands = {{"gnome-terminal", "/usr/bin/gnome-terminal"},
                        {"x-terminal-emulator", "/usr/bin/gnome-terminal.wrapper"}};
    desktop.environment = {{"TERMINAL", "kitty"}};
    EXPECT_EQ(SystemTerminal::desktopApplicationIds(desktop.probe()), SystemTerminal::defaultApplicationIds());

    // Without it: $TERMINAL first (a command line; the program is its first word) ...
    desktop.commands = {{"x-terminal-emulator", "/usr/bin/xfce4-terminal.wrapper"},
                        {"alacritty", "/usr/bin/alacritty"}};
    desktop.environment = {{"TERMINAL", "  alacritty -e tmux"}};
    auto ids = SystemTerminal::desktopApplicationIds(desktop.probe());
    EXPECT_TRUE(ids.count("alacritty"));
    EXPECT_FALSE(ids.count("xfce4-terminal"));

    // ... then the alternative x-terminal-emulator points at.
    desktop.environment.clear();
    ids = SystemTerminal::desktopApplicationIds(desktop.probe());
    EXPECT_TRUE(ids.count("xfce4-terminal"));
    EXPECT_FALSE(ids.count("org.gnome.Terminal"));
    desktop.environment = {{"TERMINAL", "   "}};
    EXPECT_EQ(SystemTerminal::desktopApplicationIds(desktop.probe()), ids);

    // Neither: GNOME's, as before.
    desktop.commands.clear();
    EXPECT_EQ(SystemTerminal::desktopApplicationIds(desktop.probe()), SystemTerminal::defaultApplicationIds());
    EXPECT_EQ(SystemTerminal::desktopApplicationIds({}), SystemTerminal::defaultApplicationIds());
}

}  // namespace
}  // namespace vandrel
