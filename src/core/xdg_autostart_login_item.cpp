#include "core/xdg_autostart_login_item.h"

#include <unistd.h>

#include <QSaveFile>
#include <QString>
#include <cstdlib>
#include <system_error>

#include "core/log.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

// Quoting of the Exec key: the path in double quotes, with the characters that stay special inside them
// escaped, so a path with blanks or quotes runs as one argument.
std::string quotedExec(const std::string& path)
{
    std::string out = "\"";
    for (const char c : path) {
        if (c == '%') {
            out += "%%";  // field codes start with %
            continue;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    // The desktop-entry reader unescapes backslashes once more before it splits the arguments.
    std::string escaped;
    for (const char c : out) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

fs::path XdgAutostartLoginItem::standardFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config && fs::path(config).is_absolute()) return fs::path(config) / "autostart";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".config" / "autostart";
}

fs::path XdgAutostartLoginItem::runningExecutable()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path("vandrel") : self;
}

fs::path XdgAutostartLoginItem::loginExecutableFor(const fs::path& program)
{
    const fs::path helper = program.parent_path() / helperFileName;
    if (::access(helper.c_str(), X_OK) == 0) return helper;
    log.warning("The login-item helper is missing; the autostart entry starts the program itself ->", helper.string());
    return program;
}

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(standardFolder(), loginExecutableFor(runningExecutable()))
{
}

XdgAutostartLoginItem::XdgAutostartLoginItem(fs::path folder, fs::path executable)
    : folder_(std::move(folder)), executable_(std::move(executable))
{
}

std::string XdgAutostartLoginItem::entryText() const
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vandrel\n"
           "Comment=Caps Lock as a command key\n"
           "Exec=" +
           quotedExec(executable_.string()) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> XdgAutostartLoginItem::setStartAtLogin(bool enabled)
{
    std::error_code ec;
    const fs::path entry = entryPath();
    if (!enabled) {
        fs::remove(entry, ec);  // an entry that is not there is already removed
        if (ec) return entry.string() + ": " + ec.message();
        return std::nullopt;
    }

    fs::create_directories(folder_, ec);
    if (ec) return folder_.string() + ": " + ec.message();
    QSaveFile out(QString::fromStdString(entry.string()));
    const std::string text = entryText();
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) || !out.commit()) {
        return entry.string() + ": " + out.errorString().toStdString();
    }
    return std::nullopt;
}

}  // namespace vandrel
