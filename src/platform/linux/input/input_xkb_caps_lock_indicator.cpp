#include "platform/linux/input/input_xkb_caps_lock_indicator.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <cstdlib>

#include "core/log.h"

namespace vandrel {

std::unique_ptr<InputXkbCapsLockIndicator> InputXkbCapsLockIndicator::open(const std::string& displayName)
{
    const char* name = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
    if (!name || !*name) return nullptr;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int reason = 0;
    Display* display = XkbOpenDisplay(const_cast<char*>(name), nullptr, nullptr, &major, &minor, &reason);
    if (!display) {
        log.warning("The X display cannot be opened for the Caps Lock state ->", reason);
        return nullptr;
    }
    return std::unique_ptr<InputXkbCapsLockIndicator>(new InputXkbCapsLockIndicator(display));
}

InputXkbCapsLockIndicator::InputXkbCapsLockIndicator(_XDisplay* display) : display_(display) {}

InputXkbCapsLockIndicator::~InputXkbCapsLockIndicator()
{
    if (display_) XCloseDisplay(display_);
}

std::optional<bool> InputXkbCapsLockIndicator::isLocked()
{
    std::lock_guard lock(mutex_);
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return std::nullopt;
    return (state.locked_mods & LockMask) != 0;
}

bool InputXkbCapsLockIndicator::setLocked(bool on)
{
    std::lock_guard lock(mutex_);
    if (!XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, on ? LockMask : 0)) return false;
    XSync(display_, False);
    return true;
}

}  // namespace vandrel
