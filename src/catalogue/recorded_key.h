// Keys the user recorded (the key of a "Send Input" binding) are posted exactly as recorded: the platform's
// translation of the catalogue's editing idioms (Command+Left and the like) must not touch them.
#pragma once

#include <optional>
#include <string_view>

#include "model/vd_key.h"

namespace vandrel {

class RecordedKey {
public:
    RecordedKey() = delete;

    // The key of a key id, read strictly: one or more hexadecimal digits and nothing else, fitting a keybit.
    // Absent otherwise (the lenient reading of stored keys would turn junk into key code 0, the A key).
    static std::optional<VDKey> fromId(std::string_view id);

    // Posts one key-down or key-up of the key through the installed platform as a recorded event, with the
    // flags of the key's own modifiers (Caps Lock adds none), at the key's tap location.
    static void keyAct(const VDKey& key, bool isDown);
};

}  // namespace vandrel
