#include "storage/realm_object.h"

#include <charconv>

#include "storage/realm_error.h"

namespace vandrel {

namespace {
const RealmValue kNull{};
}

const RealmValue* RealmObject::find(std::string_view property) const
{
    for (const auto& [name, value] : columns_) {
        if (name == property) return &value;
    }
    return nullptr;
}

const RealmValue& RealmObject::operator[](std::string_view property) const
{
    const RealmValue* value = find(property);
    return value ? *value : kNull;
}

void RealmObject::set(std::string_view property, RealmValue value)
{
    for (auto& [name, current] : columns_) {
        if (name == property) {
            current = std::move(value);
            return;
        }
    }
    throw RealmError("Invalid property name '" + std::string(property) + "' for class '" + className_ + "'.");
}

std::string RealmObject::stringValue(std::string_view property) const
{
    const RealmValue& value = (*this)[property];
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) return {bytes->begin(), bytes->end()};
    return {};
}

std::int64_t RealmObject::integerValue(std::string_view property) const
{
    const RealmValue& value = (*this)[property];
    if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
    if (const auto* real = std::get_if<double>(&value)) {
        // Out of range (or NaN) would be undefined behaviour in the conversion.
        if (!(*real > -9.2e18 && *real < 9.2e18)) return 0;
        return static_cast<std::int64_t>(*real);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        std::int64_t parsed = 0;
        std::from_chars(text->data(), text->data() + text->size(), parsed);
        return parsed;
    }
    return 0;
}

bool RealmObject::boolValue(std::string_view property) const
{
    return integerValue(property) != 0;
}

}  // namespace vandrel
