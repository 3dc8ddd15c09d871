#include "clip/vd_clip.h"

#include <SQLiteCpp/Statement.h>

#include "clip/vd_clip_data.h"

namespace vandrel {

namespace {

constexpr const char* kColumns =
    "\"dataPath\", \"stringData\", \"dataHash\", \"savedHash\", \"primaryType\", \"updateTime\", \"thumbnailPath\", "
    "\"typeForVD\"";

VDClip readClip(SQLite::Statement& row, int first)
{
    VDClip clip;
    clip.dataPath = row.getColumn(first + 0).getString();
    clip.stringData = row.getColumn(first + 1).getString();
    clip.dataHash = row.getColumn(first + 2).getString();
    clip.savedHash = row.getColumn(first + 3).getString();
    clip.primaryType = row.getColumn(first + 4).getString();
    clip.updateTime = row.getColumn(first + 5).getInt64();
    clip.thumbnailPath = row.getColumn(first + 6).getString();
    clip.typeForVD = row.getColumn(first + 7).getString();
    return clip;
}

}  // namespace

RealmObjectSchema VDClip::objectSchema()
{
    return {kClassName, {R"(CREATE TABLE IF NOT EXISTS "VDClip" (
                   "dataPath" TEXT NOT NULL DEFAULT '',
                   "stringData" TEXT NOT NULL DEFAULT '',
                   "dataHash" TEXT NOT NULL DEFAULT '',
                   "savedHash" TEXT NOT NULL DEFAULT '' PRIMARY KEY,
                   "primaryType" TEXT NOT NULL DEFAULT '',
                   "updateTime" INTEGER NOT NULL DEFAULT 0,
                   "thumbnailPath" TEXT NOT NULL DEFAULT '',
                   "typeForVD" TEXT NOT NULL DEFAULT ''))"}};
}

std::optional<VDClip> VDClip::object(Realm& realm, const std::string& savedHash)
{
    auto query = realm.statement(std::string("SELECT ") + kColumns + " FROM \"VDClip\" WHERE \"savedHash\" = ?");
    query->bind(1, savedHash);
    if (!query->executeStep()) return std::nullopt;
    return readClip(*query, 0);
}

std::vector<VDClip> VDClip::objects(Realm& realm)
{
    auto query = realm.statement(std::string("SELECT ") + kColumns + " FROM \"VDClip\" ORDER BY rowid");
    std::vector<VDClip> clips;
    while (query->executeStep()) clips.push_back(readClip(*query, 0));
    return clips;
}

std::optional<VDClipData> VDClip::vdClipData(const std::filesystem::path& clipFolder, std::uint64_t maxBytes) const
{
    return VDClipData::unarchive(dataPath, clipFolder, maxBytes);
}

std::optional<VDClip> VDClip::resolve(Realm& realm) const
{
    return object(realm, savedHash);
}

void VDClip::add(Realm& realm, const VDClip& clip, RealmUpdatePolicy update)
{
    realm.requireWriteTransaction();
    // An upsert rather than INSERT OR REPLACE: replacing would delete the row and with it the clip's
    // places in the histories.
    std::string sql = std::string("INSERT INTO \"VDClip\" (") + kColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
    if (update == RealmUpdatePolicy::all) {
        sql +=
            " ON CONFLICT(\"savedHash\") DO UPDATE SET \"dataPath\" = excluded.\"dataPath\", "
            "\"stringData\" = excluded.\"stringData\", \"dataHash\" = excluded.\"dataHash\", "
            "\"primaryType\" = excluded.\"primaryType\", \"updateTime\" = excluded.\"updateTime\", "
            "\"thumbnailPath\" = excluded.\"thumbnailPath\", \"typeForVD\" = excluded.\"typeForVD\"";
    }
    auto insert = realm.statement(sql);
    insert->bind(1, clip.dataPath);
    insert->bind(2, clip.stringData);
    insert->bind(3, clip.dataHash);
    insert->bind(4, clip.savedHash);
    insert->bind(5, clip.primaryType);
    insert->bind(6, static_cast<int64_t>(clip.updateTime));
    insert->bind(7, clip.thumbnailPath);
    insert->bind(8, clip.typeForVD);
    insert->exec();
}

bool VDClip::remove(Realm& realm, const std::string& savedHash)
{
    realm.requireWriteTransaction();
    auto del = realm.statement("DELETE FROM \"VDClip\" WHERE \"savedHash\" = ?");
    del->bind(1, savedHash);
    return del->exec() > 0;
}

}  // namespace vandrel
