#include "model/window_binding_keys.h"

namespace vandrel {

nlohmann::ordered_json WindowBindingKeys::toJson() const
{
    return nlohmann::ordered_json{{"bind", bind.toJson()}, {"activate", activate.toJson()}};
}

DecodeResult<WindowBindingKeys> WindowBindingKeys::fromJson(const nlohmann::ordered_json& json)
{
    if (!json.is_object()) return DecodeError{"window binding keys: expected an object"};
    auto member = [&](const char* name) -> DecodeResult<VDKey> {
        auto it = json.find(name);
        if (it == json.end()) return DecodeError{std::string("window binding keys: missing \"") + name + "\""};
        auto key = VDKey::fromJson(*it);
        if (!key) return DecodeError{std::string("window binding keys: \"") + name + "\": " + key.error()};
        return key;
    };
    auto bind = member("bind");
    if (!bind) return DecodeError{bind.error()};
    auto activate = member("activate");
    if (!activate) return DecodeError{activate.error()};
    return WindowBindingKeys{std::move(bind).value(), std::move(activate).value()};
}

std::string WindowBindingKeys::description() const
{
    return "WindowBindingKeys(bind: " + bind.id() + ", activate: " + activate.id() + ")";
}

}  // namespace vandrel
