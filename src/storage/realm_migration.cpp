#include "storage/realm_migration.h"

#include <SQLiteCpp/Statement.h>

#include <charconv>

#include "core/log.h"
#include "storage/realm_error.h"
#include "storage/realm_sql.h"

namespace vandrel {

namespace {

// A column default as PRAGMA table_info reports it: SQL literal text, or NULL.
RealmValue parseDefault(const SQLite::Column& column)
{
    if (column.isNull()) return std::monostate{};
    const std::string text = column.getString();
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        std::string out;
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            out += text[i];
            if (text[i] == '\'' && i + 2 < text.size() && text[i + 1] == '\'') ++i;
        }
        return out;
    }
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec == std::errc() && end == text.data() + text.size()) return number;
    double real = 0;
    const auto [realEnd, realEc] = std::from_chars(text.data(), text.data() + text.size(), real);
    if (realEc == std::errc() && realEnd == text.data() + text.size()) return real;
    return std::monostate{};
}

}  // namespace

void RealmMigration::enumerateObjects(std::string_view className, const ObjectBlock& block)
{
    for (auto& data : classes_) {
        if (data.className != className) continue;
        for (std::size_t i = 0; i < data.oldObjects.size(); ++i) block(data.oldObjects[i], data.newObjects[i]);
    }
}

void RealmMigration::perform(SQLite::Database& db, const std::vector<RealmObjectSchema>& schemas,
                             const RealmMigrationBlock& block, std::uint64_t oldSchemaVersion,
                             std::uint64_t newSchemaVersion)
{
    RealmMigration migration(db, oldSchemaVersion);
    db.exec("BEGIN IMMEDIATE");
    try {
        migration.rebuildTables(schemas);
        if (block) block(migration, oldSchemaVersion);
        migration.writeObjects();
        migration.dropDanglingLinks();
        db.exec("PRAGMA user_version = " + std::to_string(newSchemaVersion));
        db.exec("COMMIT");
    } catch (...) {
        try {
            db.exec("ROLLBACK");
        } catch (const std::exception&) {
            // The transaction is already gone; the original failure is what matters.
        }
        throw;
    }
}

void RealmMigration::rebuildTables(const std::vector<RealmObjectSchema>& schemas)
{
    for (const auto& schema : schemas) {
        ClassData data;
        data.className = schema.className;
        if (realm_sql::tableExists(db_, schema.className)) {
            SQLite::Statement rows(db_, "SELECT * FROM " + realm_sql::quoted(schema.className) + " ORDER BY rowid");
            while (rows.executeStep()) {
                std::vector<std::pair<std::string, RealmValue>> columns;
                for (int i = 0; i < rows.getColumnCount(); ++i) {
                    columns.emplace_back(rows.getColumnName(i), realm_sql::value(rows.getColumn(i)));
                }
                data.oldObjects.emplace_back(schema.className, std::move(columns));
            }
        }
        classes_.push_back(std::move(data));
    }
    for (auto it = schemas.rbegin(); it != schemas.rend(); ++it) {
        db_.exec("DROP TABLE IF EXISTS " + realm_sql::quoted(it->className));
    }
    for (std::size_t i = 0; i < schemas.size(); ++i) {
        for (const auto& statement : schemas[i].createStatements) db_.exec(statement);

        ClassData& data = classes_[i];
        std::vector<std::pair<std::string, RealmValue>> defaults;
        SQLite::Statement info(db_, "PRAGMA table_info(" + realm_sql::quoted(data.className) + ")");
        while (info.executeStep()) {
            data.newColumns.push_back(info.getColumn(1).getString());
            defaults.emplace_back(data.newColumns.back(), parseDefault(info.getColumn(4)));
        }
        for (const auto& old : data.oldObjects) {
            RealmObject fresh(data.className, defaults);
            for (const auto& [name, value] : old.columns()) {
                // A null keeps the new default: every stored property is required.
                if (fresh.contains(name) && !std::holds_alternative<std::monostate>(value)) fresh.set(name, value);
            }
            data.newObjects.push_back(std::move(fresh));
        }
    }
}

void RealmMigration::writeObjects()
{
    for (const auto& data : classes_) {
        if (data.newObjects.empty()) continue;
        std::string columns;
        std::string marks;
        for (const auto& name : data.newColumns) {
            if (!columns.empty()) {
                columns += ", ";
                marks += ", ";
            }
            columns += realm_sql::quoted(name);
            marks += "?";
        }
        SQLite::Statement insert(
            db_, "INSERT INTO " + realm_sql::quoted(data.className) + " (" + columns + ") VALUES (" + marks + ")");
        for (const auto& object : data.newObjects) {
            insert.reset();
            for (std::size_t i = 0; i < data.newColumns.size(); ++i) {
                realm_sql::bind(insert, static_cast<int>(i + 1), object[data.newColumns[i]]);
            }
            insert.exec();
        }
    }
}

void RealmMigration::dropDanglingLinks()
{
    std::vector<std::pair<std::string, std::int64_t>> dangling;
    {
        SQLite::Statement check(db_, "PRAGMA foreign_key_check");
        while (check.executeStep()) {
            if (check.getColumn(1).isNull()) continue;
            dangling.emplace_back(check.getColumn(0).getString(), check.getColumn(1).getInt64());
        }
    }
    for (const auto& [table, rowid] : dangling) {
        log.warning("Dropped a link to a missing object while migrating ->",
                    std::vector<std::string>{table, std::to_string(rowid)});
        SQLite::Statement remove(db_, "DELETE FROM " + realm_sql::quoted(table) + " WHERE rowid = ?");
        remove.bind(1, static_cast<int64_t>(rowid));
        remove.exec();
    }
}

}  // namespace vandrel
