#include "model/vd_key_setting.h"

#include <array>
#include <string_view>

#include "core/json_limits.h"

namespace vandrel {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<std::string_view, 7> kParamKinds{
    "times", "keyId", "windowBindingId", "windowBindingKeys", "interval", "multiple", "none"};
// As deep as the parameter decoder goes: each multiple is two levels of JSON, its object and its list.
constexpr int kMaxNesting = kMaxJsonNesting / 2;

// A parameter written by a newer build (say {"color": 3}) would read as none and be saved back as none; the
// binding is refused instead, so what is stored stays as it is.
bool namesKnownKinds(const Json& param, int depth)
{
    if (!param.is_object() || param.empty()) return true;
    bool known = false;
    for (const auto& kind : kParamKinds) known = known || param.contains(kind);
    if (!known) return false;
    auto multiple = param.find("multiple");
    if (multiple == param.end() || !multiple->is_array()) return true;
    if (depth >= kMaxNesting) return true;
    for (const auto& inner : *multiple)
        if (!namesKnownKinds(inner, depth + 1)) return false;
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether the key id starts with a digit once blanks and a plus sign are skipped ("0x1f" starts with 0).
bool hasHexDigit(std::string_view id)
{
    std::size_t i = 0;
    while (i < id.size() && isBlank(id[i])) ++i;
    if (i < id.size() && id[i] == '+') ++i;
    return i < id.size() && isHexDigit(id[i]);
}

const Json* member(const Json& json, const char* name)
{
    auto it = json.find(name);
    return it == json.end() ? nullptr : &*it;
}

}  // namespace

VDKeySetting::VDKeySetting(VDKey key, VDActionPtr action, std::vector<VDAtomicActionParam> paramSequence)
    : key_(std::move(key)),
      action_(action ? std::move(action) : VDAction::placeholder("noAction")),
      paramSequence_(std::move(paramSequence))
{
}

VDKeySettingPtr VDKeySetting::make(VDKey key, VDActionPtr action, std::vector<VDAtomicActionParam> paramSequence)
{
    return std::make_shared<const VDKeySetting>(std::move(key), std::move(action), std::move(paramSequence));
}

nlohmann::ordered_json VDKeySetting::toJson() const
{
    return Json{{"key", key_.toJson()},
                {"action", action_->toJson()},
                {"paramSequence", VDAtomicActionParam::sequenceToJson(paramSequence_)}};
}

DecodeResult<VDKeySettingPtr> VDKeySetting::fromJson(const nlohmann::ordered_json& json)
{
    if (!json.is_object()) return DecodeError{"key setting: expected an object"};
    const Json* keyJson = member(json, "key");
    if (!keyJson) return DecodeError{"key setting: missing \"key\""};
    auto key = VDKey::fromJson(*keyJson);
    if (!key) return DecodeError{"key setting: " + key.error()};
    const auto& id = keyJson->at("id").get_ref<const std::string&>();
    if (!hasHexDigit(id)) return DecodeError{"key setting: key id \"" + excerpt(id) + "\" has no hexadecimal digit"};

    const Json* actionJson = member(json, "action");
    if (!actionJson) return DecodeError{"key setting: missing \"action\""};
    auto stub = VDAction::fromJson(*actionJson);
    if (!stub) return DecodeError{"key setting: " + stub.error()};
    // The stub already does nothing and keeps the idName: it stands in for an action this build lacks.
    VDActionPtr action = VDAction::registered(stub.value()->idName());
    if (!action) action = std::move(stub).value();

    const Json* paramsJson = member(json, "paramSequence");
    if (!paramsJson) return DecodeError{"key setting: missing \"paramSequence\""};
    if (paramsJson->is_array()) {
        for (const auto& param : *paramsJson)
            if (!namesKnownKinds(param, 0))
                return DecodeError{"key setting: unknown parameter kind " + jsonExcerpt(param)};
    }
    auto params = VDAtomicActionParam::sequenceFromJson(*paramsJson);
    if (!params) return DecodeError{"key setting: " + params.error()};
    return make(std::move(key).value(), std::move(action), std::move(params).value());
}

void VDKeySetting::hash(Hasher& hasher) const
{
    hasher.combine(key_.keybit());
    hasher.combine(std::string_view(action_->idName()));
    hasher.combine(static_cast<std::int64_t>(paramSequence_.size()));
    for (const auto& param : paramSequence_) hasher.combine(static_cast<std::int64_t>(param.hashValue()));
}

std::uint64_t VDKeySetting::hashValue() const
{
    Hasher hasher;
    hash(hasher);
    return hasher.finalize();
}

bool VDKeySetting::operator==(const VDKeySetting& other) const
{
    if (key_.keybit() != other.key_.keybit() || action_->idName() != other.action_->idName() ||
        paramSequence_.size() != other.paramSequence_.size())
        return false;
    // Parameters count as equal when they hash alike; comparing the hashed texts is that without collisions.
    for (std::size_t i = 0; i < paramSequence_.size(); ++i)
        if (paramSequence_[i].hashTexts() != other.paramSequence_[i].hashTexts()) return false;
    return true;
}

std::string VDKeySetting::description() const
{
    std::string params;
    for (std::size_t i = 0; i < paramSequence_.size(); ++i) params += (i ? ", " : "") + paramSequence_[i].description();
    return "VDKeySetting(" + key_.id() + ", " + action_->idName() + ", [" + params + "])";
}

}  // namespace vandrel
