#include "platform/linux/x11/x11_desktop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "core/log.h"
#include "core/string_helpers.h"
#include "rx/subjects.h"

// Last: Xlib defines macros (None, Bool, Status ...) that Qt's headers use as names.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#ifdef VANDREL_HAVE_XRES
#include <X11/extensions/XRes.h>
#endif
// clang-format on

namespace vandrel {

namespace {

// --- X error handling -------------------------------------------------------------------------------------
// Xlib's default handlers end the process on any protocol error (a window closed between two reads is an
// everyday BadWindow) and on a lost connection. Ours record the error for the calling thread instead; errors
// on displays that are not ours go to whatever handler was there before.

thread_local int lastXError = 0;
// The display this thread is closing: it has left ownDisplays() already, yet its errors are still ours.
thread_local Display* closingDisplay = nullptr;

std::mutex& handlerMutex()
{
    static std::mutex m;
    return m;
}

std::set<Display*>& ownDisplays()
{
    static std::set<Display*> s;
    return s;
}

XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

bool isOwn(Display* display)
{
    if (display == closingDisplay) return true;
    std::lock_guard lock(handlerMutex());
    return ownDisplays().count(display) > 0;
}

int onXError(Display* display, XErrorEvent* event)
{
    if (!isOwn(display)) {
        XErrorHandler forward = nullptr;
        {
            std::lock_guard lock(handlerMutex());
            forward = previousErrorHandler;
        }
        return forward ? forward(display, event) : 0;
    }
    lastXError = event->error_code;
    return 0;
}

// A lost connection: Xlib's default handler ends the process; for our displays the exit handler below
// marks the connection dead instead.
int onXIOError(Display* display)
{
    if (isOwn(display)) return 0;
    XIOErrorHandler forward = nullptr;
    {
        std::lock_guard lock(handlerMutex());
        forward = previousIOErrorHandler;
    }
    return forward ? forward(display) : 0;
}

// Puts our handlers back in front when someone replaced them since, chaining to theirs.
void guardErrorHandler()
{
    XErrorHandler old = XSetErrorHandler(onXError);
    XIOErrorHandler oldIO = XSetIOErrorHandler(onXIOError);
    std::lock_guard lock(handlerMutex());
    if (old != onXError) previousErrorHandler = old;
    if (oldIO != onXIOError) previousIOErrorHandler = oldIO;
}

// One Xlib connection. When it breaks, Xlib leaves the display locked to the thread that noticed: any other
// thread touching it, XCloseDisplay included, would wait forever. So a broken connection is closed by that
// thread (close() right after the failing call), and never from another one.
struct Connection {
    Display* display = nullptr;
    std::atomic<bool> dead{false};
    std::atomic<std::thread::id> brokenOn{};  // set before dead
    bool reportsLoss = true;                  // one log line per desktop: the query connection tells

    ~Connection() { close(); }

    // Closes unless the connection broke on another thread, in which case the display is left behind: a few
    // bytes and a socket lost once, rather than a thread blocked for good.
    void close()
    {
        if (!display) return;
        if (dead.load() && brokenOn.load() != std::this_thread::get_id()) {
            log.debug("X11 connection broke on another thread; its display is left open");
            display = nullptr;
            return;
        }
        Display* d = std::exchange(display, nullptr);
        {
            std::lock_guard lock(handlerMutex());
            ownDisplays().erase(d);
        }
        // Also after the connection broke: Xlib knows and only frees what the display holds.
        closingDisplay = d;
        XCloseDisplay(d);
        closingDisplay = nullptr;
    }
};

void onIOErrorExit(Display*, void* data)
{
    auto* connection = static_cast<Connection*>(data);
    // Later calls on the broken display come back here; only the first one counts. One thread at a time
    // uses a connection, so no two threads get here at once.
    if (!connection->dead.load()) {
        connection->brokenOn.store(std::this_thread::get_id());
        connection->dead.store(true);
        if (connection->reportsLoss) log.error("X11 connection lost; window and application features are off");
    }
}

// The query connection held by one thread; a connection that broke meanwhile is closed on that thread,
// before the lock goes.
struct QueryLease {
    std::unique_lock<std::mutex> lock;
    Connection* connection = nullptr;

