#include "platform/terminal_applications.h"

#include <algorithm>
#include <cctype>

namespace vandrel {

const std::vector<TerminalApplications::Known>& TerminalApplications::known()
{
    // Keys: the terminals' default bindings (xterm, aterm, Eterm and mlterm bind no clipboard keys by default;
    // rxvt-unicode binds Ctrl+Alt+C/V).
    static const std::vector<Known> terminals{
        {"GNOME Terminal", {"org.gnome.terminal", "gnome-terminal", "gnome-terminal-server"}},
        {"GNOME Console", {"org.gnome.console", "kgx"}},
        {"Ptyxis", {"org.gnome.ptyxis", "ptyxis"}},
        {"Konsole", {"org.kde.konsole", "konsole"}},
        {"Yakuake", {"org.kde.yakuake", "yakuake"}},
        {"kitty", {"kitty"}},
        {"xterm", {"xterm", "debian-xterm", "uxterm", "debian-uxterm"}, TerminalClipboardKeys::selection},
        {"Alacritty", {"alacritty", "org.alacritty.alacritty"}},
        {"foot", {"foot", "footclient", "foot-server", "org.codeberg.dnkl.foot", "org.codeberg.dnkl.footclient"}},
        {"WezTerm", {"org.wezfurlong.wezterm", "wezterm", "wezterm-gui"}},
        {"Tilix", {"com.gexperts.tilix", "tilix"}},
        {"Terminator", {"terminator"}},
        {"Xfce Terminal", {"xfce4-terminal", "org.xfce.terminal"}},
        {"rxvt-unicode",
         {"rxvt-unicode", "urxvt", "urxvtc", "urxvtd", "urxvt-tabbed", "rxvt"},
         TerminalClipboardKeys::ctrlAlt},
        {"st", {"st", "st-256color"}},
        {"Ghostty", {"com.mitchellh.ghostty", "ghostty"}},
        {"LXTerminal", {"lxterminal"}},
        {"QTerminal", {"qterminal", "org.lxqt.qterminal"}},
        {"MATE Terminal", {"mate-terminal"}},
        {"Terminology", {"terminology"}},
        {"Deepin Terminal", {"deepin-terminal", "org.deepin.terminal"}},
        {"Guake", {"guake"}},
        {"Tilda", {"tilda"}},
        {"Sakura", {"sakura"}},
        {"ROXTerm", {"roxterm"}},
        {"Cool Retro Term", {"cool-retro-term"}},
        {"Black Box", {"com.raggesilver.blackbox"}},
        {"Contour", {"org.contourterminal.contour", "contour"}},
        {"Rio", {"rio"}},
        {"Hyper", {"hyper"}},
        {"Warp", {"dev.warp.warp", "warp-terminal"}},
        {"COSMIC Terminal", {"com.system76.cosmicterm", "cosmic-term"}},
        {"Eterm", {"eterm"}, TerminalClipboardKeys::selection},
        {"mlterm", {"mlterm"}, TerminalClipboardKeys::selection},
        {"aterm", {"aterm"}, TerminalClipboardKeys::selection},
    };
    return terminals;
}

const std::set<std::string>& TerminalApplications::allIdentities()
{
    static const std::set<std::string> ids = [] {
        std::set<std::string> all;
        for (const auto& terminal : known()) all.insert(terminal.identities.begin(), terminal.identities.end());
        return all;
    }();
    return ids;
}

std::string TerminalApplications::lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::set<std::string> TerminalApplications::identitiesOfProgram(const std::string& program)
{
    std::string name = lowerCase(program);
    if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    // Debian's alternatives point at wrappers of some terminals.
    if (constexpr std::string_view wrapper = ".wrapper"; name.ends_with(wrapper))
        name.resize(name.size() - wrapper.size());
    for (const auto& terminal : known())
        if (std::find(terminal.identities.begin(), terminal.identities.end(), name) != terminal.identities.end())
            return {terminal.identities.begin(), terminal.identities.end()};
    if (name.empty()) return {};
    return {name};
}

bool TerminalApplications::matches(const std::set<std::string>& ids, const RunningApplication& app)
{
    auto contains = [&](const std::string& identity) {
        const std::string lower = lowerCase(identity);
        return std::any_of(ids.begin(), ids.end(), [&](const std::string& id) { return lowerCase(id) == lower; });
    };
    if (app.bundleIdentifier && contains(*app.bundleIdentifier)) return true;
    if (!app.executablePath) return false;
    const auto slash = app.executablePath->rfind('/');
    const std::string program =
        slash == std::string::npos ? *app.executablePath : app.executablePath->substr(slash + 1);
    return !program.empty() && contains(program);
}

TerminalClipboardKeys TerminalApplications::clipboardKeys(const RunningApplication& app)
{
    for (const auto& terminal : known()) {
        const std::set<std::string> ids(terminal.identities.begin(), terminal.identities.end());
        if (matches(ids, app)) return terminal.keys;
    }
    return TerminalClipboardKeys::ctrlShift;
}

}  // namespace vandrel
