#include "model/vd_key_scheme.h"

#include <exception>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "core/defaults.h"
#include "core/json_limits.h"
#include "model/key_scheme_store.h"

namespace vandrel {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kBuiltIn = "Built-in";
constexpr std::string_view kForApp = "For App";
constexpr std::string_view kCustom = "Custom";
constexpr std::string_view kV20190601 = "v20190601";

DecodeResult<std::string> textMember(const Json& json, const char* name)
{
    auto it = json.find(name);
    if (it == json.end()) return DecodeError{std::string("key scheme: missing \"") + name + "\""};
    if (!it->is_string()) return DecodeError{std::string("key scheme: \"") + name + "\" is not text"};
    return it->get<std::string>();
}

// Each new name paired with the one before it. The pair is emitted with no lock held: subscribers (the key
// service) take their own locks, and a lock held across the emission would order theirs after it.
rx::Observable<VDKeyScheme::NamePair> renamesOf(rx::Observable<std::string> names)
{
    return rx::Observable<VDKeyScheme::NamePair>([names](rx::Observer<VDKeyScheme::NamePair> observer) {
        struct Previous {
            std::mutex mutex;
            std::optional<std::string> name;
        };
        auto previous = std::make_shared<Previous>();
        return names.subscribe([previous, observer](const std::string& name) {
            std::optional<VDKeyScheme::NamePair> renamed;
            {
                std::lock_guard lock(previous->mutex);
                if (previous->name) renamed.emplace(*previous->name, name);
                previous->name = name;
            }
            if (renamed) observer.next(*renamed);
        });
    });
}

}  // namespace

std::string_view rawValue(VDKeySchemeType type)
{
    switch (type) {
        case VDKeySchemeType::builtIn:
            return kBuiltIn;
        case VDKeySchemeType::forApp:
            return kForApp;
        case VDKeySchemeType::custom:
            return kCustom;
    }
    return kCustom;
}

std::optional<VDKeySchemeType> keySchemeTypeFromRawValue(std::string_view text)
{
    if (text == kBuiltIn) return VDKeySchemeType::builtIn;
    if (text == kForApp) return VDKeySchemeType::forApp;
    if (text == kCustom) return VDKeySchemeType::custom;
    return std::nullopt;
}

std::string_view rawValue(VDKeySchemeVersion)
{
    return kV20190601;
}

std::optional<VDKeySchemeVersion> keySchemeVersionFromRawValue(std::string_view text)
{
    if (text == kV20190601) return VDKeySchemeVersion::v20190601;
    return std::nullopt;
}

VDKeyScheme::VDKeyScheme(Passkey, std::string name, std::string desc, VDKeySchemeType type, KeySettings keySettings,
                         std::set<std::string> forAppBundleIds)
    : name(std::move(name)),
      previousAndCurrentName(renamesOf(this->name.asObservable())),
      keySettings(std::move(keySettings)),
      desc_(std::move(desc)),
      type_(type),
      forAppBundleIds_(type == VDKeySchemeType::forApp ? std::move(forAppBundleIds) : std::set<std::string>{})
{
}

VDKeySchemePtr VDKeyScheme::make(std::string name, std::string desc, VDKeySchemeType type, KeySettings keySettings,
                                 std::set<std::string> forAppBundleIds)
{
    // A null entry would break every reader of the list; there is nothing to bind it to.
    std::erase(keySettings, nullptr);
    auto scheme = std::make_shared<VDKeyScheme>(Passkey{}, std::move(name), std::move(desc), type,
                                                std::move(keySettings), std::move(forAppBundleIds));
    std::weak_ptr<VDKeyScheme> weak = scheme;
    scheme->keySettings
        .subscribe([weak](const KeySettings& settings) {
            if (auto self = weak.lock()) self->updateConflicts(settings);
        })
        .disposed(scheme->disposeBag);
    return scheme;
}

void VDKeyScheme::updateConflicts(const KeySettings& settings)
{
    std::unordered_set<VDKey> seen;
    std::unordered_set<VDKey> repeated;
    std::vector<VDKey> conflictingKeys;
    for (const auto& setting : settings) {
        if (!seen.insert(setting->key()).second && repeated.insert(setting->key()).second)
            conflictingKeys.push_back(setting->key());
    }
    KeySettings conflictingSettings;
    for (const auto& setting : settings)
        if (repeated.count(setting->key())) conflictingSettings.push_back(setting);
    conflictingHotkeys.accept(conflictingKeys);
    conflictingKeySettings.accept(conflictingSettings);
    computeAllGroupsOfSettings();
}

