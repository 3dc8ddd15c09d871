#include "windowbinding/vd_window_binding_data.h"

#include <SQLiteCpp/Statement.h>

namespace vandrel {

namespace {

constexpr const char* kSelect =
    "SELECT \"bindingId\", \"winTitle\", \"winId\", \"appBundleId\", \"appName\", \"appPid\", \"appUrl\" "
    "FROM \"VDWindowBindingData\"";

VDWindowBindingData readRecord(SQLite::Statement& row)
{
    VDWindowBindingData data;
    data.bindingId = row.getColumn(0).getInt64();
    data.winTitle = row.getColumn(1).getString();
    data.winId = static_cast<std::int32_t>(row.getColumn(2).getInt64());
    data.appBundleId = row.getColumn(3).getString();
    data.appName = row.getColumn(4).getString();
    data.appPid = static_cast<std::int32_t>(row.getColumn(5).getInt64());
    data.appUrl = row.getColumn(6).getString();
    return data;
}

}  // namespace

RealmObjectSchema VDWindowBindingData::objectSchema()
{
    return {kClassName, {R"(CREATE TABLE IF NOT EXISTS "VDWindowBindingData" (
                   "bindingId" INTEGER NOT NULL PRIMARY KEY,
                   "winTitle" TEXT NOT NULL DEFAULT '',
                   "winId" INTEGER NOT NULL DEFAULT 0,
                   "appBundleId" TEXT NOT NULL DEFAULT '',
                   "appName" TEXT NOT NULL DEFAULT '',
                   "appPid" INTEGER NOT NULL DEFAULT -1,
                   "appUrl" TEXT NOT NULL DEFAULT ''))"}};
}

void VDWindowBindingData::registerSchema()
{
    Realm::registerObjectSchema(objectSchema());
}

VDWindowBindingDataSwiftType VDWindowBindingData::toSwiftRuntimeType() const
{
    return {winTitle, winId, appBundleId, appName, appPid, appUrl};
}

VDWindowBindingData VDWindowBindingData::createFromSwiftTypes(std::int64_t bindingId,
                                                              const VDWindowBindingDataSwiftType& data)
{
    return {bindingId, data.winTitle, data.winId, data.appBundleId, data.appName, data.appPid, data.appUrl};
}

std::optional<VDWindowBindingData> VDWindowBindingData::object(Realm& realm, std::int64_t bindingId)
{
    auto query = realm.statement(std::string(kSelect) + " WHERE \"bindingId\" = ?");
    query->bind(1, static_cast<int64_t>(bindingId));
    if (!query->executeStep()) return std::nullopt;
    return readRecord(*query);
}

std::vector<VDWindowBindingData> VDWindowBindingData::objects(Realm& realm)
{
    auto query = realm.statement(std::string(kSelect) + " ORDER BY \"bindingId\"");
    std::vector<VDWindowBindingData> records;
    while (query->executeStep()) records.push_back(readRecord(*query));
    return records;
}

std::optional<VDWindowBindingData> VDWindowBindingData::resolve(Realm& realm) const
{
    return object(realm, bindingId);
}

void VDWindowBindingData::add(Realm& realm, const VDWindowBindingData& data, RealmUpdatePolicy update)
{
    realm.requireWriteTransaction();
    std::string sql =
        "INSERT INTO \"VDWindowBindingData\" (\"bindingId\", \"winTitle\", \"winId\", \"appBundleId\", \"appName\", "
        "\"appPid\", \"appUrl\") VALUES (?, ?, ?, ?, ?, ?, ?)";
    if (update == RealmUpdatePolicy::all) {
        sql +=
            " ON CONFLICT(\"bindingId\") DO UPDATE SET \"winTitle\" = excluded.\"winTitle\", "
            "\"winId\" = excluded.\"winId\", \"appBundleId\" = excluded.\"appBundleId\", "
            "\"appName\" = excluded.\"appName\", \"appPid\" = excluded.\"appPid\", \"appUrl\" = excluded.\"appUrl\"";
    }
    auto insert = realm.statement(sql);
    insert->bind(1, static_cast<int64_t>(data.bindingId));
    insert->bind(2, data.winTitle);
    insert->bind(3, data.winId);
    insert->bind(4, data.appBundleId);
    insert->bind(5, data.appName);
    insert->bind(6, data.appPid);
    insert->bind(7, data.appUrl);
    insert->exec();
}

bool VDWindowBindingData::remove(Realm& realm, std::int64_t bindingId)
{
    realm.requireWriteTransaction();
    auto del = realm.statement("DELETE FROM \"VDWindowBindingData\" WHERE \"bindingId\" = ?");
    del->bind(1, static_cast<int64_t>(bindingId));
    return del->exec() > 0;
}

}  // namespace vandrel
