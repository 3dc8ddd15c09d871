// Jsonable: a model value that turns into JSON and back through its nlohmann to_json/from_json pair.
//
//   struct VDKey : Jsonable<VDKey> { ... };      // plus to_json/from_json found by argument lookup
//   nlohmann::json j = key.toJson();             // the string "Error" (and one error line) when encoding fails
//   std::optional<VDKey> k = VDKey::fromJson(j); // absent when decoding fails
//   VDKey::fromJsonText(text)                    // absent as well for text nested more than kMaxJsonNesting
//
// Pass nlohmann::ordered_json as Json where the order of members matters.
#pragma once

#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "core/json_limits.h"
#include "core/log.h"

namespace vandrel {

template <class Derived, class Json = nlohmann::json>
class Jsonable {
public:
    using JsonType = Json;

    Json toJson() const
    {
        try {
            Json value = static_cast<const Derived&>(*this);
            // Text that could not be written out (bad UTF-8) is an encoding failure too.
            (void)value.dump();
            return value;
        } catch (const std::exception& e) {
            log.error(e.what());
            return Json("Error");
        }
    }

    static std::optional<Derived> fromJson(const Json& json)
    {
        try {
            return json.template get<Derived>();
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    // Lets models default their own comparison.
    bool operator==(const Jsonable&) const = default;

    static std::optional<Derived> fromJsonText(std::string_view text)
    {
        const Json json = parseBoundedJson<Json>(text);
        if (json.is_discarded()) return std::nullopt;
        return fromJson(json);
    }

protected:
    Jsonable() = default;
    ~Jsonable() = default;
};

}  // namespace vandrel
