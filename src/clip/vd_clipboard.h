// One stored clipboard (0 the system clipboard, 1 and 2 the extra ones) with its ordered history of
// clips. The record is a plain value; its history is a list in the database ("VDClipboard_clipHistory":
// board, position, clip), read and appended through the functions below. Deleting a clip takes it out
// of every history.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "clip/vd_clip.h"
#include "storage/realm.h"

namespace vandrel {

struct VDClipboard {
    std::int64_t id = 0;
    std::int64_t maxHistorySize = 30;  // how many clips the history keeps

    static constexpr const char* kClassName = "VDClipboard";
    static constexpr const char* kHistoryClassName = "VDClipboard_clipHistory";
    static const char* primaryKey() { return "id"; }
    // The clipboard table, then its history list (which refers to "VDClip").
    static std::vector<RealmObjectSchema> objectSchemas();

    // --- reading (any open database) ---
    static std::optional<VDClipboard> object(Realm& realm, std::int64_t id);
    static std::vector<VDClipboard> objects(Realm& realm);
    std::optional<VDClipboard> resolve(Realm& realm) const;

    // The history in order, oldest first; the last clip is the newest.
    std::vector<VDClip> clipHistory(Realm& realm) const;
    std::optional<VDClip> lastClip(Realm& realm) const;

    // --- writing (inside a write transaction) ---
    // Stores the board's own properties; its history is left as it is.
    static void add(Realm& realm, const VDClipboard& clipboard, RealmUpdatePolicy update = RealmUpdatePolicy::all);
    // Stores clip (every property replaced when its key exists) and appends it to the end of this board's
    // history. Throws when the board itself is not stored.
    void appendToHistory(Realm& realm, const VDClip& clip) const;
    // Takes the clip out of this board's history only (the clip row stays); the number of entries removed.
    int removeFromHistory(Realm& realm, const std::string& savedHash) const;
    // Whether any board's history holds the clip.
    static bool isInAnyHistory(Realm& realm, const std::string& savedHash);

    bool operator==(const VDClipboard&) const = default;
};

}  // namespace vandrel
