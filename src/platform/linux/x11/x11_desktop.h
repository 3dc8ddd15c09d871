// The X11 session as the desktop backend sees it: one connection for queries and requests (any thread,
// serialized), a watcher thread with a second connection that follows the root window's EWMH properties, and
// the per-window process cache. X11Workspace and X11WindowSystem share one instance.
//
// Without a display (no DISPLAY, a Wayland session without XWayland, a console) the desktop is unavailable:
// one warning goes to the log, every query answers empty and every request fails. The server going away later
// has the same effect, without ending the process.
//
// Needs an EWMH window manager for the client list, the active window and activation requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rx/observable.h"

namespace vandrel {

// An X11 window id (an XID; it fits 32 bits).
using X11WindowId = unsigned long;

// A root-window property that changed; emitted on the watcher thread.
enum class X11RootChange { activeWindow, clientList };

struct X11WindowClass {
    std::string instance;   // res_name
    std::string className;  // res_class
    bool operator==(const X11WindowClass&) const = default;
};

// _NET_WM_WINDOW_TYPE, first known value; a window without one is normal.
enum class X11WindowType { normal, desktop, dock, dialog, utility, toolbar, menu, splash };

struct X11WindowState {
    bool minimized = false;
    bool fullscreen = false;
    bool skipTaskbar = false;
};

enum class X11RequestResult { ok, gone, failed };

class X11Desktop {
public:
    // Connects to the display (the given name, or $DISPLAY when absent). Never null: an unreachable display
    // gives an unavailable desktop.
    static std::shared_ptr<X11Desktop> open(std::optional<std::string> displayName = std::nullopt);
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    bool available() const;
    const std::string& displayName() const { return displayName_; }

    // Reads; empty or absent when the desktop is unavailable, the window is gone or the value is not set.
    std::optional<X11WindowId> activeWindow();
    // _NET_CLIENT_LIST: mapping order.
    std::vector<X11WindowId> clientList();
    // _NET_CLIENT_LIST_STACKING reversed: the topmost window first (the client list when the manager lacks it).
    std::vector<X11WindowId> clientsFrontToBack();
    bool windowExists(X11WindowId window);
    // The process that owns the window: _NET_WM_PID when it is a process of this machine and of our pid
    // namespace, else the server's record of the client (X-Resource). Cached while the client list stands.
    std::optional<std::int32_t> windowPid(X11WindowId window);
    std::optional<std::string> windowTitle(X11WindowId window);
    std::optional<X11WindowClass> windowClass(X11WindowId window);
    std::optional<X11WindowType> windowType(X11WindowId window);
    std::optional<X11WindowState> windowState(X11WindowId window);

    // Requests to the window manager; they return once the server has the request, not when the manager has
    // acted on it.
    // Focuses and raises a client window, switching to its desktop first when it lies on another one.
    X11RequestResult activate(X11WindowId window);
    X11RequestResult iconify(X11WindowId window);
    X11RequestResult deiconify(X11WindowId window);

    // Changes of the active window and of the client list, on the watcher thread.
    rx::Observable<X11RootChange> rootChanges() const;
    // Whether changes are followed (the watcher runs); caches keyed by window or process hold only then.
    bool followsChanges() const;
    // Counts client-list changes; caches keyed by process compare it to notice windows coming and going.
    std::uint64_t clientListGeneration() const { return clientListGeneration_.load(std::memory_order_acquire); }

private:
    struct Impl;

    explicit X11Desktop(std::string displayName);

    const std::string displayName_;
    std::atomic<std::uint64_t> clientListGeneration_{0};
    std::unique_ptr<Impl> impl_;
};

}  // namespace vandrel
