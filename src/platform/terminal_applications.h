// The terminal emulators this program knows, by every identity a running one may have (see
// RunningApplication::bundleIdentifier: its desktop-entry id, else its WM_CLASS or executable name) and by
// its executable. Identities compare case-insensitively: WM_CLASS says "XTerm" where the entry says "xterm".
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/running_application.h"

namespace vandrel {

// Which keys copy and paste the clipboard in a terminal. A terminal hands Ctrl with a letter to the program
// inside as a control character (Ctrl+C interrupts it), so each terminal's own binding is used, and where it
// has none, X's PRIMARY selection: the terminal's selection is PRIMARY, and Shift+Insert pastes PRIMARY.
enum class TerminalClipboardKeys {
    ctrlShift,  // Ctrl+Shift+C / Ctrl+Shift+V (Ctrl+Shift+A selects all)
    ctrlAlt,    // Ctrl+Alt+C / Ctrl+Alt+V
    selection,  // no copy key (read PRIMARY); paste with Shift+Insert from PRIMARY
};

class TerminalApplications {
public:
    TerminalApplications() = delete;

    struct Known {
        std::string name;
        // Lower case: desktop-entry ids, WM_CLASS names and executable names.
        std::vector<std::string> identities;
        TerminalClipboardKeys keys = TerminalClipboardKeys::ctrlShift;
    };

    static const std::vector<Known>& known();
    // Every identity of every known terminal, lower case.
    static const std::set<std::string>& allIdentities();
    // The identities of the known terminal whose executable (or wrapper: "xfce4-terminal.wrapper") is
    // `program`; just the program's own name for one this program does not know.
    static std::set<std::string> identitiesOfProgram(const std::string& program);

    static std::string lowerCase(std::string text);
    // Whether the application's identity or executable name is among `ids`, ignoring case.
    static bool matches(const std::set<std::string>& ids, const RunningApplication& app);
    // The clipboard keys of a terminal-like application: the table's when it knows the terminal, else the
    // common Ctrl+Shift+C/V (a terminal the user named in the settings).
    static TerminalClipboardKeys clipboardKeys(const RunningApplication& app);
};

}  // namespace vandrel
