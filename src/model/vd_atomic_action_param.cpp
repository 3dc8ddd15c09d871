#include "model/vd_atomic_action_param.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/json_limits.h"

namespace vandrel {

namespace {

// Deeper nesting than any scheme uses is refused instead of recursing without bound; each multiple is two
// levels of JSON (its object and its list).
constexpr int kMaxNesting = kMaxJsonNesting / 2;

using Json = nlohmann::ordered_json;

// An integer member: whole numbers only, also when written with a fraction part of zero.
std::optional<std::int64_t> integerOf(const Json& v)
{
    if (v.is_number_integer()) {
        if (v.is_number_unsigned() &&
            v.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return v.get<std::int64_t>();
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

}  // namespace

std::string shortestDoubleText(double value)
{
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    auto result =
        std::to_chars(buf, buf + sizeof buf, value, plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buf, result.ptr);
    if (plain && text.find('.') == std::string::npos) text += ".0";
    return text;
}

bool VDAtomicActionParam::Multiple::operator==(const Multiple& other) const
{
    return value == other.value;
}

VDAtomicActionParam VDAtomicActionParam::times(std::int64_t count)
{
    return VDAtomicActionParam(Times{count});
}
VDAtomicActionParam VDAtomicActionParam::keyId(std::string id)
{
    return VDAtomicActionParam(KeyId{std::move(id)});
}
VDAtomicActionParam VDAtomicActionParam::windowBindingId(std::int64_t slot)
{
    return VDAtomicActionParam(WindowBindingId{slot});
}
VDAtomicActionParam VDAtomicActionParam::windowBindingKeys(WindowBindingKeys keys)
{
    return VDAtomicActionParam(std::move(keys));
}
VDAtomicActionParam VDAtomicActionParam::interval(double value)
{
    return VDAtomicActionParam(Interval{value});
}
VDAtomicActionParam VDAtomicActionParam::multiple(std::vector<VDAtomicActionParam> params)
{
    return VDAtomicActionParam(Multiple{std::move(params)});
}

std::optional<std::int64_t> VDAtomicActionParam::timesValue() const
{
    if (auto* v = std::get_if<Times>(&value_)) return v->value;
    return std::nullopt;
}

std::optional<std::string> VDAtomicActionParam::keyIdValue() const
{
    if (auto* v = std::get_if<KeyId>(&value_)) return v->value;
    return std::nullopt;
}

std::optional<std::int64_t> VDAtomicActionParam::windowBindingIdValue() const
{
    if (auto* v = std::get_if<WindowBindingId>(&value_)) return v->value;
    return std::nullopt;
}

std::optional<WindowBindingKeys> VDAtomicActionParam::windowBindingKeysValue() const
{
    if (auto* v = std::get_if<WindowBindingKeys>(&value_)) return *v;
    return std::nullopt;
}

std::optional<double> VDAtomicActionParam::intervalValue() const
{
    if (auto* v = std::get_if<Interval>(&value_)) return v->value;
    return std::nullopt;
}

std::optional<std::vector<VDAtomicActionParam>> VDAtomicActionParam::multipleValue() const
{
    if (auto* v = std::get_if<Multiple>(&value_)) return v->value;
    return std::nullopt;
}

nlohmann::ordered_json VDAtomicActionParam::toJson() const
{
    return std::visit(
        [](const auto& v) -> Json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Times>)
                return Json{{"times", v.value}};
            else if constexpr (std::is_same_v<T, KeyId>)
                return Json{{"keyId", v.value}};
            else if constexpr (std::is_same_v<T, WindowBindingId>)
                return Json{{"windowBindingId", v.value}};
            else if constexpr (std::is_same_v<T, WindowBindingKeys>)
                return Json{{"windowBindingKeys", v.toJson()}};
            else if constexpr (std::is_same_v<T, Interval>)
                return Json{{"interval", v.value}};
            else if constexpr (std::is_same_v<T, Multiple>)
                return Json{{"multiple", sequenceToJson(v.value)}};
            else
                return Json{{"none", nullptr}};
        },
        value_);
}

nlohmann::ordered_json VDAtomicActionParam::sequenceToJson(const std::vector<VDAtomicActionParam>& params)
{
    Json array = Json::array();
    for (const auto& p : params) array.push_back(p.toJson());
    return array;
}

DecodeResult<VDAtomicActionParam> VDAtomicActionParam::fromJson(const nlohmann::ordered_json& json)
{
    return decode(json, 0);
}

DecodeResult<std::vector<VDAtomicActionParam>> VDAtomicActionParam::sequenceFromJson(const nlohmann::ordered_json& json)
{
    if (!json.is_array()) return DecodeError{"parameters: expected an array"};
    std::vector<VDAtomicActionParam> out;
    for (const auto& item : json) {
        auto p = decode(item, 0);
        if (!p) return DecodeError{p.error()};
        out.push_back(std::move(p).value());
    }
    return out;
}

DecodeResult<VDAtomicActionParam> VDAtomicActionParam::decode(const nlohmann::ordered_json& json, int depth)
{
    if (!json.is_object()) return DecodeError{"parameter: expected an object"};
    auto present = [&](const char* name) -> const Json* {
        auto it = json.find(name);
        return it == json.end() || it->is_null() ? nullptr : &*it;
    };
    if (const Json* v = present("times")) {
        auto n = integerOf(*v);
        if (!n) return DecodeError{"parameter: \"times\" is not an integer"};
        return times(*n);
    }
    if (const Json* v = present("keyId")) {
        if (!v->is_string()) return DecodeError{"parameter: \"keyId\" is not text"};
        return keyId(v->get<std::string>());
    }
    if (const Json* v = present("windowBindingId")) {
        auto n = integerOf(*v);
        if (!n) return DecodeError{"parameter: \"windowBindingId\" is not an integer"};
        return windowBindingId(*n);
    }
    if (const Json* v = present("windowBindingKeys")) {
        auto keys = WindowBindingKeys::fromJson(*v);
        if (!keys) return DecodeError{"parameter: " + keys.error()};
        return windowBindingKeys(std::move(keys).value());
    }
    if (const Json* v = present("interval")) {
        if (!v->is_number()) return DecodeError{"parameter: \"interval\" is not a number"};
        return interval(v->get<double>());
    }
    if (const Json* v = present("multiple")) {
        if (!v->is_array()) return DecodeError{"parameter: \"multiple\" is not an array"};
        if (depth >= kMaxNesting) return DecodeError{"parameter: \"multiple\" nested too deeply"};
        std::vector<VDAtomicActionParam> items;
        for (const auto& item : *v) {
            auto p = decode(item, depth + 1);
            if (!p) return DecodeError{p.error()};
            items.push_back(std::move(p).value());
        }
        return multiple(std::move(items));
    }
    return none();
}

void VDAtomicActionParam::appendHashTexts(std::vector<std::string>& out) const
{
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Times>)
                out.push_back("times:" + std::to_string(v.value));
            else if constexpr (std::is_same_v<T, KeyId>)
                out.push_back("keyId:" + v.value);
            else if constexpr (std::is_same_v<T, WindowBindingId>)
                out.push_back("windowBindingId:" + std::to_string(v.value));
            else if constexpr (std::is_same_v<T, WindowBindingKeys>)
                out.push_back("windowBindingKeys:" + v.description());
            else if constexpr (std::is_same_v<T, Interval>)
                out.push_back("interval:" + shortestDoubleText(v.value));
            else if constexpr (std::is_same_v<T, Multiple>)
                for (const auto& p : v.value) p.appendHashTexts(out);
            else
                out.push_back("none");
        },
        value_);
}

