// One binding of a key scheme: a key, the action it runs and the parameters the action gets. Stored as
// {"key": {"id": "..."}, "action": {"idName": "..."}, "paramSequence": [...]}.
//
// Settings are shared, immutable objects: schemes derived from one another hold the same settings, and a
// change puts a new setting in the list. So a setting may be read from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "model/decode_result.h"
#include "model/hasher.h"
#include "model/vd_action.h"
#include "model/vd_atomic_action_param.h"
#include "model/vd_key.h"

namespace vandrel {

class VDKeySetting;
using VDKeySettingPtr = std::shared_ptr<const VDKeySetting>;

class VDKeySetting {
public:
    // A null action is taken as the no-action stand-in.
    VDKeySetting(VDKey key, VDActionPtr action, std::vector<VDAtomicActionParam> paramSequence);
    static VDKeySettingPtr make(VDKey key, VDActionPtr action, std::vector<VDAtomicActionParam> paramSequence = {});

    const VDKey& key() const { return key_; }
    // After decoding: the registered action of the stored idName, or a do-nothing stand-in that keeps that
    // idName when this build registers no such action (so saving writes the binding back unchanged).
    const VDActionPtr& action() const { return action_; }
    const std::vector<VDAtomicActionParam>& paramSequence() const { return paramSequence_; }

    nlohmann::ordered_json toJson() const;
    // Needs every member; fails as well on a key id without a hexadecimal digit and on a parameter object
    // that names no parameter kind this build knows (rather than reading it as none and losing it on the
    // next save).
    static DecodeResult<VDKeySettingPtr> fromJson(const nlohmann::ordered_json& json);

    // Feeds the keybit, the action's idName, the parameter count and each parameter's hash.
    void hash(Hasher& hasher) const;
    std::uint64_t hashValue() const;
    // Same keybit, same action idName (nothing else of the action) and parameters that hash alike, in order.
    bool operator==(const VDKeySetting& other) const;

    std::string description() const;

private:
    VDKey key_;
    VDActionPtr action_;
    std::vector<VDAtomicActionParam> paramSequence_;
};

inline std::ostream& operator<<(std::ostream& os, const VDKeySetting& setting)
{
    return os << setting.description();
}

}  // namespace vandrel

template <>
struct std::hash<vandrel::VDKeySetting> {
    std::size_t operator()(const vandrel::VDKeySetting& s) const noexcept
    {
        return static_cast<std::size_t>(s.hashValue());
    }
};