void VDKeyScheme::computeAllGroupsOfSettings()
{
    std::unordered_set<VDActionGroup> used;
    for (const auto& setting : keySettings.value()) used.insert(setting->action()->group());
    std::vector<VDActionGroup> groups;
    for (const auto& group : VDActionGroup::sortedGroups())
        if (used.count(group)) groups.push_back(group);
    std::lock_guard lock(groupsMutex_);
    allSettingsGroups_ = std::move(groups);
}

std::vector<VDActionGroup> VDKeyScheme::allSettingsGroups() const
{
    std::lock_guard lock(groupsMutex_);
    return allSettingsGroups_;
}

std::unordered_map<VDActionGroup, VDKeyScheme::KeySettings> VDKeyScheme::groupToSettingsDictionary() const
{
    std::unordered_map<VDActionGroup, KeySettings> groups;
    for (const auto& setting : keySettings.value()) groups[setting->action()->group()].push_back(setting);
    return groups;
}

void VDKeyScheme::replace(const VDKeySetting& oldSetting, VDKeySettingPtr newSetting)
{
    if (!newSetting) return;
    auto settings = keySettings.value();
    for (auto& setting : settings) {
        if (*setting == oldSetting) {
            setting = std::move(newSetting);
            keySettings.accept(settings);
            return;
        }
    }
}

bool VDKeyScheme::writeIntoUserDefaults() const
{
    return KeySchemeStore::write(*this, Defaults());
}

nlohmann::ordered_json VDKeyScheme::toJson() const
{
    Json settings = Json::array();
    for (const auto& setting : keySettings.value()) settings.push_back(setting->toJson());
    Json bundleIds = Json::array();
    for (const auto& id : forAppBundleIds_) bundleIds.push_back(id);
    return Json{{"version", rawValue(version)},
                {"name", name.value()},
                {"desc", desc_},
                {"type", rawValue(type_)},
                {"keySettings", std::move(settings)},
                {"forAppBundleIds", std::move(bundleIds)}};
}

std::optional<std::string> VDKeyScheme::toJsonText(std::string* error) const
{
    try {
        return toJson().dump();
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return std::nullopt;
    }
}

DecodeResult<VDKeySchemePtr> VDKeyScheme::fromJson(const nlohmann::ordered_json& json)
{
    if (!json.is_object()) return DecodeError{"key scheme: expected an object"};

    auto versionText = textMember(json, "version");
    if (!versionText) return DecodeError{versionText.error()};
    if (!keySchemeVersionFromRawValue(versionText.value()))
        return DecodeError{"key scheme: unknown version \"" + excerpt(versionText.value()) + "\""};

    auto schemeName = textMember(json, "name");
    if (!schemeName) return DecodeError{schemeName.error()};
    auto desc = textMember(json, "desc");
    if (!desc) return DecodeError{desc.error()};
    auto typeText = textMember(json, "type");
    if (!typeText) return DecodeError{typeText.error()};
    auto type = keySchemeTypeFromRawValue(typeText.value());
    if (!type) return DecodeError{"key scheme: unknown type \"" + excerpt(typeText.value()) + "\""};

    auto settingsJson = json.find("keySettings");
    if (settingsJson == json.end()) return DecodeError{"key scheme: missing \"keySettings\""};
    if (!settingsJson->is_array()) return DecodeError{"key scheme: \"keySettings\" is not an array"};
    KeySettings settings;
    settings.reserve(settingsJson->size());
    for (std::size_t i = 0; i < settingsJson->size(); ++i) {
        auto setting = VDKeySetting::fromJson((*settingsJson)[i]);
        if (!setting) return DecodeError{"key scheme: setting " + std::to_string(i) + ": " + setting.error()};
        settings.push_back(std::move(setting).value());
    }

    auto idsJson = json.find("forAppBundleIds");
    if (idsJson == json.end()) return DecodeError{"key scheme: missing \"forAppBundleIds\""};
    if (!idsJson->is_array()) return DecodeError{"key scheme: \"forAppBundleIds\" is not an array"};
    std::set<std::string> bundleIds;
    for (const auto& id : *idsJson) {
        if (!id.is_string()) return DecodeError{"key scheme: a bundle identifier is not text"};
        bundleIds.insert(id.get<std::string>());
    }

    return make(std::move(schemeName).value(), std::move(desc).value(), *type, std::move(settings),
                std::move(bundleIds));
}

DecodeResult<VDKeySchemePtr> VDKeyScheme::fromJsonText(std::string_view text)
{
    const Json json = parseBoundedJson<Json>(text);
    if (json.is_discarded())
        return DecodeError{"key scheme: not JSON, or nested more than " + std::to_string(kMaxJsonNesting) + " deep"};
    return fromJson(json);
}

}  // namespace vandrel
