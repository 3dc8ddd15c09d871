// The desktop's own terminal application. In it, two editing actions erase the line with the terminal's own
// line-editing keys (Ctrl+U, Ctrl+K) rather than with Emacs-style strokes. Identities are those of
// RunningApplication::bundleIdentifier: desktop-entry ids, or WM_CLASS where an application has no entry.
// The app shell may set the identities of the desktop it runs on; the tests name their own.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace vandrel {

class SystemTerminal {
public:
    SystemTerminal() = delete;

    // How the desktop names its default terminal; tests give their own.
    struct DesktopProbe {
        // An environment variable; absent when unset or empty.
        std::function<std::optional<std::string>(const std::string& name)> environment;
        // The program a command runs, found on PATH with symbolic links followed ("x-terminal-emulator" ->
        // "/usr/bin/xterm"); absent when there is none.
        std::function<std::optional<std::string>(const std::string& command)> resolveCommand;

        static DesktopProbe system();
    };

    // Thread-safe; read each time an action asks. Until set, the desktop's (desktopApplicationIds with the
    // system's probe, looked up once).
    static std::set<std::string> applicationIds();
    static void setApplicationIds(std::set<std::string> ids);
    // GNOME's terminal, the desktop whose terminal the terminal-like list names first.
    static const std::set<std::string>& defaultApplicationIds();
    // GNOME's terminal where it is installed; else the terminal $TERMINAL names, else the one
    // x-terminal-emulator runs, with every identity it may have; else GNOME's.
    static std::set<std::string> desktopApplicationIds(const DesktopProbe& probe);

    // Whether the installed platform's frontmost application is the system terminal. False without a
    // platform, a frontmost application or an identity.
    static bool isFrontmost();
};

}  // namespace vandrel
