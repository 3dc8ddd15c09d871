#include "engine/keyboard_map_entry.h"

#include <mutex>
#include <utility>

#include "foundation/log.h"

namespace vandrel {

namespace {

struct Registered {
    std::mutex mutex;
    KeyboardMapEntry::ShowWindow showWindow;
};

Registered& registered()
{
    static Registered r;
    return r;
}

}  // namespace

KeyboardMapEntry::ShowWindow KeyboardMapEntry::setShowWindow(ShowWindow showWindow)
{
    auto& r = registered();
    std::lock_guard lock(r.mutex);
    return std::exchange(r.showWindow, std::move(showWindow));
}

void KeyboardMapEntry::showWindow()
{
    ShowWindow show;
    {
        auto& r = registered();
        std::lock_guard lock(r.mutex);
        show = r.showWindow;
    }
    if (!show) {
        log.warning("The keyboard map is not available in this build, nothing shown");
        return;
    }
    show();
}

}  // namespace vandrel
