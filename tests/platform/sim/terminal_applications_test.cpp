// Which applications count as terminals: the known emulators under any of their identities and in any case,
// and the user's own additions.
#include "platform/terminal_applications.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_workspace.h"

namespace vandrel {
namespace {

RunningApplication app(std::optional<std::string> id, std::optional<std::string> executable = std::nullopt)
{
    RunningApplication a;
    a.bundleIdentifier = std::move(id);
    a.executablePath = std::move(executable);
    return a;
}

TEST(TerminalApplications, TheCommonEmulatorsAreTerminalLikeUnderEveryIdentityAndCase)
{
    SimWorkspace ws;  // its default list is the platform's
    // Desktop-entry ids, and WM_CLASS names as applications without an entry show.
    for (const char* id : {"org.gnome.Terminal",
                           "org.kde.konsole",
                           "kitty",
                           "debian-xterm",
                           "XTerm",
                           "Alacritty",
                           "foot",
                           "footclient",
                           "org.wezfurlong.wezterm",
                           "com.gexperts.Tilix",
                           "Terminator",
                           "xfce4-terminal",
                           "URxvt",
                           "st-256color",
                           "com.mitchellh.ghostty",
                           "Gnome-terminal",
                           "org.gnome.Console",
                           "lxterminal",
                           "mate-terminal",
                           "qterminal",
                           "Tilda",
                           "Guake"})
        EXPECT_TRUE(ws.isTerminalLike(app(id))) << id;
    // An identity of its own, but an executable we know.
    EXPECT_TRUE(ws.isTerminalLike(app("Foot Window", "/usr/bin/foot")));
    EXPECT_TRUE(ws.isTerminalLike(app(std::nullopt, "/usr/local/bin/alacritty")));
    for (const char* id : {"org.gnome.TextEditor", "firefox", "code", "org.kde.dolphin", "stalonetray", ""})
        EXPECT_FALSE(ws.isTerminalLike(app(id, "/usr/bin/" + std::string(id)))) << id;
    EXPECT_FALSE(ws.isTerminalLike(app(std::nullopt)));
}

TEST(TerminalApplications, TheUsersListExtendsTheKnownOnes)
{
    SimWorkspace ws;
    EXPECT_FALSE(ws.isTerminalLike(app("com.example.MyTerm")));
    ws.setUserTerminalLikeApplicationIds({"  com.example.myterm ", "", "   ", "Zutty"});
    EXPECT_TRUE(ws.isTerminalLike(app("com.example.MyTerm")));
    EXPECT_TRUE(ws.isTerminalLike(app("zutty-window", "/opt/zutty/ZUTTY")));
    EXPECT_FALSE(ws.isTerminalLike(app("firefox")));  // blank entries name nothing
    EXPECT_TRUE(ws.isTerminalLike(app("XTerm")));     // the known ones stay
    // A workspace with a list of its own keeps the user's additions too.
    ws.setTerminalLikeApplicationIds({"sim.Terminal"});
    EXPECT_TRUE(ws.isTerminalLike(app("SIM.TERMINAL")));
    EXPECT_TRUE(ws.isTerminalLike(app("com.example.myterm")));
    EXPECT_FALSE(ws.isTerminalLike(app("XTerm")));
}

TEST(TerminalApplications, AProgramIsKnownByItsExecutableOrDebianWrapper)
{
    const auto xfce = TerminalApplications::identitiesOfProgram("/usr/bin/xfce4-terminal.wrapper");
    EXPECT_TRUE(xfce.count("xfce4-terminal"));
    EXPECT_TRUE(xfce.count("org.xfce.terminal"));
    const auto wezterm = TerminalApplications::identitiesOfProgram("/usr/bin/WezTerm-GUI");
    EXPECT_TRUE(wezterm.count("org.wezfurlong.wezterm"));
    EXPECT_EQ(TerminalApplications::identitiesOfProgram("/opt/bin/zutty"), (std::set<std::string>{"zutty"}));
    EXPECT_TRUE(TerminalApplications::identitiesOfProgram("").empty());
}

}  // namespace
}  // namespace vandrel
