// The script calls that mirror key events on the keyboard map, as text. Pure functions.
//
//   key-down of A with Shift  "map.btnDown('capslock');map.btnDown('shift');map.btnUp('ctrl');
//                              map.btnUp('opt');map.btnUp('cmd');map.btnDown(\"A\");"
//
// Key names are written as JSON strings, so a name with a quote, a backslash or a line break is still one
// string argument and never script.
#pragma once

#include <string>
#include <vector>

#include "model/keystroke.h"

namespace vandrel {

struct KeyboardMapScripts {
    static const std::string& showBaseTextEditingKeysOnly();
    static std::string scale(const std::string& scaleText);
    // The name as a script string literal.
    static std::string quoted(const std::string& keyName);
    // The four modifier calls, each the press form when its flag is set, the release form otherwise.
    static std::string modifiersJSAction(const Keystroke& keystroke);
    static std::string keyDown(const Keystroke& keystroke);
    // releasedName: the key this release lets go of, when it was seen going down.
    static std::string keyUp(const Keystroke& keystroke, const std::string* releasedName);
    // stillDown: the names of keys seen going down and not yet up, in the order they went down.
    static std::string capsUp(const std::vector<std::string>& stillDown);
};

}  // namespace vandrel
