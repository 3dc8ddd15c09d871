#include "model/keystroke.h"

#include "model/key_kit.h"

namespace vandrel {

std::optional<std::string> Keystroke::keyName() const
{
    if (!keyCode || *keyCode < 0 || *keyCode > 0xFFFF) return std::nullopt;
    return KeyKit::getKeyNameFromKeyCode(static_cast<std::uint16_t>(*keyCode));
}

}  // namespace vandrel