    QueryLease() = default;
    QueryLease(const QueryLease&) = delete;
    QueryLease& operator=(const QueryLease&) = delete;
    ~QueryLease()
    {
        if (connection && connection->dead.load()) connection->close();
    }
};

std::unique_ptr<Connection> connect(const std::string& name, std::string& failure)
{
    if (name.empty()) {
        failure = "no display is set";
        return nullptr;
    }
    XInitThreads();  // two connections on two threads; a no-op when already done
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(name.c_str());
    if (!connection->display) {
        failure = "cannot connect to " + name;
        return nullptr;
    }
    {
        std::lock_guard lock(handlerMutex());
        ownDisplays().insert(connection->display);
    }
    guardErrorHandler();
    XSetIOErrorExitHandler(connection->display, onIOErrorExit, connection.get());
    return connection;
}

// --- properties -------------------------------------------------------------------------------------------

struct XFreeDeleter {
    void operator()(unsigned char* p) const
    {
        if (p) XFree(p);
    }
};

struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    std::unique_ptr<unsigned char, XFreeDeleter> data;

    // Format-32 items arrive as C longs.
    unsigned long item(unsigned long i) const { return reinterpret_cast<const unsigned long*>(data.get())[i]; }
    std::string bytes() const
    {
        if (format != 8 || !data) return {};
        const auto* begin = reinterpret_cast<const char*>(data.get());
        return std::string(begin, std::find(begin, begin + count, '\0'));
    }
};

// Absent when the property is not set, has another type, or the window is gone (then lastXError is set).
std::optional<Property> readProperty(Display* display, Window window, Atom property, Atom type, long maxLongs)
{
    lastXError = 0;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* raw = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, maxLongs, False, type, &actualType, &format,
                                          &count, &after, &raw);
    Property p;
    p.data.reset(raw);
    if (status != Success || lastXError != 0 || actualType == None) return std::nullopt;
    if (type != AnyPropertyType && actualType != type) return std::nullopt;
    p.type = actualType;
    p.format = format;
    p.count = count;
    return p;
}

std::vector<unsigned long> readLongs(Display* display, Window window, Atom property, Atom type, long maxLongs)
{
    std::vector<unsigned long> out;
    auto p = readProperty(display, window, property, type, maxLongs);
    if (!p || p->format != 32) return out;
    out.reserve(p->count);
    for (unsigned long i = 0; i < p->count; ++i) out.push_back(p->item(i));
    return out;
}

// Client-supplied text may be anything; what leaves here is valid UTF-8 (bad sequences become U+FFFD).
std::string validUtf8(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toStdString();
}

std::string latin1ToUtf8(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())).toStdString();
}

std::string readFile(const std::string& path)
{
    return readWholeFile(path).value_or(std::string());
}

bool processExists(std::int32_t pid)
{
    return ::access(("/proc/" + std::to_string(pid)).c_str(), F_OK) == 0;
}

// The pids of the process in each pid namespace from ours down to its own ("NSpid:" of its status).
std::vector<std::int64_t> namespacePids(std::int32_t pid)
{
    std::vector<std::int64_t> out;
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("NSpid:", 0) != 0) continue;
        std::istringstream values(line.substr(6));
        std::int64_t v = 0;
        while (values >> v) out.push_back(v);
        break;
    }
    return out;
}

std::string localHostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

constexpr unsigned long kAllDesktops = 0xFFFFFFFF;
constexpr int kIconicState = 3;
constexpr long kMaxClients = 65536;

}  // namespace

// --- the desktop ------------------------------------------------------------------------------------------

struct X11Desktop::Impl {
    struct Atoms {
        Atom activeWindow, clientList, clientListStacking, wmPid, wmName, utf8String, wmWindowType, typeDesktop,
            typeDock, typeDialog, typeUtility, typeToolbar, typeMenu, typeSplash, typeNormal, wmState, stateHidden,
            stateFullscreen, stateSkipTaskbar, icccmWmState, wmDesktop, currentDesktop;
    };

    std::unique_ptr<Connection> query;
    std::mutex queryMutex;
    Atoms atoms{};
    Window root = 0;
    int screen = 0;
    bool hasXRes = false;
    std::string hostName;

    std::mutex cacheMutex;
    std::map<X11WindowId, std::optional<std::int32_t>> pids;
    std::atomic<std::uint64_t>* generation = nullptr;

