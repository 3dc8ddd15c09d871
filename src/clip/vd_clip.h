// One stored clip of a clipboard's history: a small row that describes a capture whose payload lives in
// its own archive file (dataPath). A plain value; the functions below read and write the "VDClip" table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "storage/realm.h"

namespace vandrel {

class VDClipData;

struct VDClip {
    std::string dataPath;         // full path of the payload file
    std::string stringData;       // the capture's plain text, at most its first 100000 characters
    std::string dataHash;         // decimal text of the content hash
    std::string savedHash;        // primary key: the content hash or a random number, as decimal text
    std::string primaryType;      // first kept pasteboard type, empty when none
    std::int64_t updateTime = 0;  // capture time, whole seconds since 1970; history order
    std::string thumbnailPath;    // key of the clip's image in the image cache, empty when none
    std::string typeForVD;        // "colorCode" when the text is a colour code with a swatch

    // The archived snapshot at dataPath, read on every call from the clip folder and at most maxBytes
    // (VDClipData::unarchive); none (logged "unarchiveObject with clip.dataPath fail ->") otherwise.
    std::optional<VDClipData> vdClipData(const std::filesystem::path& clipFolder, std::uint64_t maxBytes) const;
    // A copy that belongs to no database.
    VDClip deepCopy() const { return *this; }

    static constexpr const char* kClassName = "VDClip";
    static const char* primaryKey() { return "savedHash"; }
    static RealmObjectSchema objectSchema();

    // --- reading (any open database) ---
    static std::optional<VDClip> object(Realm& realm, const std::string& savedHash);
    // Every stored clip, in storage order.
    static std::vector<VDClip> objects(Realm& realm);
    // This clip as the database holds it now; nothing when it was deleted.
    std::optional<VDClip> resolve(Realm& realm) const;

    // --- writing (inside a write transaction) ---
    // update all: an existing clip with the same savedHash has every property replaced and stays in the
    // histories that hold it; error: a clip with that key must not exist yet.
    static void add(Realm& realm, const VDClip& clip, RealmUpdatePolicy update = RealmUpdatePolicy::all);
    // Deletes the clip and takes it out of every history; false when there was none.
    static bool remove(Realm& realm, const std::string& savedHash);

    bool operator==(const VDClip&) const = default;
};

}  // namespace vandrel
