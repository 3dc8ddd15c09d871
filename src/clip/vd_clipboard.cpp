#include "clip/vd_clipboard.h"

#include <SQLiteCpp/Statement.h>

namespace vandrel {

std::vector<RealmObjectSchema> VDClipboard::objectSchemas()
{
    return {
        {kClassName, {R"(CREATE TABLE IF NOT EXISTS "VDClipboard" (
                "id" INTEGER NOT NULL PRIMARY KEY,
                "maxHistorySize" INTEGER NOT NULL DEFAULT 30))"}},
        {kHistoryClassName,
         {R"(CREATE TABLE IF NOT EXISTS "VDClipboard_clipHistory" (
                "clipboard" INTEGER NOT NULL REFERENCES "VDClipboard"("id") ON DELETE CASCADE ON UPDATE CASCADE,
                "position" INTEGER NOT NULL,
                "clip" TEXT NOT NULL REFERENCES "VDClip"("savedHash") ON DELETE CASCADE ON UPDATE CASCADE,
                PRIMARY KEY ("clipboard", "position")))",
          // Deleting a clip looks up its history entries by clip.
          R"(CREATE INDEX IF NOT EXISTS "VDClipboard_clipHistory_clip" ON "VDClipboard_clipHistory"("clip"))"}},
    };
}

std::optional<VDClipboard> VDClipboard::object(Realm& realm, std::int64_t id)
{
    auto query = realm.statement("SELECT \"id\", \"maxHistorySize\" FROM \"VDClipboard\" WHERE \"id\" = ?");
    query->bind(1, static_cast<int64_t>(id));
    if (!query->executeStep()) return std::nullopt;
    return VDClipboard{query->getColumn(0).getInt64(), query->getColumn(1).getInt64()};
}

std::vector<VDClipboard> VDClipboard::objects(Realm& realm)
{
    auto query = realm.statement("SELECT \"id\", \"maxHistorySize\" FROM \"VDClipboard\" ORDER BY \"id\"");
    std::vector<VDClipboard> boards;
    while (query->executeStep()) boards.push_back({query->getColumn(0).getInt64(), query->getColumn(1).getInt64()});
    return boards;
}

std::optional<VDClipboard> VDClipboard::resolve(Realm& realm) const
{
    return object(realm, id);
}

std::vector<VDClip> VDClipboard::clipHistory(Realm& realm) const
{
    auto query = realm.statement(
        "SELECT \"clip\" FROM \"VDClipboard_clipHistory\" WHERE \"clipboard\" = ? "
        "ORDER BY \"position\"");
    query->bind(1, static_cast<int64_t>(id));
    std::vector<VDClip> clips;
    while (query->executeStep()) {
        if (auto clip = VDClip::object(realm, query->getColumn(0).getString())) clips.push_back(std::move(*clip));
    }
    return clips;
}

std::optional<VDClip> VDClipboard::lastClip(Realm& realm) const
{
    auto query = realm.statement(
        "SELECT \"clip\" FROM \"VDClipboard_clipHistory\" WHERE \"clipboard\" = ? "
        "ORDER BY \"position\" DESC LIMIT 1");
    query->bind(1, static_cast<int64_t>(id));
    if (!query->executeStep()) return std::nullopt;
    return VDClip::object(realm, query->getColumn(0).getString());
}

void VDClipboard::add(Realm& realm, const VDClipboard& clipboard, RealmUpdatePolicy update)
{
    realm.requireWriteTransaction();
    std::string sql = "INSERT INTO \"VDClipboard\" (\"id\", \"maxHistorySize\") VALUES (?, ?)";
    if (update == RealmUpdatePolicy::all) {
        sql += " ON CONFLICT(\"id\") DO UPDATE SET \"maxHistorySize\" = excluded.\"maxHistorySize\"";
    }
    auto insert = realm.statement(sql);
    insert->bind(1, static_cast<int64_t>(clipboard.id));
    insert->bind(2, static_cast<int64_t>(clipboard.maxHistorySize));
    insert->exec();
}

void VDClipboard::appendToHistory(Realm& realm, const VDClip& clip) const
{
    realm.requireWriteTransaction();
    VDClip::add(realm, clip, RealmUpdatePolicy::all);
    auto append = realm.statement(
        "INSERT INTO \"VDClipboard_clipHistory\" (\"clipboard\", \"position\", \"clip\") "
        "VALUES (?1, (SELECT COALESCE(MAX(\"position\"), -1) + 1 FROM "
        "\"VDClipboard_clipHistory\" WHERE \"clipboard\" = ?1), ?2)");
    append->bind(1, static_cast<int64_t>(id));
    append->bind(2, clip.savedHash);
    append->exec();
}

int VDClipboard::removeFromHistory(Realm& realm, const std::string& savedHash) const
{
    realm.requireWriteTransaction();
    auto remove = realm.statement("DELETE FROM \"VDClipboard_clipHistory\" WHERE \"clipboard\" = ? AND \"clip\" = ?");
    remove->bind(1, static_cast<int64_t>(id));
    remove->bind(2, savedHash);
    return remove->exec();
}

bool VDClipboard::isInAnyHistory(Realm& realm, const std::string& savedHash)
{
    auto query = realm.statement("SELECT 1 FROM \"VDClipboard_clipHistory\" WHERE \"clip\" = ? LIMIT 1");
    query->bind(1, savedHash);
    return query->executeStep();
}

}  // namespace vandrel
