// One application's desktop entry (a .desktop file of an XDG applications folder): how the desktop names,
// recognises and starts it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

struct DesktopEntry {
    std::string id;    // the desktop-entry id without ".desktop" ("org.gnome.Terminal")
    std::string path;  // the file it was read from
    std::string type;  // "Application" for the entries we use
    std::string name;  // Name in the user's language, else Name
    std::string untranslatedName;
    std::string exec;  // Exec as written (string escapes resolved)
    std::string tryExec;
    std::string startupWmClass;
    std::string icon;
    std::string workingDirectory;  // Path
    bool terminal = false;
    bool noDisplay = false;
    bool hidden = false;

    // Reads the [Desktop Entry] group of the text; absent when there is none. Localized keys are taken for
    // the first of the locales (best first) the file has.
    static std::optional<DesktopEntry> parse(const std::string& text, std::string id, std::string path,
                                             const std::vector<std::string>& locales = localeCandidates());
    // A file larger than this is no desktop entry.
    static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;
    // Reads the file at path (a link is followed) and parses it; absent, logged, when it is no regular file
    // of at most kMaxFileBytes or cannot be read (absent without a log line when it is missing).
    static std::optional<DesktopEntry> load(const std::string& path, std::string id);

    // The words of Exec with the field codes resolved, each only as an unquoted word of its own: %i becomes
    // "--icon <Icon>", %c the name, %k the file; file and URL codes and the deprecated ones go. Inside any
    // other word %% is a percent sign and other codes go unexpanded. Empty when Exec does not parse (an
    // unterminated quote) or is empty.
    std::vector<std::string> commandLine() const;
    // The program Exec runs, without its folder, past an `env VAR=value` prefix; empty when there is none.
    std::string executableName() const;

    // The user's locale as the keys' [locale] suffixes to try, best first (LC_ALL, LC_MESSAGES, LANG):
    // lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang.
    static std::vector<std::string> localeCandidates();
};

}  // namespace vandrel
