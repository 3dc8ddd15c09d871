// Type-erased values for JSON: one value of any kind (null, booleans, numbers, text, dates, URLs, and lists
// and maps of them to any depth) carried through the JSON coding without a model type for its shape.
//
//   AnyEncodable  can be written      AnyCodable  both      AnyDecodable  can be read
//
// The held value is a std::any of one of the kinds below, fixed at construction. Null is held as the empty
// value (std::monostate). The integer kinds are kept apart: `AnyInt` (long long, the machine word) is not
// `std::int64_t` (long), and `AnyUInt` (unsigned long long) is not `std::uint64_t`.
//
//   AnyCodable v = AnyCodable::map({{"name", "caps"}, {"ids", AnyCodable::list({1, nullptr, "a"})}});
//   auto json = v.encode();                                   // CodingResult<nlohmann::json>
//   auto back = AnyCodable::parse(R"([1, null, "a"])");       // CodingResult<AnyCodable>
//
// Decoding yields only the empty value, bool, AnyInt, AnyUInt, double, std::string, AnyList and AnyMap, and
// refuses (data corrupted) lists and maps nested more than kMaxJsonNesting deep.
// Equality compares kinds and values structurally: different kinds are unequal, a NaN is unequal to
// itself, texts compare as canonically equivalent Unicode, lists and maps compare element by element.
#pragma once

#include <QUrl>
#include <any>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "core/json_limits.h"

namespace vandrel {

using AnyEmpty = std::monostate;
using AnyInt = long long;
using AnyUInt = unsigned long long;
using AnyDate = std::chrono::system_clock::time_point;
// A list of bare values; an empty std::any element is an absent one and counts as the empty value.
using AnyList = std::vector<std::any>;
using AnyMap = std::map<std::string, std::any>;
// A map whose keys are not all text, as a map literal with keys of other kinds makes it. Not encodable.
using AnyKeyedMap = std::vector<std::pair<std::any, std::any>>;

static_assert(!std::is_same_v<AnyInt, std::int64_t> && !std::is_same_v<AnyUInt, std::uint64_t>,
              "the machine-word integer kinds must stay distinct from the fixed-width ones");

using CodingPath = std::vector<std::string>;

struct CodingError {
    enum class Kind { dataCorrupted, invalidValue };
    Kind kind = Kind::dataCorrupted;
    CodingPath codingPath;
    std::string debugDescription;
    std::any value;  // the value that could not be written (invalidValue)

    std::string description() const;
};

// A value or the coding error that prevented it.
template <class T>
class CodingResult {
public:
    CodingResult(T value) : v_(std::move(value)) {}
    CodingResult(CodingError error) : v_(std::move(error)) {}
    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<0>(v_); }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }
    const CodingError& error() const { return std::get<1>(v_); }

private:
    std::variant<T, CodingError> v_;
};

namespace any_coding {

// The rules shared by the three wrappers, on bare held values.
CodingResult<nlohmann::json> encode(const std::any& value, const CodingPath& path);
CodingResult<std::any> decode(const nlohmann::json& json, const CodingPath& path);
bool equal(const std::any& a, const std::any& b);
std::string description(const std::any& value);
std::string debugText(const std::any& value);

// Builds the list and map literals from wrapped literal values.
std::any listLiteral(std::vector<std::any> items);
std::any mapLiteral(std::vector<std::pair<std::any, std::any>> entries);

template <class T>
std::any hold(T&& v)
{
    using D = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<D, std::any>) {
        return v.has_value() ? std::any(std::forward<T>(v)) : std::any(AnyEmpty{});
    } else if constexpr (std::is_same_v<D, std::nullptr_t> || std::is_same_v<D, std::nullopt_t>) {
        return AnyEmpty{};
    } else if constexpr (requires {
                             v.has_value();
                             *v;
                             typename D::value_type;
                         }) {
        return v.has_value() ? hold(*std::forward<T>(v)) : std::any(AnyEmpty{});
    } else if constexpr (std::is_same_v<D, int>) {
        return static_cast<AnyInt>(v);  // an integer literal is the machine-word kind
    } else if constexpr (std::is_convertible_v<T, std::string_view> && !std::is_same_v<D, std::string>) {
        return std::string(std::string_view(v));
    } else {
        return std::any(D(std::forward<T>(v)));
    }
}

