// The two keys of one window-binding slot: the key that binds the focused window to the slot and the key
// that brings the slot's window back. JSON: {"bind": {"id": ...}, "activate": {"id": ...}}.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "model/decode_result.h"
#include "model/vd_key.h"

namespace vandrel {

struct WindowBindingKeys {
    VDKey bind;
    VDKey activate;

    nlohmann::ordered_json toJson() const;
    static DecodeResult<WindowBindingKeys> fromJson(const nlohmann::ordered_json& json);

    // "WindowBindingKeys(bind: <id>, activate: <id>)": differs for different pairs, equal for equal ones.
    std::string description() const;

    bool operator==(const WindowBindingKeys&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const WindowBindingKeys& keys)
{
    return os << keys.description();
}

}  // namespace vandrel
