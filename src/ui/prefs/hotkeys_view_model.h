// The names of the key schemes the key service offers, for the Hotkeys pane: each subscriber gets one list,
// the names as they are when it subscribes, in the service's order, and then completion.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/key_service.h"
#include "rx/rx.h"

namespace vandrel {

class HotkeysViewModel {
public:
    explicit HotkeysViewModel(std::shared_ptr<KeyService> keyService);

    const rx::Observable<std::vector<std::string>> keySchemeNames;
};

}  // namespace vandrel
