#include "x_key_logger.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>

namespace vandrel::vmtest {

std::unique_ptr<XKeyLogger> XKeyLogger::start(const std::string& displayName, std::string& error)
{
    int xkbEventBase = 0, xkbError = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    Display* display =
        XkbOpenDisplay(const_cast<char*>(displayName.c_str()), &xkbEventBase, &xkbError, &major, &minor, &reason);
    if (!display) {
        error = "cannot open X display " + displayName + " with XKB (reason " + std::to_string(reason) + ")";
        return nullptr;
    }
    int xiOpcode = 0, event = 0, xiError = 0;
    int xiMajor = 2, xiMinor = 1;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &xiError) ||
        XIQueryVersion(display, &xiMajor, &xiMinor) != Success) {
        XCloseDisplay(display);
        error = "the X server has no XInput 2.1 (raw events)";
        return nullptr;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    // Layout changes (setxkbmap) and group switches change the names keys have.
    XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask | XkbStateNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask | XkbStateNotifyMask);
    XSync(display, False);
    std::unique_ptr<XKeyLogger> logger(new XKeyLogger(display, xiOpcode, xkbEventBase));
    logger->refreshKeymap();
    logger->thread_ = std::thread([raw = logger.get()] { raw->run(); });
    return logger;
}

XKeyLogger::XKeyLogger(Display* display, int xiOpcode, int xkbEventBase)
    : display_(display), xiOpcode_(xiOpcode), xkbEventBase_(xkbEventBase)
{
}

XKeyLogger::~XKeyLogger()
{
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (keymap_) XkbFreeKeyboard(keymap_, XkbAllComponentsMask, True);
    XCloseDisplay(display_);
}

std::vector<std::string> XKeyLogger::take()
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> taken;
    taken.swap(entries_);
    return taken;
}

void XKeyLogger::run()
{
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    while (!stopping_) {
        handlePending();
        // Wakes now and then to notice the end; the probe lives as long as its test.
        ::poll(&fd, 1, 100);
    }
}

void XKeyLogger::handlePending()
{
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == xkbEventBase_) {
            const auto* xkb = reinterpret_cast<const XkbAnyEvent*>(&event);
            if (xkb->xkb_type == XkbStateNotify)
                group_ = reinterpret_cast<const XkbStateNotifyEvent*>(&event)->group;
            else
                refreshKeymap();
            continue;
        }
        if (event.type != GenericEvent || event.xcookie.extension != xiOpcode_) continue;
        if (!XGetEventData(display_, &event.xcookie)) continue;
        const int type = event.xcookie.evtype;
        if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
            std::string entry = (type == XI_RawKeyPress ? "+" : "-") + nameOf(raw->detail);
            std::lock_guard lock(mutex_);
            entries_.push_back(std::move(entry));
        }
        XFreeEventData(display_, &event.xcookie);
    }
}

std::string XKeyLogger::nameOf(int keycode)
{
    KeySym sym = NoSymbol;
    if (keymap_ && keycode >= keymap_->min_key_code && keycode <= keymap_->max_key_code &&
        XkbKeyNumGroups(keymap_, keycode) > 0) {
        const int group = group_ < XkbKeyNumGroups(keymap_, keycode) ? group_ : 0;
        sym = XkbKeySymEntry(keymap_, keycode, 0, group);
    }
    const char* name = sym != NoSymbol ? XKeysymToString(sym) : nullptr;
    return name ? name : "kc" + std::to_string(keycode);
}

void XKeyLogger::refreshKeymap()
{
    if (keymap_) XkbFreeKeyboard(keymap_, XkbAllComponentsMask, True);
    keymap_ = XkbGetMap(display_, XkbKeySymsMask | XkbKeyTypesMask, XkbUseCoreKbd);
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) == Success) group_ = state.group;
}

}  // namespace vandrel::vmtest
