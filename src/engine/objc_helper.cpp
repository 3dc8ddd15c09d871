#include "engine/objc_helper.h"

#include <cstdio>

namespace vandrel {

std::int32_t ObjcHelper::capslockState(std::int32_t request)
{
    auto platform = Platform::shared();
    if (!platform) {
        std::fprintf(stderr, "Caps Lock lock state: no platform is installed, nothing read or set\n");
        return 0;
    }
    return capslockState(*platform, request);
}

std::int32_t ObjcHelper::capslockState(Platform& platform, std::int32_t request)
{
    auto& hid = platform.hidKeyboard();
    bool newState = false;
    switch (request) {
        case lockOff:
        case lockOn:
            newState = request == lockOn;
            break;
        case toggle:
            // Without a read of the desktop: the toggle runs on the taps' thread, in order with the keys.
            if (hid.toggleCapsLockLockState()) return 0;
            std::fprintf(stderr, "Caps Lock lock state: the lock cannot be toggled (%x)\n",
                         static_cast<unsigned>(ioReturnError));
            return ioReturnError;
        case query: {
            const auto current = hid.capsLockLockState();
            if (!current) {
                std::fprintf(stderr,
                             "Caps Lock lock state: the XKB indicator state of the X session cannot be read (%x)\n",
                             static_cast<unsigned>(ioReturnError));
                return ioReturnError;
            }
            return *current ? 1 : 0;
        }
        default:
            return 0;
    }
    if (!hid.setCapsLockLockState(newState)) {
        std::fprintf(stderr,
                     "Caps Lock lock state: the Caps Lock stroke cannot be posted on the output keyboard (%x)\n",
                     static_cast<unsigned>(ioReturnError));
        return ioReturnError;
    }
    return 0;
}

}  // namespace vandrel