    rx::PublishSubject<X11RootChange> changes;
    std::unique_ptr<Connection> watch;
    int wakeFd = -1;
    std::thread watcher;

    ~Impl()
    {
        if (watcher.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(wakeFd, &one, sizeof one);
            watcher.join();
        }
        if (wakeFd >= 0) ::close(wakeFd);
    }

    bool start(const std::string& name, std::atomic<std::uint64_t>& counter, std::string& failure)
    {
        generation = &counter;
        query = connect(name, failure);
        if (!query) return false;
        Display* d = query->display;
        screen = DefaultScreen(d);
        root = RootWindow(d, screen);
        internAtoms(d);
        hostName = localHostName();
#ifdef VANDREL_HAVE_XRES
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        hasXRes = XResQueryExtension(d, &eventBase, &errorBase) && XResQueryVersion(d, &major, &minor) &&
                  (major > 1 || (major == 1 && minor >= 2));
#endif
        if (query->dead.load()) {  // the server went away while we set up: close on this thread
            query->close();
            failure = "the connection to " + name + " broke";
            return false;
        }
        startWatcher(name);
        return true;
    }

    void internAtoms(Display* d)
    {
        const std::pair<const char*, Atom Atoms::*> table[] = {
            {"_NET_ACTIVE_WINDOW", &Atoms::activeWindow},
            {"_NET_CLIENT_LIST", &Atoms::clientList},
            {"_NET_CLIENT_LIST_STACKING", &Atoms::clientListStacking},
            {"_NET_WM_PID", &Atoms::wmPid},
            {"_NET_WM_NAME", &Atoms::wmName},
            {"UTF8_STRING", &Atoms::utf8String},
            {"_NET_WM_WINDOW_TYPE", &Atoms::wmWindowType},
            {"_NET_WM_WINDOW_TYPE_DESKTOP", &Atoms::typeDesktop},
            {"_NET_WM_WINDOW_TYPE_DOCK", &Atoms::typeDock},
            {"_NET_WM_WINDOW_TYPE_DIALOG", &Atoms::typeDialog},
            {"_NET_WM_WINDOW_TYPE_UTILITY", &Atoms::typeUtility},
            {"_NET_WM_WINDOW_TYPE_TOOLBAR", &Atoms::typeToolbar},
            {"_NET_WM_WINDOW_TYPE_MENU", &Atoms::typeMenu},
            {"_NET_WM_WINDOW_TYPE_SPLASH", &Atoms::typeSplash},
            {"_NET_WM_WINDOW_TYPE_NORMAL", &Atoms::typeNormal},
            {"_NET_WM_STATE", &Atoms::wmState},
            {"_NET_WM_STATE_HIDDEN", &Atoms::stateHidden},
            {"_NET_WM_STATE_FULLSCREEN", &Atoms::stateFullscreen},
            {"_NET_WM_STATE_SKIP_TASKBAR", &Atoms::stateSkipTaskbar},
            {"WM_STATE", &Atoms::icccmWmState},
            {"_NET_WM_DESKTOP", &Atoms::wmDesktop},
            {"_NET_CURRENT_DESKTOP", &Atoms::currentDesktop}};
        constexpr int count = sizeof table / sizeof table[0];
        char* names[count];
        Atom values[count] = {};
        for (int i = 0; i < count; ++i) names[i] = const_cast<char*>(table[i].first);
        XInternAtoms(d, names, count, False, values);  // one round trip for all
        for (int i = 0; i < count; ++i) atoms.*(table[i].second) = values[i];
    }

