#include "storage/stored_data_upkeep.h"

#include <string>

#include "core/app_info.h"
#include "core/json_limits.h"
#include "core/log.h"
#include "core/log_manager.h"
#include "core/private_files.h"
#include "core/settings_store.h"
#include "core/xdg_autostart_login_item.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

// The count and the first few paths: a data folder may hold thousands of cached clips.
std::string summary(const std::vector<fs::path>& paths)
{
    std::string text = std::to_string(paths.size()) + ":";
    constexpr std::size_t shown = 5;
    for (std::size_t i = 0; i < paths.size() && i < shown; ++i) text += " " + paths[i].string();
    if (paths.size() > shown) text += " ...";
    return text;
}

}  // namespace

StoredDataLocations StoredDataLocations::standard()
{
    const fs::path settings = SettingsStore::standardFolder();
    return {{settings, AppInfo::supportFolderUrl()},
            {settings / SettingsStore::standardFileName, settings / SettingsStore::groupFileName,
             LogManager::debugLogFileUrl(), LogManager::olderDebugLogFileUrl(),
             XdgAutostartLoginItem::standardFolder() / XdgAutostartLoginItem::entryFileName}};
}

StoredDataUpkeep tidyStoredDataAtStart(const StoredDataLocations& locations, fs::file_time_type now)
{
    StoredDataUpkeep done;
    for (const auto& file : locations.wholeFiles) {
        auto removed = removeStaleTemporaryFiles(file.parent_path(), {file.filename().string()}, now);
        done.removedTemporaryFiles.insert(done.removedTemporaryFiles.end(), removed.begin(), removed.end());
    }

    std::vector<fs::path> roots = locations.privateFolders;
    roots.insert(roots.end(), locations.wholeFiles.begin(), locations.wholeFiles.end());
    auto tightening = tightenToOwner(roots);
    done.tightened = std::move(tightening.tightened);

    if (!done.removedTemporaryFiles.empty())
        log.info("removed temporary files left by an interrupted write ->", summary(done.removedTemporaryFiles));
    if (!done.tightened.empty())
        log.info("made stored files and folders readable by their owner only ->", summary(done.tightened));
    if (!tightening.failures.empty()) {
        log.warning("cannot make some stored files readable by their owner only ->",
                    std::to_string(tightening.failures.size()) + ": " + excerpt(tightening.failures.front()));
    }
    return done;
}

}  // namespace vandrel