std::vector<std::string> VDAtomicActionParam::hashTexts() const
{
    std::vector<std::string> out;
    appendHashTexts(out);
    return out;
}

void VDAtomicActionParam::hash(Hasher& hasher) const
{
    for (const auto& text : hashTexts()) hasher.combine(text);
}

std::uint64_t VDAtomicActionParam::hashValue() const
{
    Hasher h;
    hash(h);
    return h.finalize();
}

std::string VDAtomicActionParam::description() const
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Times>)
                return "times(" + std::to_string(v.value) + ")";
            else if constexpr (std::is_same_v<T, KeyId>)
                return "keyId(" + v.value + ")";
            else if constexpr (std::is_same_v<T, WindowBindingId>)
                return "windowBindingId(" + std::to_string(v.value) + ")";
            else if constexpr (std::is_same_v<T, WindowBindingKeys>)
                return "windowBindingKeys(" + v.description() + ")";
            else if constexpr (std::is_same_v<T, Interval>)
                return "interval(" + shortestDoubleText(v.value) + ")";
            else if constexpr (std::is_same_v<T, Multiple>) {
                std::string out = "multiple([";
                for (std::size_t i = 0; i < v.value.size(); ++i) out += (i ? ", " : "") + v.value[i].description();
                return out + "])";
            } else
                return "none";
        },
        value_);
}

}  // namespace vandrel
