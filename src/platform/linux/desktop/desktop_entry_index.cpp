#include "platform/linux/desktop/desktop_entry_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "core/log.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

// Nanoseconds, so a change within the second of the last read still shows.
std::int64_t modificationTime(const std::string& dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return 0;
    return std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return !a.empty() && QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

std::string lastDottedPart(const std::string& id)
{
    const auto dot = id.rfind('.');
    return dot == std::string::npos ? id : id.substr(dot + 1);
}

bool programExists(const std::string& program)
{
    if (program.empty()) return true;
    if (program.front() == '/') return ::access(program.c_str(), X_OK) == 0;
    return !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
}

// How well an entry fits a running program; 0 is no fit, higher is better.
int fit(const DesktopEntry& e, const ProgramTraits& p)
{
    const std::string& cls = p.wmClass;
    const std::string& inst = p.wmInstance;
    if (!e.startupWmClass.empty()) {
        if (e.startupWmClass == cls || e.startupWmClass == inst) return 4;
        if (equalsIgnoringCase(e.startupWmClass, cls) || equalsIgnoringCase(e.startupWmClass, inst)) return 3;
    }
    if (!cls.empty() || !inst.empty()) {
        for (const auto& candidate : {e.id, lastDottedPart(e.id)})
            if (equalsIgnoringCase(candidate, cls) || equalsIgnoringCase(candidate, inst)) return 2;
    }
    const auto program = e.executableName();
    if (!program.empty()) {
        if (program == p.comm) return 1;
        // The executable's name counts only when the process name agrees with it: an interpreter runs scripts
        // whose process names are theirs, and must not make every script its own application.
        const auto exe = fs::path(p.executablePath).filename().string();
        if (!exe.empty() && program == exe && p.comm == exe.substr(0, 15)) return 1;
    }
    return 0;
}

}  // namespace

std::vector<std::string> DesktopEntryIndex::defaultApplicationDirs()
{
    std::vector<std::string> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome) {
        dirs.push_back(std::string(dataHome) + "/applications");
    } else if (home && *home) {
        dirs.push_back(std::string(home) + "/.local/share/applications");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
    std::string dir;
    while (std::getline(list, dir, ':'))
        if (!dir.empty()) dirs.push_back(dir + "/applications");
    return dirs;
}

DesktopEntryIndex::DesktopEntryIndex(std::vector<std::string> applicationDirs) : dirs_(std::move(applicationDirs)) {}

void DesktopEntryIndex::refreshIfChanged()
{
    if (scanned_) {
        bool changed = false;
        for (const auto& [dir, time] : dirTimes_) {
            if (modificationTime(dir) != time) {
                changed = true;
                break;
            }
        }
        if (!changed) return;
    }
    scan();
}

void DesktopEntryIndex::scan()
{
    scanned_ = true;
    entries_.clear();
    dirTimes_.clear();
    std::set<std::string> seenIds;
    for (const auto& top : dirs_) {
        dirTimes_[top] = modificationTime(top);
        std::error_code ec;
        if (!fs::is_directory(top, ec)) continue;
        std::vector<fs::path> files;
        for (auto it = fs::recursive_directory_iterator(top, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec)) {
                dirTimes_[it->path().string()] = modificationTime(it->path().string());
            } else if (it->path().extension() == ".desktop") {
                files.push_back(it->path());
            }
        }
        if (ec) log.warning("cannot read all of an applications folder", top + ": " + ec.message());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            // The id is the path below the folder with '/' turned into '-'.
            std::string id = fs::relative(file, top, ec).replace_extension().string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (!seenIds.insert(id).second) continue;  // an earlier folder has it
            auto entry = DesktopEntry::load(file.string(), id);
            if (!entry || entry->hidden || entry->type != "Application" || !programExists(entry->tryExec)) continue;
            entries_.push_back(std::move(*entry));
        }
    }
}

std::optional<DesktopEntry> DesktopEntryIndex::findById(const std::string& id)
{
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    for (const auto& e : entries_)
        if (e.id == id) return e;
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntryIndex::findByPath(const std::string& path)
{
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    for (const auto& e : entries_)
        if (e.path == path) return e;
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntryIndex::findByName(const std::string& name)
{
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    for (const auto& e : entries_)
        if (equalsIgnoringCase(e.name, name) || equalsIgnoringCase(e.untranslatedName, name)) return e;
    for (const auto& e : entries_)
        if (e.id == name) return e;
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntryIndex::match(const ProgramTraits& program)
{
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    const DesktopEntry* best = nullptr;
    int bestFit = 0;
    for (const auto& e : entries_) {
        const int f = fit(e, program);
        if (f > bestFit || (f == bestFit && f > 0 && best->noDisplay && !e.noDisplay)) {
            best = &e;
            bestFit = f;
        }
    }
    if (!best) return std::nullopt;
    return *best;
}

std::vector<DesktopEntry> DesktopEntryIndex::entries()
{
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    return entries_;
}

}  // namespace vandrel
