// How a database file is opened: where it lives, its schema version, how older files are migrated and
// when the file is compacted at launch.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vandrel {

class RealmMigration;

// The tables of one stored class. Subsystems above the store register theirs with
// Realm::registerObjectSchema() before the database is first opened.
struct RealmObjectSchema {
    std::string className;  // the table name, e.g. "VDClip"
    // CREATE TABLE / CREATE INDEX statements of the current shape, each with IF NOT EXISTS. A table that
    // references another class's table is registered after it.
    std::vector<std::string> createStatements;
};

using RealmMigrationBlock = std::function<void(RealmMigration& migration, std::uint64_t oldSchemaVersion)>;

// Called with the file's total size and the bytes in use, once per file and process; true compacts.
using RealmCompactionRule = std::function<bool(std::uint64_t totalBytes, std::uint64_t usedBytes)>;

struct RealmConfiguration {
    std::filesystem::path fileURL;  // the database file (not a folder); empty: no database configured
    std::uint64_t schemaVersion = 0;
    RealmMigrationBlock migrationBlock;
    RealmCompactionRule shouldCompactOnLaunch;
    // Empty: every registered class.
    std::vector<RealmObjectSchema> objectTypes;
};

}  // namespace vandrel
