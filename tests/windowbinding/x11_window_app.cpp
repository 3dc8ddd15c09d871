// A stand-in application for the window-binding tests: opens one window per title on $DISPLAY, with the given
// WM_CLASS and its own pid in _NET_WM_PID, then lives until it is ended.
//
//   vandrel_x11_window_app <instance> <class> <title>...
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <instance> <class> <title>...\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const Atom nameAtom = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, sizeof host - 1);
    const long pid = getpid();
    for (int i = 3; i < argc; ++i) {
        const Window w = XCreateSimpleWindow(display, root, 20 * i, 20 * i, 240, 160, 0, 0, 0xffffff);
        XClassHint hint{argv[1], argv[2]};
        XSetClassHint(display, w, &hint);
        XStoreName(display, w, argv[i]);
        XChangeProperty(display, w, nameAtom, utf8, 8, PropModeReplace, reinterpret_cast<unsigned char*>(argv[i]),
                        int(std::strlen(argv[i])));
        XChangeProperty(display, w, pidAtom, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        char* hostPointer = host;
        XTextProperty machine{};
        if (XStringListToTextProperty(&hostPointer, 1, &machine)) {
            XSetWMClientMachine(display, w, &machine);
            XFree(machine.value);
        }
        XMapWindow(display, w);
    }
    XFlush(display);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);  // the manager's doings; nothing to answer
    }
}
