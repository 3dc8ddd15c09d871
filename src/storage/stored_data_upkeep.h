// What the program does once at start with the files it keeps, before anything writes them: takes group and
// other access away from whatever an earlier build (or the umask) left open in its folders, and removes the
// temporary files that a kill during a whole-file write left behind (ours, older than a minute).
//
//   tidyStoredDataAtStart(StoredDataLocations::standard(), std::filesystem::file_time_type::clock::now());
//
// Each kind of change is logged once (one line with the count and the first paths); nothing is logged when
// there was nothing to do. Failures are logged once as a warning and never stop the start.
#pragma once

#include <filesystem>
#include <vector>

namespace vandrel {

struct StoredDataLocations {
    // Tightened with everything in them: the settings (and what was moved aside), the data folder
    // (default.realm, logs/, cache/clip/).
    std::vector<std::filesystem::path> privateFolders;
    // Files replaced whole or rewritten, whose stale temporary files are removed from their folders; each is
    // tightened too (the login item lives in the desktop's folder, which is not ours to change).
    std::vector<std::filesystem::path> wholeFiles;

    // The running program's: SettingsStore::standardFolder() with its two files, AppInfo::supportFolderUrl()
    // with the two log files, and the XDG autostart entry.
    static StoredDataLocations standard();
};

struct StoredDataUpkeep {
    std::vector<std::filesystem::path> tightened;
    std::vector<std::filesystem::path> removedTemporaryFiles;
};

StoredDataUpkeep tidyStoredDataAtStart(const StoredDataLocations& locations, std::filesystem::file_time_type now);

}  // namespace vandrel
