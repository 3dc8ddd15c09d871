// Small SQLite helpers shared by the database layer and the stored record types.
#pragma once

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <string>
#include <string_view>

#include "storage/realm_object.h"

namespace vandrel::realm_sql {

// "name" with embedded quotes doubled, for table and column names.
std::string quoted(std::string_view identifier);

bool tableExists(SQLite::Database& db, std::string_view table);

RealmValue value(const SQLite::Column& column);
void bind(SQLite::Statement& statement, int index, const RealmValue& value);

// A PRAGMA's single value, e.g. integerPragma(db, "user_version").
long long integerPragma(SQLite::Database& db, std::string_view pragma);

}  // namespace vandrel::realm_sql
