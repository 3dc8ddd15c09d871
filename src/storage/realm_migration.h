// The context a migration block works in. When a file with an older schema version is opened, every
// registered class's rows are read, its table is rebuilt in the current shape, and each row becomes a new
// object that starts with the old values of the properties both shapes share and the defaults of the
// new ones. The block adjusts the new objects; then they are written, all inside one transaction.
#pragma once

#include <SQLiteCpp/Database.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/realm_configuration.h"
#include "storage/realm_object.h"

namespace vandrel {

class RealmMigration {
public:
    using ObjectBlock = std::function<void(const RealmObject& oldObject, RealmObject& newObject)>;

    // Visits every object of the class stored before the migration, in storage order.
    void enumerateObjects(std::string_view className, const ObjectBlock& block);

    std::uint64_t oldSchemaVersion() const { return oldSchemaVersion_; }

    // Migrates the open database in place, in one transaction (rolled back when anything throws). Foreign
    // keys must be off on the connection. Links left pointing at no object are dropped with a warning.
    static void perform(SQLite::Database& db, const std::vector<RealmObjectSchema>& schemas,
                        const RealmMigrationBlock& block, std::uint64_t oldSchemaVersion,
                        std::uint64_t newSchemaVersion);

private:
    struct ClassData {
        std::string className;
        std::vector<std::string> newColumns;
        std::vector<RealmObject> oldObjects;
        std::vector<RealmObject> newObjects;
    };

    RealmMigration(SQLite::Database& db, std::uint64_t oldSchemaVersion) : db_(db), oldSchemaVersion_(oldSchemaVersion)
    {
    }
    void rebuildTables(const std::vector<RealmObjectSchema>& schemas);
    void writeObjects();
    void dropDanglingLinks();

    SQLite::Database& db_;
    std::uint64_t oldSchemaVersion_;
    std::vector<ClassData> classes_;
};

}  // namespace vandrel