    void startWatcher(const std::string& name)
    {
        std::string failure;
        watch = connect(name, failure);
        if (!watch) {
            log.warning("X11 root window watcher unavailable, no activation notices", failure);
            return;
        }
        watch->reportsLoss = false;
        wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0) {
            log.warning("X11 root window watcher unavailable, no activation notices", "eventfd failed");
            return;
        }
        XSelectInput(watch->display, RootWindow(watch->display, DefaultScreen(watch->display)), PropertyChangeMask);
        XSync(watch->display, False);
        if (watch->dead.load()) {
            watch->close();
            log.warning("X11 root window watcher unavailable, no activation notices", "the connection broke");
            return;
        }
        watcher = std::thread([this] {
            setCurrentThreadLabel("x11.watcher");
            watchRoot();
        });
    }

    // The watcher's own connection is touched by this thread only.
    void watchRoot()
    {
        Display* d = watch->display;
        const Window watchedRoot = RootWindow(d, DefaultScreen(d));
        for (;;) {
            while (!watch->dead.load() && XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type != PropertyNotify || event.xproperty.window != watchedRoot) continue;
                // The watcher connection interned the same names, and atoms are server-wide.
                if (event.xproperty.atom == atoms.activeWindow) {
                    changes.onNext(X11RootChange::activeWindow);
                } else if (event.xproperty.atom == atoms.clientList) {
                    {
                        std::lock_guard lock(cacheMutex);
                        pids.clear();
                        generation->fetch_add(1, std::memory_order_acq_rel);
                    }
                    changes.onNext(X11RootChange::clientList);
                }
            }
            if (watch->dead.load()) {
                watch->close();
                return;
            }
            pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                log.error("X11 root window watcher stopped", std::string(strerror(errno)));
                return;
            }
            if (fds[1].revents) return;
        }
    }

    // The query display with its lock held; null when the desktop is unavailable.
    Display* lockDisplay(QueryLease& lease)
    {
        if (!query) return nullptr;
        lease.lock = std::unique_lock(queryMutex);
        if (query->dead.load()) return nullptr;
        lease.connection = query.get();
        guardErrorHandler();
        return query->display;
    }

    std::vector<X11WindowId> clientList(Display* d)
    {
        auto longs = readLongs(d, root, atoms.clientList, XA_WINDOW, kMaxClients);
        return {longs.begin(), longs.end()};
    }

    bool isClient(Display* d, X11WindowId window)
    {
        auto clients = clientList(d);
        return std::find(clients.begin(), clients.end(), window) != clients.end();
    }

    void sendToRoot(Display* d, X11WindowId window, Atom type, std::initializer_list<long> data)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.send_event = True;
        event.xclient.display = d;
        event.xclient.window = window;
        event.xclient.message_type = type;
        event.xclient.format = 32;
        int i = 0;
        for (long v : data) event.xclient.data.l[i++] = v;
        XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }

    // The X side of a window's process: _NET_WM_PID and whether this machine set it, and the server's record.
    struct PidFacts {
        std::optional<std::int32_t> declared;
        bool declaredHere = true;
        std::optional<std::int32_t> fromServer;
    };

    std::optional<PidFacts> readPidFacts(Display* d, X11WindowId window)
    {
        PidFacts facts;
        auto declared = readLongs(d, window, atoms.wmPid, XA_CARDINAL, 1);
        if (lastXError == BadWindow) return std::nullopt;
        if (!declared.empty() && declared[0] > 0 && declared[0] <= INT32_MAX)
            facts.declared = static_cast<std::int32_t>(declared[0]);
        XTextProperty machine{};
        if (XGetWMClientMachine(d, window, &machine) && machine.value) {
            const std::string host(reinterpret_cast<const char*>(machine.value), machine.nitems);
            facts.declaredHere = host.empty() || host == hostName || host == "localhost";
            XFree(machine.value);
        }
#ifdef VANDREL_HAVE_XRES
        if (hasXRes) {
            XResClientIdSpec pidQuery{window, XRES_CLIENT_ID_PID_MASK};
            long count = 0;
            XResClientIdValue* values = nullptr;
            lastXError = 0;
            if (XResQueryClientIds(d, 1, &pidQuery, &count, &values) == Success && lastXError == 0) {
                for (long i = 0; i < count; ++i) {
                    if (XResGetClientIdType(&values[i]) != XRES_CLIENT_ID_PID) continue;
                    const pid_t pid = XResGetClientPid(&values[i]);
                    if (pid > 0) facts.fromServer = static_cast<std::int32_t>(pid);
                }
                XResClientIdsDestroy(count, values);
            }
        }
#endif
        return facts;
    }

    // A declared pid counts when it was set on this machine and names a process of our pid namespace; a
    // sandboxed client declares its pid inside its sandbox, which the server's record reveals.
    static std::optional<std::int32_t> choosePid(const PidFacts& f)
    {
        if (!f.declared || !f.declaredHere) return f.fromServer;
        if (f.fromServer && *f.fromServer != *f.declared) {
            if (!processExists(*f.declared)) return f.fromServer;
            const auto nested = namespacePids(*f.fromServer);
            if (nested.size() > 1 && nested.back() == *f.declared) return f.fromServer;
        }
        return f.declared;
    }
};

