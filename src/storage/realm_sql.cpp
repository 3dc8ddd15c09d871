#include "storage/realm_sql.h"

#include <sqlite3.h>

namespace vandrel::realm_sql {

std::string quoted(std::string_view identifier)
{
    std::string out = "\"";
    for (char c : identifier) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

bool tableExists(SQLite::Database& db, std::string_view table)
{
    SQLite::Statement query(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    query.bind(1, std::string(table));
    return query.executeStep();
}

RealmValue value(const SQLite::Column& column)
{
    switch (column.getType()) {
        case SQLITE_INTEGER:
            return static_cast<std::int64_t>(column.getInt64());
        case SQLITE_FLOAT:
            return column.getDouble();
        case SQLITE_TEXT:
            return column.getString();
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const std::uint8_t*>(column.getBlob());
            return std::vector<std::uint8_t>(bytes, bytes + column.getBytes());
        }
        default:
            return std::monostate{};
    }
}

void bind(SQLite::Statement& statement, int index, const RealmValue& value)
{
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        statement.bind(index, static_cast<int64_t>(*number));
    } else if (const auto* real = std::get_if<double>(&value)) {
        statement.bind(index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        statement.bind(index, *text);
    } else if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) {
        statement.bind(index, bytes->data(), static_cast<int>(bytes->size()));
    } else {
        statement.bind(index);
    }
}

long long integerPragma(SQLite::Database& db, std::string_view pragma)
{
    SQLite::Statement query(db, "PRAGMA " + std::string(pragma));
    if (!query.executeStep()) return 0;
    return query.getColumn(0).getInt64();
}

}  // namespace vandrel::realm_sql
