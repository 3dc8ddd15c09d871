// A key scheme: a named list of key settings, the whole set of Caps combinations one layout binds. The
// factory schemes are built in code ("Built-in"), the user derives "Custom" ones (kept as JSON in the
// settings, see KeySchemeStore), and a "For App" scheme carries the bundle identifiers of its applications.
//
// Name and settings live in relays, so every rename and every new list is observed; each new list
// recomputes, synchronously on the accepting thread, the conflicting keys (keys bound more than once; the
// engine runs nothing for them) and the action groups in use.
//
// Identity: a scheme is one shared object and containers key it by that object (its pointer). "Equal" in
// the scheme sense (operator==, hashValue) means the same current name, which changes with a rename, so it
// must never key a container. Change one scheme from one thread at a time.
#pragma once

#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/decode_result.h"
#include "model/vd_action_group.h"
#include "model/vd_key.h"
#include "model/vd_key_setting.h"
#include "rx/rx.h"

namespace vandrel {

enum class VDKeySchemeType { builtIn, forApp, custom };
// "Built-in", "For App", "Custom".
std::string_view rawValue(VDKeySchemeType type);
std::optional<VDKeySchemeType> keySchemeTypeFromRawValue(std::string_view text);

// The one format version of schemes, "v20190601"; any other text is no version.
enum class VDKeySchemeVersion { v20190601 };
std::string_view rawValue(VDKeySchemeVersion version);
std::optional<VDKeySchemeVersion> keySchemeVersionFromRawValue(std::string_view text);

class VDKeyScheme;
using VDKeySchemePtr = std::shared_ptr<VDKeyScheme>;

class VDKeyScheme : public std::enable_shared_from_this<VDKeyScheme> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using KeySettings = std::vector<VDKeySettingPtr>;
    using NamePair = std::pair<std::string, std::string>;

    static constexpr VDKeySchemeVersion version = VDKeySchemeVersion::v20190601;

    // Conflicts and groups are computed before this returns. The bundle identifiers are kept for "For App"
    // schemes only.
    static VDKeySchemePtr make(std::string name, std::string desc, VDKeySchemeType type, KeySettings keySettings,
                               std::set<std::string> forAppBundleIds = {});
    VDKeyScheme(Passkey, std::string name, std::string desc, VDKeySchemeType type, KeySettings keySettings,
                std::set<std::string> forAppBundleIds);
    VDKeyScheme(const VDKeyScheme&) = delete;
    VDKeyScheme& operator=(const VDKeyScheme&) = delete;

    // Renaming is accepting a new name.
    const rx::BehaviorRelay<std::string> name;
    // Each rename as (previous name, new name); nothing on subscription.
    const rx::Observable<NamePair> previousAndCurrentName;
    const rx::BehaviorRelay<KeySettings> keySettings;
    // Every setting whose key is bound more than once, in list order.
    const rx::BehaviorRelay<KeySettings> conflictingKeySettings{KeySettings{}};
    // Each key bound more than once, once each.
    const rx::BehaviorRelay<std::vector<VDKey>> conflictingHotkeys{std::vector<VDKey>{}};
    // Owns the scheme's subscription to its own settings; whoever follows the scheme may put theirs here too.
    rx::DisposeBag disposeBag;

    const std::string& desc() const { return desc_; }
    VDKeySchemeType type() const { return type_; }
    // Empty unless the type is "For App". Sorted, so the stored form does not change from run to run.
    const std::set<std::string>& forAppBundleIds() const { return forAppBundleIds_; }
    // The groups of the settings' actions, in display order.
    std::vector<VDActionGroup> allSettingsGroups() const;
    // The settings of each group in use, in list order; built anew on each call.
    std::unordered_map<VDActionGroup, KeySettings> groupToSettingsDictionary() const;
    void computeAllGroupsOfSettings();

    // Replaces the first setting equal to oldSetting by newSetting and publishes the list; nothing when
    // there is none.
    void replace(const VDKeySetting& oldSetting, VDKeySettingPtr newSetting);

    // Stores a "Custom" scheme in the user settings under its current name (KeySchemeStore::write).
    bool writeIntoUserDefaults() const;

    // {"version", "name", "desc", "type", "keySettings", "forAppBundleIds"} in that order.
    nlohmann::ordered_json toJson() const;
    // The compact text of toJson(); absent (error filled in) when it cannot be written, e.g. a text that is
    // not UTF-8.
    std::optional<std::string> toJsonText(std::string* error = nullptr) const;
    // Members in any order; unknown members are ignored. Fails on a missing member, another version or type,
    // or a setting that does not decode.
    static DecodeResult<VDKeySchemePtr> fromJson(const nlohmann::ordered_json& json);
    static DecodeResult<VDKeySchemePtr> fromJsonText(std::string_view text);

    bool operator==(const VDKeyScheme& other) const { return name.value() == other.name.value(); }
    std::size_t hashValue() const { return std::hash<std::string>{}(name.value()); }

private:
    void updateConflicts(const KeySettings& settings);

    const std::string desc_;
    const VDKeySchemeType type_;
    const std::set<std::string> forAppBundleIds_;
    mutable std::mutex groupsMutex_;
    std::vector<VDActionGroup> allSettingsGroups_;
};

}  // namespace vandrel
