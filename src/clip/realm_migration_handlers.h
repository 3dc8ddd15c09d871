// The clip store's part in the database: its tables and the migration of older files.
//
// Schema version 0 stored a clip keyed by its content hash, with a flag for colour codes:
//   "VDClip" (dataHash PRIMARY KEY, dataPath, stringData, primaryType, updateTime, thumbnailPath, isColorCode)
// plus "VDClipboard" and its history list as they are now, the list referring to a clip by dataHash.
// Version 1 keys a clip by "savedHash" (so the same content can be stored twice) and replaces the flag
// by the text "typeForVD".
#pragma once

#include <cstdint>

#include "storage/realm_migration.h"

namespace vandrel {

class RealmMigrationHandlers {
public:
    // The migration block of the default configuration: runs from0To1 when the old version is 0, else
    // nothing.
    static void theMigrationHandler(RealmMigration& migration, std::uint64_t oldSchemaVersion);

    // Every stored clip gets "savedHash" = its old "dataHash" and "typeForVD" = "colorCode" when its old
    // "isColorCode" was true, else "".
    static void from0To1(RealmMigration& migration);

    // Registers the "VDClip" and "VDClipboard" tables and theMigrationHandler with the database. Call it
    // before Realm::setCustomConfig().
    static void registerWithRealm();
};

}  // namespace vandrel
