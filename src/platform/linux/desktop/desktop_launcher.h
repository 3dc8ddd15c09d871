// Starts applications and opens URLs the way the desktop does: desktop entries through `gio launch` (which
// knows terminals, D-Bus activation and startup notification) or, lacking gio, their Exec line run directly;
// URLs through the desktop's URL handler. No shell is involved: Exec lines are split by their own quoting
// rules. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop/desktop_entry.h"

namespace vandrel {

// Starts a detached process (argv[0] is the program, found on PATH when it has no '/') in a working folder
// (empty: ours); its pid, or absent when it did not start.
using ProcessStarter = std::function<std::optional<std::int64_t>(const std::vector<std::string>& argv,
                                                                 const std::string& workingDirectory)>;

class DesktopLauncher {
public:
    // The process starter defaults to detachedStarter(). gioProgram: the gio program to launch entries with;
    // absent looks it up on PATH, empty means none (entries then run their Exec line).
    explicit DesktopLauncher(ProcessStarter starter = {}, std::optional<std::string> gioProgram = std::nullopt);

    // The pid of a program started directly, 0 when gio started it, absent when it could not start.
    std::optional<std::int64_t> launchEntry(const DesktopEntry& entry);
    std::optional<std::int64_t> launchExecutable(const std::string& path);
    // A URL with a scheme; false for anything else or when no handler takes it. Opened through xdg-open (or
    // gio open), from any thread: the desktop's own choice of handler, as Qt's desktop services would make it.
    bool openUrl(const std::string& url);

    // Starts argv once the process pid has ended, without waiting here: how the program restarts itself, as
    // the new instance must not meet the old one still holding the keyboards. The pid of the helper that
    // waits, or absent when it could not start.
    std::optional<std::int64_t> launchAfterExit(std::int64_t pid, const std::vector<std::string>& argv);
    // This process as it was started: its executable and its arguments; empty when /proc cannot tell.
    static std::vector<std::string> ownCommandLine();

    static ProcessStarter detachedStarter();

private:
    std::optional<std::int64_t> start(const std::vector<std::string>& argv, const std::string& workingDirectory);

    const ProcessStarter starter_;
    const std::string gio_;
};

}  // namespace vandrel
