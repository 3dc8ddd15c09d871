// The desktop's own terminal application. In it, two editing actions erase the line with the terminal's own
// line-editing keys (Ctrl+U, Ctrl+K) rather than with Emacs-style strokes. Identities are those of
// RunningApplication::bundleIdentifier: desktop-entry ids, or WM_CLASS where an application has no entry.
// The app shell may set the identities of the desktop it runs on; the tests name their own.
#pragma once

#include <set>
#include <string>

namespace vandrel {

class SystemTerminal {
public:
    SystemTerminal() = delete;

    // Thread-safe; read each time an action asks.
    static std::set<std::string> applicationIds();
    static void setApplicationIds(std::set<std::string> ids);
    // GNOME's terminal, the desktop whose terminal the terminal-like list names first.
    static const std::set<std::string>& defaultApplicationIds();

    // Whether the installed platform's frontmost application is the system terminal. False without a
    // platform, a frontmost application or an identity.
    static bool isFrontmost();
};

}  // namespace vandrel
