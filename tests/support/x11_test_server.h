// A private X session for tests and benchmarks: an Xvfb server on a free display (and the fluxbox window
// manager when asked), started here and killed when the object goes, also when the test fails; both die with
// the test process should it crash. X11TestClient makes windows as an application would.
//
// Waiting on the server or the window manager is event-driven with a bound: the client wakes on X events
// (and on Qt's queue, for notices posted to the main thread) and checks the condition again.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/xvfb_process.h"

// Last: Xlib defines macros (None, Bool, Status ...) that Qt's headers use as names.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace vandrel::test {

// The X window id here, also where vandrel::Window (the window wrapper) is declared.
using Window = ::Window;

// Waits for a condition on X state: wakes on events of the display, and at least every 10 ms for Qt's queue.
inline bool waitUntil(Display* display, const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents();
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
}

class X11TestServer {
public:
    explicit X11TestServer(bool windowManager = true, std::string screen = "1024x768x24") : screen_(std::move(screen))
    {
        if (!startServer()) return;
        if (windowManager) startWindowManager();
    }
    ~X11TestServer()
    {
        stopProgram(wm_);
        stopProgram(xvfb_);
        if (!home_.empty()) std::filesystem::remove_all(home_);
    }
    X11TestServer(const X11TestServer&) = delete;
    X11TestServer& operator=(const X11TestServer&) = delete;

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::string& display() const { return display_; }

    // Ends the server now (for tests of a server that goes away).
    void killServer()
    {
        stopProgram(wm_);
        stopProgram(xvfb_);
    }

private:
    bool startServer()
    {
        xvfb_ = startXvfb(screen_, display_, failure_);
        return xvfb_ > 0;
    }

    void startWindowManager()
    {
        wm_ = startFluxbox(display_, home_, failure_);
        if (wm_ <= 0) return;
        Display* d = XOpenDisplay(display_.c_str());
        if (!d) {
            fail("cannot connect to the test server");
            return;
        }
        const Window root = DefaultRootWindow(d);
        XSelectInput(d, root, PropertyChangeMask);
        const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
        const Atom clients = XInternAtom(d, "_NET_CLIENT_LIST", False);
        auto has = [&](Atom property) {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* data = nullptr;
            XGetWindowProperty(d, root, property, 0, 1, False, AnyPropertyType, &type, &format, &count, &after, &data);
            if (data) XFree(data);
            return type != None;
        };
        // The manager is ready once it announced itself and set up its EWMH properties.
        if (!waitUntil(
                d, [&] { return has(check) && has(clients); }, 15s))
            fail("fluxbox did not start");
        XCloseDisplay(d);
    }

    bool fail(std::string why)
    {
        failure_ = std::move(why);
        return false;
    }

    std::string screen_;
    pid_t xvfb_ = -1;
    pid_t wm_ = -1;
    std::string display_;
    std::string home_;
    std::string failure_;
};

// An X application of the test: makes, changes and ends windows on its own connection.
class X11TestClient {
public:
    struct WindowOptions {
        std::string title{};  // _NET_WM_NAME
        std::string instance = "vandrel-test";
        std::string className = "VandrelTest";
        std::optional<long> pid{};             // _NET_WM_PID
        std::optional<std::string> machine{};  // WM_CLIENT_MACHINE
        std::optional<std::string> wmName{};   // WM_NAME, Latin-1
        std::optional<std::string> type{};     // "_NET_WM_WINDOW_TYPE_..."
        bool waitForManager = true;            // until the window is in the client list
    };

    explicit X11TestClient(const std::string& display) : display_(XOpenDisplay(display.c_str()))
    {
        if (!display_) return;
        root_ = DefaultRootWindow(display_);
        XSelectInput(display_, root_, PropertyChangeMask);
    }
    // Ends its windows and waits until the manager has let them go, so that nothing of one test (focus
    // falling back from a closed window, a stale client-list entry) lands in the next.
    ~X11TestClient()
    {
        if (!display_) return;
        for (Window w : windows_) XDestroyWindow(display_, w);
        XSync(display_, False);
        wait([&] {
            const auto clients = clientList();
            return std::none_of(windows_.begin(), windows_.end(), [&](Window w) {
                return std::find(clients.begin(), clients.end(), w) != clients.end();
            });
        });
        XCloseDisplay(display_);
    }
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    Display* display() const { return display_; }
    Atom atom(const char* name) { return XInternAtom(display_, name, False); }

