#include "platform/linux/desktop/desktop_launcher.h"

#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "core/detached_process.h"
#include "core/log.h"
#include "core/string_helpers.h"

extern char** environ;

namespace vandrel {

namespace {

std::string findProgram(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name)).toStdString();
}

}  // namespace

ProcessStarter DesktopLauncher::detachedStarter()
{
    return [](const std::vector<std::string>& argv, const std::string& workingDirectory) {
        // Without a session bus the program keeps libdbus from starting one for itself only: what it starts
        // decides for itself.
        constexpr std::string_view kBus = "DBUS_SESSION_BUS_ADDRESS=";
        const char* const bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!bus || std::string_view(bus) != "disabled:") return DetachedProcess::start(argv, workingDirectory);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            if (!std::string_view(*entry).starts_with(kBus)) environment.emplace_back(*entry);
        return DetachedProcess::start(argv, workingDirectory, environment);
    };
}

DesktopLauncher::DesktopLauncher(ProcessStarter starter, std::optional<std::string> gioProgram)
    : starter_(starter ? std::move(starter) : detachedStarter()),
      gio_(gioProgram ? std::move(*gioProgram) : findProgram("gio"))
{
}

std::optional<std::int64_t> DesktopLauncher::start(const std::vector<std::string>& argv,
                                                   const std::string& workingDirectory)
{
    auto pid = starter_(argv, workingDirectory);
    if (!pid) log.warning("cannot start a program", argv.empty() ? std::string() : argv.front());
    return pid;
}

std::optional<std::int64_t> DesktopLauncher::launchEntry(const DesktopEntry& entry)
{
    if (!gio_.empty()) {
        if (!start({gio_, "launch", entry.path}, {})) return std::nullopt;
        return 0;
    }
    auto argv = entry.commandLine();
    if (argv.empty()) {
        log.warning("desktop entry has no usable Exec line", entry.path);
        return std::nullopt;
    }
    if (entry.terminal) {
        const auto terminal = findProgram("x-terminal-emulator");
        if (terminal.empty()) {
            log.warning("desktop entry needs a terminal and none is installed", entry.path);
            return std::nullopt;
        }
        argv.insert(argv.begin(), {terminal, "-e"});
    }
    return start(argv, entry.workingDirectory);
}

std::optional<std::int64_t> DesktopLauncher::launchExecutable(const std::string& path)
{
    return start({path}, {});
}

std::optional<std::int64_t> DesktopLauncher::launchAfterExit(std::int64_t pid, const std::vector<std::string>& argv)
{
    if (pid <= 0 || argv.empty()) return std::nullopt;
    // The arguments stay positional parameters of the script: nothing of them is ever parsed by the shell.
    std::vector<std::string> helper{"/bin/sh", "-c",
                                    "while kill -0 \"$1\" 2>/dev/null; do sleep 0.1; done; shift; exec \"$@\"",
                                    "vandrel-relaunch", std::to_string(pid)};
    helper.insert(helper.end(), argv.begin(), argv.end());
    return start(helper, {});
}

std::vector<std::string> DesktopLauncher::ownCommandLine()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    std::istringstream in(readWholeFile("/proc/self/cmdline").value_or(std::string()));
    std::vector<std::string> out{executable.string()};
    std::string argument;
    bool first = true;
    while (std::getline(in, argument, '\0')) {
        if (!first) out.push_back(argument);  // argv[0] may be anything; the executable stands for it
        first = false;
    }
    return out;
}

bool DesktopLauncher::openUrl(const std::string& url)
{
    const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
    if (!u.isValid() || u.scheme().isEmpty()) {
        log.warning("not a URL, not opened", url);
        return false;
    }
    const auto text = u.toString(QUrl::FullyEncoded).toStdString();
    if (const auto xdgOpen = findProgram("xdg-open"); !xdgOpen.empty()) return start({xdgOpen, text}, {}).has_value();
    if (!gio_.empty()) return start({gio_, "open", text}, {}).has_value();
    log.warning("no program to open URLs with (xdg-open or gio)", url);
    return false;
}

}  // namespace vandrel
