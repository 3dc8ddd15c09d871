#include "platform/linux/desktop/desktop_process.h"

#include <unistd.h>

#include <QString>
#include <climits>
#include <sstream>

#include "core/string_helpers.h"

namespace vandrel {

namespace {

std::string procPath(std::int32_t pid, const char* leaf)
{
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

// Names and paths are bytes; what we hand on (it ends up in stored JSON) must be valid UTF-8.
std::string validUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size())).toStdString();
}

}  // namespace

std::optional<std::uint64_t> DesktopProcess::startTimeOf(std::int32_t pid)
{
    if (pid <= 0) return std::nullopt;
    const auto read = readWholeFile(procPath(pid, "stat"));
    if (!read) return std::nullopt;
    const std::string& stat = *read;
    // The name in parentheses may hold spaces and parentheses; the fields after the last ')' are plain. The
    // start time is field 22, the 20th after the name.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 0; i < 20 && fields >> field; ++i) {
    }
    std::uint64_t start = 0;
    if (!(fields >> start)) return std::nullopt;
    return start;
}

std::optional<DesktopProcess> DesktopProcess::read(std::int32_t pid)
{
    auto start = startTimeOf(pid);
    if (!start) return std::nullopt;
    DesktopProcess p;
    p.pid = pid;
    p.startTime = *start;
    char exe[PATH_MAX] = {};
    const auto n = ::readlink(procPath(pid, "exe").c_str(), exe, sizeof exe - 1);
    if (n > 0) {
        p.executablePath.assign(exe, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";  // the program was replaced on disk (an upgrade) since it started
        if (p.executablePath.size() > deleted.size() &&
            p.executablePath.compare(p.executablePath.size() - deleted.size(), deleted.size(), deleted) == 0)
            p.executablePath.resize(p.executablePath.size() - deleted.size());
    }
    std::istringstream comm(readWholeFile(procPath(pid, "comm")).value_or(std::string()));
    std::getline(comm, p.comm);
    p.comm = validUtf8(p.comm);
    p.executablePath = validUtf8(p.executablePath);
    return p;
}

}  // namespace vandrel
