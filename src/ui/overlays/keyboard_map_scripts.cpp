#include "ui/overlays/keyboard_map_scripts.h"

#include <nlohmann/json.hpp>

namespace vandrel {

namespace {
std::string call(const char* function, const std::string& argument)
{
    return std::string("map.") + function + "(" + argument + ");";
}
}  // namespace

const std::string& KeyboardMapScripts::showBaseTextEditingKeysOnly()
{
    static const std::string script =
        "window.map.turnoffAll();window.map.turnonBtn(['capslock', 'w', 'e', 'r', 's', 'd', 'f', 't', 'a', 'g', 'b'])";
    return script;
}

std::string KeyboardMapScripts::scale(const std::string& scaleText)
{
    return "$('#content').css({'transform': 'scale(" + scaleText + ")'});";
}

std::string KeyboardMapScripts::quoted(const std::string& keyName)
{
    // Invalid UTF-8 becomes U+FFFD instead of throwing. JSON leaves U+2028 and U+2029 raw, which end a
    // line inside a script's string: they are escaped.
    std::string text = nlohmann::json(keyName).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    for (const auto& [raw, escaped] : {std::pair{"\u2028", "\\u2028"}, std::pair{"\u2029", "\\u2029"}})
        for (auto at = text.find(raw); at != std::string::npos; at = text.find(raw, at + 6))
            text.replace(at, 3, escaped);
    return text;
}

std::string KeyboardMapScripts::modifiersJSAction(const Keystroke& keystroke)
{
    std::string out;
    out += call(keystroke.shift ? "btnDown" : "btnUp", "'shift'");
    out += call(keystroke.ctrl ? "btnDown" : "btnUp", "'ctrl'");
    out += call(keystroke.opt ? "btnDown" : "btnUp", "'opt'");
    out += call(keystroke.cmd ? "btnDown" : "btnUp", "'cmd'");
    return out;
}

std::string KeyboardMapScripts::keyDown(const Keystroke& keystroke)
{
    std::string out = call("btnDown", "'capslock'");
    out += modifiersJSAction(keystroke);
    if (const auto name = keystroke.keyName()) out += call("btnDown", quoted(*name));
    return out;
}

std::string KeyboardMapScripts::keyUp(const Keystroke& keystroke, const std::string* releasedName)
{
    std::string out = call("btnDown", "'capslock'");
    if (releasedName) out += call("btnUp", quoted(*releasedName));
    out += modifiersJSAction(keystroke);
    return out;
}

std::string KeyboardMapScripts::capsUp(const std::vector<std::string>& stillDown)
{
    std::string out = call("btnUp", "'capslock'") + call("btnUp", "'shift'") + call("btnUp", "'ctrl'") +
                      call("btnUp", "'opt'") + call("btnUp", "'cmd'");
    for (const auto& name : stillDown) out += call("btnUp", quoted(name));
    return out;
}

}  // namespace vandrel
