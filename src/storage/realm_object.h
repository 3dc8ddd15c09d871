// One stored row as a migration sees it: named columns with dynamically typed values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vandrel {

// SQLite's storage classes: NULL, INTEGER, REAL, TEXT, BLOB.
using RealmValue = std::variant<std::monostate, std::int64_t, double, std::string, std::vector<std::uint8_t>>;

class RealmObject {
public:
    RealmObject() = default;
    RealmObject(std::string className, std::vector<std::pair<std::string, RealmValue>> columns)
        : className_(std::move(className)), columns_(std::move(columns))
    {
    }

    const std::string& className() const { return className_; }
    const std::vector<std::pair<std::string, RealmValue>>& columns() const { return columns_; }

    bool contains(std::string_view property) const { return find(property) != nullptr; }

    // The value of a property; null when the object has no such property.
    const RealmValue& operator[](std::string_view property) const;

    // Sets a property the object's class declares; throws RealmError for any other name, so a mistyped
    // property fails the migration instead of being dropped silently.
    void set(std::string_view property, RealmValue value);

    // Typed reads. A text read of an integer gives its decimal text; a missing or null property reads as
    // "", 0 or false.
    std::string stringValue(std::string_view property) const;
    std::int64_t integerValue(std::string_view property) const;
    bool boolValue(std::string_view property) const;

private:
    const RealmValue* find(std::string_view property) const;

    std::string className_;
    std::vector<std::pair<std::string, RealmValue>> columns_;
};

}  // namespace vandrel
