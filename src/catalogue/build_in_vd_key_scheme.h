// The key schemes built in code: `basic` (three general bindings; a new custom scheme starts from it) and
// the default Caps Lock layout `vandrel_v20190601`, which the key service installs and activates first, plus
// the bind and activate keys of the ten window slots.
#pragma once

#include <vector>

#include "model/vd_key_scheme.h"
#include "model/window_binding_keys.h"

namespace vandrel {

class BuildInVDKeyScheme {
public:
    BuildInVDKeyScheme() = delete;

    // "Basic", built once.
    static const VDKeySchemePtr& basic();
    // "Vandrel": a new scheme on every read (85 settings; 86 with the hotstring row while
    // "experimental_hotstring" is on at the moment of the read). Reading it registers the actions it binds.
    static VDKeySchemePtr vandrel_v20190601();
    // Slots 1 to 10 on the digit keys 1..9, 0: Caps Lock + Option + digit binds, Caps Lock + digit activates.
    static const std::vector<WindowBindingKeys>& vandrelWindowBindingKeysList();
};

}  // namespace vandrel