X11Desktop::X11Desktop(std::string displayName) : displayName_(std::move(displayName)), impl_(std::make_unique<Impl>())
{
    std::string failure;
    if (impl_->start(displayName_, clientListGeneration_, failure)) return;
    static std::atomic<bool> warned{false};
    if (!warned.exchange(true))
        log.warning("X11 display unavailable: frontmost application, windows and activation notices are off", failure);
}

X11Desktop::~X11Desktop() = default;

std::shared_ptr<X11Desktop> X11Desktop::open(std::optional<std::string> displayName)
{
    std::string name;
    if (displayName) {
        name = *displayName;
    } else if (const char* env = std::getenv("DISPLAY")) {
        name = env;
    }
    return std::shared_ptr<X11Desktop>(new X11Desktop(std::move(name)));
}

bool X11Desktop::available() const
{
    return impl_->query && !impl_->query->dead.load();
}

bool X11Desktop::followsChanges() const
{
    return available() && impl_->watcher.joinable() && impl_->watch && !impl_->watch->dead.load();
}

std::optional<X11WindowId> X11Desktop::activeWindow()
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return std::nullopt;
    auto longs = readLongs(d, impl_->root, impl_->atoms.activeWindow, XA_WINDOW, 1);
    if (longs.empty() || longs[0] == 0) return std::nullopt;
    return longs[0];
}

std::vector<X11WindowId> X11Desktop::clientList()
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return {};
    return impl_->clientList(d);
}

std::vector<X11WindowId> X11Desktop::clientsFrontToBack()
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return {};
    auto stacking = readLongs(d, impl_->root, impl_->atoms.clientListStacking, XA_WINDOW, kMaxClients);
    if (stacking.empty()) return impl_->clientList(d);
    return {stacking.rbegin(), stacking.rend()};
}

bool X11Desktop::windowExists(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return false;
    lastXError = 0;
    XWindowAttributes attributes;
    return XGetWindowAttributes(d, window, &attributes) != 0 && lastXError == 0;
}

std::optional<std::int32_t> X11Desktop::windowPid(X11WindowId window)
{
    const auto generation = clientListGeneration();
    {
        std::lock_guard lock(impl_->cacheMutex);
        auto it = impl_->pids.find(window);
        if (it != impl_->pids.end()) return it->second;
    }
    std::optional<Impl::PidFacts> facts;
    {
        QueryLease lock;
        Display* d = impl_->lockDisplay(lock);
        if (!d) return std::nullopt;
        facts = impl_->readPidFacts(d, window);
    }
    if (!facts) return std::nullopt;  // gone: nothing to remember
    const auto pid = Impl::choosePid(*facts);
    std::lock_guard lock(impl_->cacheMutex);
    // A client-list change meanwhile may mean this window id now names another window.
    if (generation == clientListGeneration() && followsChanges()) impl_->pids[window] = pid;
    return pid;
}

std::optional<std::string> X11Desktop::windowTitle(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return std::nullopt;
    const auto& a = impl_->atoms;
    if (auto name = readProperty(d, window, a.wmName, a.utf8String, 4096)) return validUtf8(name->bytes());
    if (lastXError == BadWindow) return std::nullopt;
    auto legacy = readProperty(d, window, XA_WM_NAME, AnyPropertyType, 4096);
    if (!legacy) return lastXError == BadWindow ? std::nullopt : std::optional<std::string>("");
    if (legacy->type == XA_STRING) return latin1ToUtf8(legacy->bytes());
    if (legacy->type == a.utf8String) return validUtf8(legacy->bytes());
    // COMPOUND_TEXT and other encodings: let Xlib convert.
    XTextProperty text{legacy->data.get(), legacy->type, legacy->format, legacy->count};
    char** list = nullptr;
    int count = 0;
    std::string out;
    if (Xutf8TextPropertyToTextList(d, &text, &list, &count) >= Success && list) {
        if (count > 0 && list[0]) out = validUtf8(list[0]);
        XFreeStringList(list);
    }
    return out;
}

