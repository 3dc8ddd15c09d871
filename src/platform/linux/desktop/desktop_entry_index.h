// The installed applications: every desktop entry of the XDG applications folders, found by id, by name, or
// for a running program by its window class and executable. An entry of an earlier folder hides one with the
// same id in a later folder; hidden entries, entries of another type and entries whose TryExec program is
// missing count as not installed. The folders are read again when one of them changes. Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop/desktop_entry.h"

namespace vandrel {

// What the desktop knows of a running program, for recognising its entry.
struct ProgramTraits {
    std::string wmInstance;  // WM_CLASS res_name
    std::string wmClass;     // WM_CLASS res_class
    std::string comm;        // the process name (/proc/<pid>/comm, at most 15 bytes)
    std::string executablePath;
};

class DesktopEntryIndex {
public:
    // $XDG_DATA_HOME/applications, then the applications folder of each $XDG_DATA_DIRS entry.
    static std::vector<std::string> defaultApplicationDirs();

    explicit DesktopEntryIndex(std::vector<std::string> applicationDirs = defaultApplicationDirs());

    std::optional<DesktopEntry> findById(const std::string& id);
    std::optional<DesktopEntry> findByPath(const std::string& path);
    // By name (translated or not, ignoring case), else by id.
    std::optional<DesktopEntry> findByName(const std::string& name);
    // The entry of a running program, best evidence first: StartupWMClass equal to its window class (exactly,
    // then ignoring case); the entry id (or its last dotted part) equal to the window class ignoring case; the
    // program Exec runs equal to the process name. Among equals, an entry shown in menus wins.
    std::optional<DesktopEntry> match(const ProgramTraits& program);
    std::vector<DesktopEntry> entries();

private:
    void refreshIfChanged();
    void scan();

    const std::vector<std::string> dirs_;
    std::mutex mutex_;
    bool scanned_ = false;
    std::vector<DesktopEntry> entries_;
    std::map<std::string, std::int64_t> dirTimes_;  // every folder read, and each top folder (0: missing)
};

}  // namespace vandrel
