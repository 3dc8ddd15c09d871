#include "windowbinding/vd_window_binding_data.h"

#include <SQLiteCpp/Statement.h>

#include "core/log.h"

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

std::optional<VDWindowBindingDataSwiftType> VDWindowBindingDataSwiftType::createFromObjcObject(const Window& window)
{
    const auto fail = [] {
        log.error("Get window's data for store fail");
        return std::nullopt;
    };
    const auto data = window.getDataForStore();
    if (!data) return fail();
    try {
        const auto& app = data->at("app");
        VDWindowBindingDataSwiftType mirror;
        mirror.winTitle = data->at("title").get<std::string>();
        mirror.winId = static_cast<std::int32_t>(data->at("winid").get<std::uint32_t>());
        mirror.appBundleId = app.at("bundleId").get<std::string>();
        mirror.appName = app.at("name").get<std::string>();
        mirror.appPid = app.at("pid").get<std::int32_t>();
        mirror.appUrl = app.at("url").get<std::string>();
        return mirror;
    } catch (const nlohmann::json::exception&) {
        return fail();
    }
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

std::vector<std::int64_t> VDWindowBindingData::wellFormedIds(Realm& realm,
                                                             const std::function<void(const std::string&)>& onMalformed)
{
    auto query = realm.statement(
        "SELECT \"bindingId\", typeof(\"bindingId\"), typeof(\"winTitle\"), typeof(\"winId\"), "
        "typeof(\"appBundleId\"), typeof(\"appName\"), typeof(\"appPid\"), typeof(\"appUrl\"), \"winId\", "
        "\"appPid\" FROM \"VDWindowBindingData\" ORDER BY \"bindingId\"");
    std::vector<std::int64_t> ids;
    while (query->executeStep()) {
        const auto type = [&](int column) { return query->getColumn(column).getString(); };
        const auto inRange = [&](int column, std::int64_t low, std::int64_t high) {
            const auto value = query->getColumn(column).getInt64();
            return value >= low && value <= high;
        };
        const bool good = type(1) == "integer" && type(2) == "text" && type(3) == "integer" && type(4) == "text" &&
                          type(5) == "text" && type(6) == "integer" && type(7) == "text" &&
                          inRange(8, INT32_MIN, UINT32_MAX) && inRange(9, INT32_MIN, INT32_MAX);
        if (good)
            ids.push_back(query->getColumn(0).getInt64());
        else if (onMalformed)
            onMalformed(query->getColumn(0).getString().substr(0, 64));
    }
    return ids;
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
