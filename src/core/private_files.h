// The user's data stays the user's: the program's folders are made 0700 and its files 0600 whatever the
// umask, and what an earlier build made more open is tightened at start. Also the sweep of temporary files
// that a kill during a whole-file write leaves behind.
//
// None of these log; callers report what they return (at start, once).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

inline constexpr mode_t kPrivateFolderMode = 0700;
inline constexpr mode_t kPrivateFileMode = 0600;

// Creates the folder with its missing parents, each made 0700; a folder that exists is left as it is.
// The error text, or nothing.
std::optional<std::string> createPrivateFolder(const std::filesystem::path& folder);

// Why the folder cannot keep what only its owner may reach, or nothing when it can: it must be a real folder (not
// a symbolic link, which is never followed) owned by `owner`, which group and others may neither enter, read
// nor write. The reason is a short clause for a message ("other users can write in it (mode 0777)").
std::optional<std::string> whyNotPrivateFolder(const std::filesystem::path& folder, uid_t owner);

// Makes the folder with mode 0700 when nothing is there (its parent must exist), then checks it as above:
// whatever was there already counts only when it passes.
std::optional<std::string> makeOwnPrivateFolder(const std::filesystem::path& folder, uid_t owner);

// Creates the file empty with mode 0600 when nothing is there; an existing file is left as it is.
std::optional<std::string> createPrivateFile(const std::filesystem::path& file);

struct TighteningResult {
    std::vector<std::filesystem::path> tightened;  // paths whose group and other access was taken away
    std::vector<std::string> failures;             // "path: reason"
};

// Takes group and other access away from each path and, for folders, everything under them (owner access
// stays as it is). Symbolic links are neither changed nor followed; missing paths are skipped.
TighteningResult tightenToOwner(const std::vector<std::filesystem::path>& roots);

// Whether name is one of our temporary files for the file ownName: "<ownName>.tmp-XXXXXX" (the whole-file
// writer), "<ownName>.trim-XXXXXX" (the log trim), or "<ownName>.XXXXXX" of earlier builds (six letters with
// at least one capital, so a user's "settings.json.backup" is never taken for one).
bool isOwnTemporaryName(const std::string& name, const std::string& ownName);

// Removes from the folder (not below it) the regular files that are our temporary files of one of ownNames
// and were last written more than maxAge before now. The removed paths; failures are skipped.
std::vector<std::filesystem::path> removeStaleTemporaryFiles(const std::filesystem::path& folder,
                                                             const std::vector<std::string>& ownNames,
                                                             std::filesystem::file_time_type now,
                                                             std::chrono::seconds maxAge = std::chrono::minutes(1));

}  // namespace vandrel
