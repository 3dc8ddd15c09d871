#include "engine/keyboard_map_entry.h"

#include <utility>

#include "core/log.h"
#include "core/registered_function.h"

namespace vandrel {

namespace {

RegisteredFunction<void()>& registered()
{
    static RegisteredFunction<void()> r;
    return r;
}

}  // namespace

KeyboardMapEntry::ShowWindow KeyboardMapEntry::setShowWindow(ShowWindow showWindow)
{
    return registered().set(std::move(showWindow));
}

void KeyboardMapEntry::showWindow()
{
    const ShowWindow show = registered().get();
    if (!show) {
        log.warning("The keyboard map is not available in this build, nothing shown");
        return;
    }
    show();
}

}  // namespace vandrel
