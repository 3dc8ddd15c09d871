#include "core/xdg_autostart_login_item.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "core/install_layout.h"
#include "core/log.h"
#include "core/private_files.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

// A desktop entry's string value: backslashes and the characters that would end or bend the line escaped.
std::string escapedValue(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Quoting of the Exec key: the path in double quotes, with the characters that stay special inside them
// escaped, so a path with blanks or quotes runs as one argument; then escaped as every string value, since
// the reader unescapes the value once before it splits the arguments.
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
    return escapedValue(out);
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
    return InstallLayout::runningExecutable();
}

fs::path XdgAutostartLoginItem::loginExecutableFor(const fs::path& program)
{
    const fs::path helper = InstallLayout::helperFor(program);
    if (::access(helper.c_str(), X_OK) == 0) return helper;
    log.warning("The login-item helper is missing; the autostart entry starts the program itself ->", helper.string());
    return program;
}

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(standardFolder(), loginExecutableFor(runningExecutable()))
{
}

XdgAutostartLoginItem::XdgAutostartLoginItem(fs::path folder, fs::path executable, WholeFileWriter writer)
    : folder_(std::move(folder)), executable_(std::move(executable)), writer_(std::move(writer))
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
           // Without the program (the package removed) the desktop skips the entry instead of failing at
           // every login. A plain path: no quoting and no field codes here.
           "TryExec=" +
           escapedValue(executable_.string()) +
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

    if (auto error = createPrivateFolder(folder_)) return error;
    return writer_.write(entry, entryText());
}

}  // namespace vandrel