struct CodableTag {
    static constexpr const char* name = "AnyCodable";
    static constexpr bool encodable = true;
    static constexpr bool decodable = true;
};
struct EncodableTag {
    static constexpr const char* name = "AnyEncodable";
    static constexpr bool encodable = true;
    static constexpr bool decodable = false;
};
struct DecodableTag {
    static constexpr const char* name = "AnyDecodable";
    static constexpr bool encodable = false;
    static constexpr bool decodable = true;
};

template <class Tag>
class AnyValue;

template <class T>
struct IsAnyValue : std::false_type {
};
template <class Tag>
struct IsAnyValue<AnyValue<Tag>> : std::true_type {
};

// One wrapper type per tag. Literal construction (implicit conversion from a plain value, list and map
// literals) belongs to the encodable wrappers; every wrapper can be made explicitly from a value.
template <class Tag>
class AnyValue {
public:
    AnyValue() : value_(AnyEmpty{}) {}

    template <class T>
    requires(!std::is_same_v<std::remove_cvref_t<T>, AnyValue>) explicit(!Tag::encodable ||
                                                                         IsAnyValue<std::remove_cvref_t<T>>::value)
        AnyValue(T&& v)
        : value_(hold(std::forward<T>(v)))
    {
    }

    // [a, b, c]: the list of the literals' bare values.
    static AnyValue list(std::initializer_list<AnyValue> items) requires Tag::encodable
    {
        std::vector<std::any> bare;
        for (const auto& item : items) bare.push_back(item.value_);
        return AnyValue(Raw{}, listLiteral(std::move(bare)));
    }

    // [k: v, ...]: a repeated key keeps its first value.
    static AnyValue map(std::initializer_list<std::pair<AnyValue, AnyValue>> entries) requires Tag::encodable
    {
        std::vector<std::pair<std::any, std::any>> bare;
        for (const auto& [k, v] : entries) bare.emplace_back(k.value_, v.value_);
        return AnyValue(Raw{}, mapLiteral(std::move(bare)));
    }

    const std::any& value() const { return value_; }

    // The held value when it is of kind T.
    template <class T>
    const T* get() const
    {
        return std::any_cast<T>(&value_);
    }
    bool isEmpty() const { return get<AnyEmpty>() != nullptr; }

    CodingResult<nlohmann::json> encode(const CodingPath& path = {}) const requires Tag::encodable
    {
        return any_coding::encode(value_, path);
    }

    static CodingResult<AnyValue> decode(const nlohmann::json& json,
                                         const CodingPath& path = {}) requires Tag::decodable
    {
        auto held = any_coding::decode(json, path);
        if (!held) return held.error();
        return AnyValue(Raw{}, *held);
    }

    // Decodes JSON text; text that is not JSON, or is nested more than kMaxJsonNesting deep, is a
    // data-corrupted error.
    static CodingResult<AnyValue> parse(std::string_view jsonText) requires Tag::decodable
    {
        auto parsed = parseBoundedJson<nlohmann::json>(jsonText);
        if (parsed.is_discarded())
            return CodingError{CodingError::Kind::dataCorrupted, {}, "The given data was not valid JSON.", {}};
        return decode(parsed);
    }

    std::string description() const { return any_coding::description(value_); }
    std::string debugDescription() const { return std::string(Tag::name) + "(" + any_coding::debugText(value_) + ")"; }

    friend bool operator==(const AnyValue& a, const AnyValue& b) { return any_coding::equal(a.value_, b.value_); }

private:
    struct Raw {};
    AnyValue(Raw, std::any held) : value_(std::move(held)) {}

    std::any value_;
};

}  // namespace any_coding

using AnyCodable = any_coding::AnyValue<any_coding::CodableTag>;
using AnyEncodable = any_coding::AnyValue<any_coding::EncodableTag>;
using AnyDecodable = any_coding::AnyValue<any_coding::DecodableTag>;

}  // namespace vandrel
