#include "core/any_codable.h"

#include <QDateTime>
#include <QString>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <typeinfo>

#include "core/json_limits.h"

namespace vandrel {

std::string CodingError::description() const
{
    std::string path;
    for (const auto& part : codingPath) path += (path.empty() ? "" : ".") + part;
    const char* kindText = kind == Kind::dataCorrupted ? "dataCorrupted" : "invalidValue";
    return std::string(kindText) + " at [" + path + "]: " + debugDescription;
}

namespace any_coding {

namespace {

constexpr const char* kCannotDecode = "AnyCodable value cannot be decoded";
constexpr const char* kCannotEncode = "AnyCodable value cannot be encoded";

// A wrapper held inside a wrapper stands for its own held value.
const std::any& unwrapped(const std::any& v)
{
    if (auto* w = std::any_cast<AnyCodable>(&v)) return unwrapped(w->value());
    if (auto* w = std::any_cast<AnyEncodable>(&v)) return unwrapped(w->value());
    if (auto* w = std::any_cast<AnyDecodable>(&v)) return unwrapped(w->value());
    return v;
}

template <class W>
bool appendWrapperList(const std::any& v, std::optional<AnyList>& out)
{
    if (auto* list = std::any_cast<std::vector<W>>(&v)) {
        AnyList items;
        for (const auto& w : *list) items.push_back(w.value());
        out = std::move(items);
        return true;
    }
    return false;
}

// The elements of any list kind: a list of bare values or a list of wrappers.
std::optional<AnyList> listElements(const std::any& v)
{
    if (auto* list = std::any_cast<AnyList>(&v)) return *list;
    std::optional<AnyList> out;
    appendWrapperList<AnyCodable>(v, out) || appendWrapperList<AnyEncodable>(v, out) ||
        appendWrapperList<AnyDecodable>(v, out);
    return out;
}

template <class W>
bool appendWrapperMap(const std::any& v, std::optional<AnyMap>& out)
{
    if (auto* map = std::any_cast<std::map<std::string, W>>(&v)) {
        AnyMap items;
        for (const auto& [k, w] : *map) items.emplace(k, w.value());
        out = std::move(items);
        return true;
    }
    return false;
}

// The entries of any text-keyed map kind; a keyed map counts when every key is text.
std::optional<AnyMap> mapEntries(const std::any& v)
{
    if (auto* map = std::any_cast<AnyMap>(&v)) return *map;
    if (auto* keyed = std::any_cast<AnyKeyedMap>(&v)) {
        AnyMap items;
        for (const auto& [k, value] : *keyed) {
            auto* key = std::any_cast<std::string>(&unwrapped(k));
            if (!key) return std::nullopt;
            items.emplace(*key, value);
        }
        return items;
    }
    std::optional<AnyMap> out;
    appendWrapperMap<AnyCodable>(v, out) || appendWrapperMap<AnyEncodable>(v, out) ||
        appendWrapperMap<AnyDecodable>(v, out);
    return out;
}

std::string dateText(const AnyDate& date)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

std::string numberText(double d)
{
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
    std::string text(buf, ec == std::errc() ? end : buf);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

template <class T>
bool isKind(const std::any& v)
{
    return v.type() == typeid(T);
}

template <class T>
std::optional<nlohmann::json> scalarJson(const std::any& v)
{
    if (auto* x = std::any_cast<T>(&v)) return nlohmann::json(*x);
    return std::nullopt;
}

CodingError invalidValue(const std::any& value, const CodingPath& path, std::string why = kCannotEncode)
{
    return CodingError{CodingError::Kind::invalidValue, path, std::move(why), value};
}

template <class T>
bool equalAs(const std::any& a, const std::any& b, bool& result)
{
    auto* x = std::any_cast<T>(&a);
    auto* y = std::any_cast<T>(&b);
    if (!x || !y) return false;
    result = (*x == *y);
    return true;
}

template <class T>
std::optional<std::string> integerText(const std::any& v)
{
    if (auto* x = std::any_cast<T>(&v))
        return std::to_string(static_cast<std::conditional_t<std::is_signed_v<T>, long long, unsigned long long>>(*x));
    return std::nullopt;
}

std::optional<std::string> scalarText(const std::any& v)
{
    if (isKind<AnyEmpty>(v) || !v.has_value()) return std::string("nil");
    if (auto* b = std::any_cast<bool>(&v)) return std::string(*b ? "true" : "false");
    for (auto text : {integerText<AnyInt>(v), integerText<std::int8_t>(v), integerText<std::int16_t>(v),
                      integerText<std::int32_t>(v), integerText<std::int64_t>(v), integerText<AnyUInt>(v),
                      integerText<std::uint8_t>(v), integerText<std::uint16_t>(v), integerText<std::uint32_t>(v),
                      integerText<std::uint64_t>(v)}) {
        if (text) return text;
    }
    if (auto* f = std::any_cast<float>(&v)) return numberText(*f);
    if (auto* d = std::any_cast<double>(&v)) return numberText(*d);
    if (auto* date = std::any_cast<AnyDate>(&v)) return dateText(*date);
    if (auto* url = std::any_cast<QUrl>(&v)) return url->toString().toStdString();
    return std::nullopt;
}

std::string quoted(const std::string& text)
{
    return nlohmann::json(text).dump();
}

std::string render(const std::any& raw, bool debug)
{
    const std::any& v = unwrapped(raw);
    if (auto* s = std::any_cast<std::string>(&v)) return debug ? quoted(*s) : *s;
    if (auto text = scalarText(v)) return *text;
    if (auto list = listElements(v)) {
        std::string out = "[";
        for (std::size_t i = 0; i < list->size(); ++i) out += (i ? ", " : "") + render((*list)[i], true);
        return out + "]";
    }
    if (auto* keyed = std::any_cast<AnyKeyedMap>(&v)) {
        if (keyed->empty()) return "[:]";
        std::string out = "[";
        for (std::size_t i = 0; i < keyed->size(); ++i)
            out += (i ? ", " : "") + render((*keyed)[i].first, true) + ": " + render((*keyed)[i].second, true);
        return out + "]";
    }
    if (auto map = mapEntries(v)) {
        if (map->empty()) return "[:]";
        std::string out = "[";
        bool first = true;
        for (const auto& [k, value] : *map) {
            out += (first ? "" : ", ") + quoted(k) + ": " + render(value, true);
            first = false;
        }
        return out + "]";
    }
    return std::string("<") + v.type().name() + ">";
}

}  // namespace

CodingResult<nlohmann::json> encode(const std::any& raw, const CodingPath& path)
{
    const std::any& v = unwrapped(raw);
    if (!v.has_value() || isKind<AnyEmpty>(v)) return nlohmann::json(nullptr);
    for (auto json :
         {scalarJson<bool>(v), scalarJson<AnyInt>(v), scalarJson<std::int8_t>(v), scalarJson<std::int16_t>(v),
          scalarJson<std::int32_t>(v), scalarJson<std::int64_t>(v), scalarJson<AnyUInt>(v), scalarJson<std::uint8_t>(v),
          scalarJson<std::uint16_t>(v), scalarJson<std::uint32_t>(v), scalarJson<std::uint64_t>(v)}) {
        if (json) return *json;
    }
    if (isKind<float>(v) || isKind<double>(v)) {
        const double d = isKind<float>(v) ? std::any_cast<float>(v) : std::any_cast<double>(v);
        // JSON has no spelling for these; writing null instead would silently change the value.
        if (!std::isfinite(d)) return invalidValue(v, path, "Unable to encode " + numberText(d) + " directly in JSON.");
        return nlohmann::json(d);
    }
    if (auto* s = std::any_cast<std::string>(&v)) return nlohmann::json(*s);
    if (auto* date = std::any_cast<AnyDate>(&v)) return nlohmann::json(dateText(*date));
    if (auto* url = std::any_cast<QUrl>(&v)) return nlohmann::json(url->toString(QUrl::FullyEncoded).toStdString());
    if (auto list = listElements(v)) {
        auto out = nlohmann::json::array();
        for (std::size_t i = 0; i < list->size(); ++i) {
            CodingPath elementPath = path;
            elementPath.push_back("Index " + std::to_string(i));
            auto element = encode((*list)[i], elementPath);
            if (!element) return element.error();
            out.push_back(*element);
        }
        return out;
    }
    if (auto map = mapEntries(v)) {
        auto out = nlohmann::json::object();
        for (const auto& [key, value] : *map) {
            CodingPath elementPath = path;
            elementPath.push_back(key);
            auto element = encode(value, elementPath);
            if (!element) return element.error();
            out[key] = *element;
        }
        return out;
    }
    return invalidValue(v, path);
}

namespace {

CodingResult<std::any> decodeAt(const nlohmann::json& json, const CodingPath& path, int depth)
{
    using T = nlohmann::json::value_t;
    switch (json.type()) {
        case T::null:
            return std::any(AnyEmpty{});
        case T::boolean:
            return std::any(json.get<bool>());
        case T::number_integer:
            return std::any(static_cast<AnyInt>(json.get<std::int64_t>()));
        case T::number_unsigned: {
            const auto u = json.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<AnyInt>::max()))
                return std::any(static_cast<AnyInt>(u));
            return std::any(static_cast<AnyUInt>(u));
        }
        case T::number_float:
            return std::any(json.get<double>());
        case T::string:
            return std::any(json.get<std::string>());
        case T::array: {
            if (depth >= kMaxJsonNesting) break;  // deeper than any reader may recurse
            AnyList items;
            for (std::size_t i = 0; i < json.size(); ++i) {
                auto element = decodeAt(json[i], {}, depth + 1);
                if (!element) break;  // the whole list fails; reported at the list's own position
                items.push_back(*element);
            }
            if (items.size() == json.size()) return std::any(std::move(items));
            break;
        }
        case T::object: {
            if (depth >= kMaxJsonNesting) break;
            AnyMap items;
            bool failed = false;
            for (const auto& [key, value] : json.items()) {
                auto element = decodeAt(value, {}, depth + 1);
                if (!element) {
                    failed = true;
                    break;
                }
                items.emplace(key, *element);
            }
            if (!failed) return std::any(std::move(items));
            break;
        }
        default:
            break;
    }
    return CodingError{CodingError::Kind::dataCorrupted, path, kCannotDecode, {}};
}

}  // namespace

CodingResult<std::any> decode(const nlohmann::json& json, const CodingPath& path)
{
    return decodeAt(json, path, 0);
}

bool equal(const std::any& rawA, const std::any& rawB)
{
    const std::any& a = unwrapped(rawA);
    const std::any& b = unwrapped(rawB);
    const bool emptyA = !a.has_value() || isKind<AnyEmpty>(a);
    const bool emptyB = !b.has_value() || isKind<AnyEmpty>(b);
    if (emptyA || emptyB) return emptyA && emptyB;

    bool result = false;
    if (equalAs<bool>(a, b, result) || equalAs<AnyInt>(a, b, result) || equalAs<std::int8_t>(a, b, result) ||
        equalAs<std::int16_t>(a, b, result) || equalAs<std::int32_t>(a, b, result) ||
        equalAs<std::int64_t>(a, b, result) || equalAs<AnyUInt>(a, b, result) || equalAs<std::uint8_t>(a, b, result) ||
        equalAs<std::uint16_t>(a, b, result) || equalAs<std::uint32_t>(a, b, result) ||
        equalAs<std::uint64_t>(a, b, result) || equalAs<float>(a, b, result) || equalAs<double>(a, b, result) ||
        equalAs<AnyDate>(a, b, result) || equalAs<QUrl>(a, b, result)) {
        return result;
    }
    if (auto* x = std::any_cast<std::string>(&a)) {
        auto* y = std::any_cast<std::string>(&b);
        if (!y) return false;
        if (*x == *y) return true;
        return QString::fromStdString(*x).normalized(QString::NormalizationForm_C) ==
               QString::fromStdString(*y).normalized(QString::NormalizationForm_C);
    }
    if (auto mapA = mapEntries(a)) {
        auto mapB = mapEntries(b);
        if (!mapB || mapA->size() != mapB->size()) return false;
        for (const auto& [key, value] : *mapA) {
            auto it = mapB->find(key);
            if (it == mapB->end() || !equal(value, it->second)) return false;
        }
        return true;
    }
    if (auto listA = listElements(a)) {
        auto listB = listElements(b);
        if (!listB || listA->size() != listB->size()) return false;
        for (std::size_t i = 0; i < listA->size(); ++i) {
            if (!equal((*listA)[i], (*listB)[i])) return false;
        }
        return true;
    }
    if (auto* x = std::any_cast<AnyKeyedMap>(&a)) {
        auto* y = std::any_cast<AnyKeyedMap>(&b);
        if (!y || x->size() != y->size()) return false;
        for (const auto& [key, value] : *x) {
            auto it = std::find_if(y->begin(), y->end(), [&](const auto& e) { return equal(e.first, key); });
            if (it == y->end() || !equal(value, it->second)) return false;
        }
        return true;
    }
    return false;
}

std::string description(const std::any& value)
{
    return render(value, false);
}

std::string debugText(const std::any& value)
{
    return render(value, true);
}

std::any listLiteral(std::vector<std::any> items)
{
    return AnyList(std::move(items));
}

std::any mapLiteral(std::vector<std::pair<std::any, std::any>> entries)
{
    AnyKeyedMap unique;
    for (auto& [key, value] : entries) {
        const bool seen = std::any_of(unique.begin(), unique.end(), [&](const auto& e) { return equal(e.first, key); });
        if (!seen) unique.emplace_back(std::move(key), std::move(value));
    }
    const bool allText = std::all_of(unique.begin(), unique.end(),
                                     [](const auto& e) { return std::any_cast<std::string>(&e.first) != nullptr; });
    if (!allText) return unique;
    AnyMap map;
    for (auto& [key, value] : unique) map.emplace(std::any_cast<std::string>(key), std::move(value));
    return map;
}

}  // namespace any_coding
}  // namespace vandrel