    Window create(const WindowOptions& options)
    {
        const Window w = XCreateSimpleWindow(display_, root_, 10, 10, 200, 150, 0, 0, 0);
        windows_.push_back(w);
        XSelectInput(display_, w, PropertyChangeMask | StructureNotifyMask);
        XClassHint hint{const_cast<char*>(options.instance.c_str()), const_cast<char*>(options.className.c_str())};
        XSetClassHint(display_, w, &hint);
        if (!options.title.empty()) setUtf8(w, "_NET_WM_NAME", options.title);
        if (options.wmName)
            XChangeProperty(display_, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(options.wmName->data()),
                            int(options.wmName->size()));
        if (options.pid) {
            const long pid = *options.pid;
            XChangeProperty(display_, w, atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
        }
        if (options.machine)
            XChangeProperty(display_, w, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(options.machine->data()),
                            int(options.machine->size()));
        if (options.type) {
            const Atom type = atom(options.type->c_str());
            XChangeProperty(display_, w, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&type), 1);
        }
        XMapWindow(display_, w);
        XSync(display_, False);
        // WM_STATE on the window itself: a listed id alone may still be a window of an earlier connection
        // that had the same ids, which the manager has yet to forget.
        if (options.waitForManager) wait([&] { return isClient(w) && isManaged(w); });
        return w;
    }

    void setUtf8(Window w, const char* property, const std::string& text)
    {
        XChangeProperty(display_, w, atom(property), atom("UTF8_STRING"), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
        XSync(display_, False);
    }

    void destroy(Window w)
    {
        XDestroyWindow(display_, w);
        XSync(display_, False);
        windows_.erase(std::remove(windows_.begin(), windows_.end(), w), windows_.end());
        wait([&] { return !isClient(w); });
    }

    std::vector<Window> clientList()
    {
        std::vector<Window> out;
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, root_, atom("_NET_CLIENT_LIST"), 0, 4096, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success &&
            data) {
            auto* windows = reinterpret_cast<Window*>(data);
            out.assign(windows, windows + count);
        }
        if (data) XFree(data);
        return out;
    }

    bool isClient(Window w)
    {
        const auto clients = clientList();
        return std::find(clients.begin(), clients.end(), w) != clients.end();
    }

    // The manager has taken the window on (ICCCM WM_STATE is set).
    bool isManaged(Window w)
    {
        Atom type = None;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, w, atom("WM_STATE"), 0, 2, False, AnyPropertyType, &type, &format, &count, &after,
                           &data);
        if (data) XFree(data);
        return type != None;
    }

    Window activeWindow()
    {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        Window out = 0;
        if (XGetWindowProperty(display_, root_, atom("_NET_ACTIVE_WINDOW"), 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success &&
            data && count == 1)
            out = *reinterpret_cast<Window*>(data);
        if (data) XFree(data);
        return out;
    }

    Window root() const { return root_; }

    // A format-32 CARDINAL property; -1 when it is not set.
    long cardinal(Window w, const char* property)
    {
        Atom type = None;
        int format;
        unsigned long count = 0, after;
        unsigned char* data = nullptr;
        long out = -1;
        if (XGetWindowProperty(display_, w, atom(property), 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                               &data) == Success &&
            data && count == 1)
            out = *reinterpret_cast<long*>(data);
        if (data) XFree(data);
        return out;
    }

    // Asks the manager to move a window to another desktop, as a pager would.
    void sendToDesktop(Window w, long desktop)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = atom("_NET_WM_DESKTOP");
        event.xclient.format = 32;
        event.xclient.data.l[0] = desktop;
        event.xclient.data.l[1] = 2;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(display_, False);
    }

    // Asks the manager to activate a window as a task bar does, and waits until it did.
    bool activate(Window w)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(display_, False);
        return wait([&] { return activeWindow() == w; });
    }

    // Writes _NET_ACTIVE_WINDOW on the root as a manager would.
    void setActiveWindowProperty(Window w)
    {
        XChangeProperty(display_, root_, atom("_NET_ACTIVE_WINDOW"), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&w), 1);
        XSync(display_, False);
    }

    bool wait(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5000ms)
    {
        return waitUntil(display_, condition, limit);
    }

private:
    Display* display_ = nullptr;
    Window root_ = 0;
    std::vector<Window> windows_;
};

}  // namespace vandrel::test