std::optional<X11WindowClass> X11Desktop::windowClass(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return std::nullopt;
    XClassHint hint{};
    lastXError = 0;
    if (!XGetClassHint(d, window, &hint) || lastXError != 0) return std::nullopt;
    X11WindowClass out;
    if (hint.res_name) {
        out.instance = validUtf8(hint.res_name);
        XFree(hint.res_name);
    }
    if (hint.res_class) {
        out.className = validUtf8(hint.res_class);
        XFree(hint.res_class);
    }
    return out;
}

std::optional<X11WindowType> X11Desktop::windowType(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return std::nullopt;
    const auto& a = impl_->atoms;
    const auto types = readLongs(d, window, a.wmWindowType, XA_ATOM, 32);
    if (lastXError == BadWindow) return std::nullopt;
    const std::pair<Atom, X11WindowType> known[] = {
        {a.typeDesktop, X11WindowType::desktop}, {a.typeDock, X11WindowType::dock},
        {a.typeDialog, X11WindowType::dialog},   {a.typeUtility, X11WindowType::utility},
        {a.typeToolbar, X11WindowType::toolbar}, {a.typeMenu, X11WindowType::menu},
        {a.typeSplash, X11WindowType::splash},   {a.typeNormal, X11WindowType::normal}};
    for (auto type : types)
        for (const auto& [atom, value] : known)
            if (type == atom) return value;
    return X11WindowType::normal;
}

std::optional<X11WindowState> X11Desktop::windowState(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return std::nullopt;
    const auto& a = impl_->atoms;
    X11WindowState state;
    bool hidden = false;
    for (auto atom : readLongs(d, window, a.wmState, XA_ATOM, 64)) {
        hidden |= atom == a.stateHidden;
        state.fullscreen |= atom == a.stateFullscreen;
        state.skipTaskbar |= atom == a.stateSkipTaskbar;
    }
    if (lastXError == BadWindow) return std::nullopt;
    // ICCCM's WM_STATE says iconic exactly when minimized; _NET_WM_STATE_HIDDEN also covers shaded windows.
    const auto icccm = readLongs(d, window, a.icccmWmState, a.icccmWmState, 2);
    if (lastXError == BadWindow) return std::nullopt;
    state.minimized = icccm.empty() ? hidden : icccm[0] == kIconicState;
    return state;
}

X11RequestResult X11Desktop::activate(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return X11RequestResult::failed;
    if (!impl_->isClient(d, window)) return X11RequestResult::gone;
    const auto& a = impl_->atoms;
    const auto windowDesktop = readLongs(d, window, a.wmDesktop, XA_CARDINAL, 1);
    const auto currentDesktop = readLongs(d, impl_->root, a.currentDesktop, XA_CARDINAL, 1);
    if (!windowDesktop.empty() && !currentDesktop.empty() && windowDesktop[0] != kAllDesktops &&
        windowDesktop[0] != currentDesktop[0])
        impl_->sendToRoot(d, impl_->root, a.currentDesktop, {long(windowDesktop[0]), CurrentTime});
    const auto active = readLongs(d, impl_->root, a.activeWindow, XA_WINDOW, 1);
    // Source 2: a pager acting for the user, which managers honour without focus-stealing checks.
    impl_->sendToRoot(d, window, a.activeWindow, {2, CurrentTime, active.empty() ? 0L : long(active[0])});
    lastXError = 0;
    XSync(d, False);
    return lastXError == 0 && !impl_->query->dead.load() ? X11RequestResult::ok : X11RequestResult::failed;
}

X11RequestResult X11Desktop::iconify(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return X11RequestResult::failed;
    if (!impl_->isClient(d, window)) return X11RequestResult::gone;
    lastXError = 0;
    const Status sent = XIconifyWindow(d, window, impl_->screen);
    XSync(d, False);
    return sent && lastXError == 0 ? X11RequestResult::ok : X11RequestResult::failed;
}

X11RequestResult X11Desktop::deiconify(X11WindowId window)
{
    QueryLease lock;
    Display* d = impl_->lockDisplay(lock);
    if (!d) return X11RequestResult::failed;
    if (!impl_->isClient(d, window)) return X11RequestResult::gone;
    // ICCCM: a client leaves the iconic state by mapping its window again.
    lastXError = 0;
    XMapWindow(d, window);
    XSync(d, False);
    return lastXError == 0 ? X11RequestResult::ok : X11RequestResult::failed;
}

rx::Observable<X11RootChange> X11Desktop::rootChanges() const
{
    return impl_->changes.asObservable();
}

}  // namespace vandrel
