#include "clip/realm_migration_handlers.h"

#include <string>

#include "clip/vd_clip.h"
#include "clip/vd_clipboard.h"
#include "storage/realm.h"

namespace vandrel {

void RealmMigrationHandlers::theMigrationHandler(RealmMigration& migration, std::uint64_t oldSchemaVersion)
{
    if (oldSchemaVersion == 0) from0To1(migration);
}

void RealmMigrationHandlers::from0To1(RealmMigration& migration)
{
    migration.enumerateObjects(VDClip::kClassName, [](const RealmObject& oldObject, RealmObject& newObject) {
        newObject.set("savedHash", oldObject.stringValue("dataHash"));
        newObject.set("typeForVD", std::string(oldObject.boolValue("isColorCode") ? "colorCode" : ""));
    });
}

void RealmMigrationHandlers::registerWithRealm()
{
    Realm::registerObjectSchema(VDClip::objectSchema());
    for (auto& schema : VDClipboard::objectSchemas()) Realm::registerObjectSchema(std::move(schema));
    Realm::registerMigrationBlock(&RealmMigrationHandlers::theMigrationHandler);
}

}  // namespace vandrel
