#include "ui/base/window_states.h"

#include <QtGui/qguiapplication_platform.h>

#include <QEvent>
#include <QGuiApplication>
#include <vector>

// Last: Xlib defines macros (None, Bool, Status ...) that Qt's headers use as names.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// clang-format on

namespace vandrel {

namespace {

constexpr const char* kKeeperName = "vandrel_window_states";

Display* x11Display()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

Atom atom(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

// Holds a window's states and writes them on the window whenever it is about to be mapped: the manager
// drops _NET_WM_STATE when a window is withdrawn, and reads it again when it maps the window. Qt's own
// states join what is written here.
class StateKeeper final : public QObject {
public:
    explicit StateKeeper(QWidget& window) : QObject(&window), window_(window)
    {
        setObjectName(kKeeperName);
        window.installEventFilter(this);
    }

    bool above = false;
    bool skipTaskbar = false;

    // A shown window: the manager is asked to change the state.
    void request(const char* state, bool on)
    {
        Display* display = x11Display();
        if (!display || !window_.isVisible()) return;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = static_cast<::Window>(window_.winId());
        event.xclient.message_type = atom(display, "_NET_WM_STATE");
        event.xclient.format = 32;
        event.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
        event.xclient.data.l[1] = static_cast<long>(atom(display, state));
        event.xclient.data.l[3] = 1;  // from a normal application
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XFlush(display);
    }

protected:
    // Qt sends Show before it maps the window (a spontaneous one comes when a mapped window is restored).
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Show && !event->spontaneous()) write();
        return false;
    }

private:
    void write()
    {
        Display* display = x11Display();
        if (!display) return;
        const auto window = static_cast<::Window>(window_.winId());
        const Atom property = atom(display, "_NET_WM_STATE");
        const Atom aboveAtom = atom(display, "_NET_WM_STATE_ABOVE");
        const Atom taskbarAtom = atom(display, "_NET_WM_STATE_SKIP_TASKBAR");
        const Atom pagerAtom = atom(display, "_NET_WM_STATE_SKIP_PAGER");
        std::vector<Atom> states;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, property, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                               &data) == Success &&
            data && format == 32) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count; ++i)
                if (atoms[i] != aboveAtom && atoms[i] != taskbarAtom && atoms[i] != pagerAtom)
                    states.push_back(atoms[i]);
        }
        if (data) XFree(data);
        if (above) states.push_back(aboveAtom);
        if (skipTaskbar) {
            states.push_back(taskbarAtom);
            states.push_back(pagerAtom);
        }
        XChangeProperty(display, window, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));
        XFlush(display);
    }

    QWidget& window_;
};

StateKeeper* keeperOf(const QWidget& window)
{
    // Found by its name: the keeper has no meta-object of its own to be told apart by.
    return static_cast<StateKeeper*>(window.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly));
}

StateKeeper& keeperFor(QWidget& window)
{
    if (StateKeeper* keeper = keeperOf(window)) return *keeper;
    return *new StateKeeper(window);
}

}  // namespace

void WindowStates::setKeptAbove(QWidget& window, bool above)
{
    StateKeeper& keeper = keeperFor(window);
    if (keeper.above == above) return;
    keeper.above = above;
    keeper.request("_NET_WM_STATE_ABOVE", above);
}

bool WindowStates::isKeptAbove(const QWidget& window)
{
    const StateKeeper* keeper = keeperOf(window);
    return keeper && keeper->above;
}

void WindowStates::setSkipTaskbar(QWidget& window)
{
    StateKeeper& keeper = keeperFor(window);
    if (keeper.skipTaskbar) return;
    keeper.skipTaskbar = true;
    keeper.request("_NET_WM_STATE_SKIP_TASKBAR", true);
    keeper.request("_NET_WM_STATE_SKIP_PAGER", true);
}

bool WindowStates::skipsTaskbar(const QWidget& window)
{
    const StateKeeper* keeper = keeperOf(window);
    return keeper && keeper->skipTaskbar;
}

}  // namespace vandrel
