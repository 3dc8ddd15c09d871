// The stored record of one window binding: which window of which application a binding id (a slot)
// points at. One row per binding id in "VDWindowBindingData"; storing a binding id again replaces every
// field. The record is a plain value; the functions below read and write the table.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"
#include "storage/realm.h"

namespace vandrel {

// The record's fields without the binding id: what travels between the window wrapper, the queues and
// the database.
struct VDWindowBindingDataSwiftType {
    std::string winTitle;
    std::int32_t winId = 0;
    std::string appBundleId;
    std::string appName;
    std::int32_t appPid = -1;
    std::string appUrl;

    // From what the window reports now; absent (logged) when it has no complete store data.
    static std::optional<VDWindowBindingDataSwiftType> createFromObjcObject(const Window& window);

    bool operator==(const VDWindowBindingDataSwiftType&) const = default;
};

struct VDWindowBindingData {
    std::int64_t bindingId = 0;  // primary key
    std::string winTitle;        // the window's title when it was stored
    std::int32_t winId = 0;      // the window number: its unsigned 32 bits kept as they are
    std::string appBundleId;     // the application's identifier
    std::string appName;         // the application's display name
    std::int32_t appPid = -1;    // the application's process id when stored
    std::string appUrl;          // where the application is installed

    static constexpr const char* kClassName = "VDWindowBindingData";
    static const char* primaryKey() { return "bindingId"; }
    static RealmObjectSchema objectSchema();
    // Registers the table with the database; call before Realm::setCustomConfig().
    static void registerSchema();

    VDWindowBindingDataSwiftType toSwiftRuntimeType() const;
    static VDWindowBindingData createFromSwiftTypes(std::int64_t bindingId, const VDWindowBindingDataSwiftType& data);

    // --- reading (any open database) ---
    static std::optional<VDWindowBindingData> object(Realm& realm, std::int64_t bindingId);
    // Every stored binding, in the database's order (by binding id).
    static std::vector<VDWindowBindingData> objects(Realm& realm);
    // The binding ids of the stored records whose every value has its column's type, in order; each other
    // record is reported to onMalformed with its binding id as text.
    static std::vector<std::int64_t> wellFormedIds(Realm& realm,
                                                   const std::function<void(const std::string&)>& onMalformed);
    std::optional<VDWindowBindingData> resolve(Realm& realm) const;

    // --- writing (inside a write transaction) ---
    // update all: an existing record with the same binding id has every field replaced.
    static void add(Realm& realm, const VDWindowBindingData& data, RealmUpdatePolicy update = RealmUpdatePolicy::all);
    // False when there was no such record.
    static bool remove(Realm& realm, std::int64_t bindingId);

    bool operator==(const VDWindowBindingData&) const = default;
};

}  // namespace vandrel
