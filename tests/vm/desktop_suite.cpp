#include "desktop_suite.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <sstream>

#include "harness/probe_protocol.h"
#include "harness/text_lines.h"

namespace vandrel::vmtest {

namespace {

// Registered before main() runs the tests: one desktop for the whole binary.
[[maybe_unused]] ::testing::Environment* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

std::string joined(const std::vector<std::string>& entries)
{
    std::string out;
    for (const std::string& entry : entries) out += (out.empty() ? "" : " ") + entry;
    return out.empty() ? "(nothing)" : out;
}

// Events a stroke of `c` costs a reader: press and release of the key, and of Shift when needed, each with
// its SYN_REPORT.
std::size_t eventsOf(char c)
{
    const std::optional<KeyStroke> stroke = UinputKeyboard::strokeFor(c);
    return stroke && stroke->shift ? 8 : 4;
}

Result<ChildProcess> startProbe(DesktopSession& session, const std::string& program, const ProbeClient& client)
{
    ChildProcess::Options options;
    options.program = program;
    options.args = {"--channel", client.path()};
    options.env = session.clientEnvironment();
    return ChildProcess::start(std::move(options));
}

}  // namespace

Result<ProbeApplication> ProbeApplication::start(DesktopSession& session, const std::string& program,
                                                 const std::string& socketName)
{
    Result<ProbeClient> client = ProbeClient::listen(session.folder() + "/" + socketName);
    if (!client) return Result<ProbeApplication>::failure(client.error());
    Result<ChildProcess> process = startProbe(session, program, *client);
    if (!process) return Result<ProbeApplication>::failure(process.error());
    // A second application starts while everything else runs: seconds under emulation.
    if (const Status accepted = client->accept(3 * kDesktopTimeout); !accepted)
        return Result<ProbeApplication>::failure(accepted.error() + "\nprobe output:\n" + process->output() +
                                                 process->errorOutput());
    return Result<ProbeApplication>::success({std::move(client).value(), std::move(process).value()});
}

ProbeClient* DesktopEnvironment::gtkProbe()
{
    if (gtkProbe_) return &*gtkProbe_;
    Result<ProbeApplication> started = ProbeApplication::start(*session_, VANDREL_GTK_DESKTOP_PROBE_PATH, "gtk.sock");
    if (!started) {
        ADD_FAILURE() << "the GTK probe did not start: " << started.error();
        return nullptr;
    }
    gtkProbeProcess_.emplace(std::move(started->process));
    gtkProbe_.emplace(std::move(started->client));
    return &*gtkProbe_;
}

void DesktopEnvironment::SetUp()
{
    current_ = this;
    Result<std::unique_ptr<DesktopSession>> session = DesktopSession::start();
    ASSERT_TRUE(session) << session.error();
    session_ = std::move(session).value();

    // The physical keyboard is there before the program starts, as a keyboard usually is.
    Result<UinputKeyboard> keyboard = plugKeyboard();
    ASSERT_TRUE(keyboard) << keyboard.error();
    keyboard_.emplace(std::move(keyboard).value());
    ASSERT_TRUE(InputDevice::waitForName(keyboard_->name(), kKeyTimeout));

    // The probe and the program start while the window manager comes up: each takes seconds under emulation.
    Result<ProbeClient> probe = ProbeClient::listen(session_->folder() + "/probe.sock");
    ASSERT_TRUE(probe) << probe.error();
    probe_.emplace(std::move(probe).value());
    Result<ChildProcess> probeProcess = startProbe(*session_, VANDREL_DESKTOP_PROBE_PATH, *probe_);
    ASSERT_TRUE(probeProcess) << probeProcess.error();
    probeProcess_.emplace(std::move(probeProcess).value());

    ASSERT_NO_FATAL_FAILURE(startProgram());
    const Status managed = session_->waitForWindowManager();
    ASSERT_TRUE(managed) << managed.error();
    const Status accepted = probe_->accept(kProgramStartTimeout);
    ASSERT_TRUE(accepted) << accepted.error() << "\nprobe output:\n"
                          << probeProcess_->output() << probeProcess_->errorOutput();
    // Keys typed before X reads the program's keyboard would be lost.
    const Status added = session_->waitForInputDevice(kVandrelVirtualKeyboard.name, kDesktopTimeout);
    ASSERT_TRUE(added) << added.error();
    // The first key from a keyboard X has not read from yet makes it hand that keyboard's keymap to every
    // client, and each client reads it before that key: under emulation a second or more. One key through the
    // program now keeps that out of every scenario's timing (a copy stroke answered after the program gave up).
    ASSERT_TRUE(keyboard_->tap(kSentinel));
    const std::string sentinelUp = "-" + std::string(kSentinelName);
    bool seen = false;
    ASSERT_TRUE(eventually(
        [&] {
            const Result<std::vector<std::string>> keys = probe_->keys();
            seen = seen || (keys && std::find(keys->begin(), keys->end(), sentinelUp) != keys->end());
            return seen;
        },
        3 * kDesktopTimeout))
        << "the first key through the program did not reach X";
    std::cout << "desktop started:\n" << session_->startupTimes() << std::flush;
}

void DesktopEnvironment::startProgram()
{
    // With the hotstring binding (Caps+Tab) and a cheat sheet that closes with Caps, which no other scenario
    // uses.
    std::optional<ProgramRun> run =
        ProgramRun::start({}, {{"DISPLAY", session_->displayName()}},
                          R"({"experimental_hotstring": true, "cheatSheet_isWindowPined": false})");
    ASSERT_TRUE(run) << session_->serverLogTail();
    program_.emplace(std::move(*run));
}

void DesktopEnvironment::restartProgram()
{
    const ExitStatus status = program_->stop();
    ASSERT_TRUE(status.exitedWith(0)) << status.describe();
    program_.reset();
    const Status removed = session_->waitForInputDevice(kVandrelVirtualKeyboard.name, kDesktopTimeout, false);
    ASSERT_TRUE(removed) << removed.error();
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const Status added = session_->waitForInputDevice(kVandrelVirtualKeyboard.name, kDesktopTimeout);
    ASSERT_TRUE(added) << added.error();
}

void DesktopEnvironment::TearDown()
{
    if (program_) {
        const ExitStatus status = program_->stop();
        std::cout << "program ended: " << status.describe() << std::endl;
    }
    program_.reset();
    gtkProbe_.reset();
    gtkProbeProcess_.reset();
    probe_.reset();
    probeProcess_.reset();
    keyboard_.reset();
    session_.reset();
    current_ = nullptr;
}

void DesktopScenario::SetUp()
{
    DesktopEnvironment* environment = DesktopEnvironment::current();
    ASSERT_TRUE(environment && environment->ready()) << "the desktop did not start";
    ASSERT_TRUE(desktop().running()) << desktop().serverLogTail();
    ASSERT_TRUE(program().process().running()) << lastLines(program().log(), 40, "  ");
    ASSERT_TRUE(env().probeProcess().running()) << env().probeProcess().errorOutput();
    // What earlier scenarios left in the logs is theirs.
    const Result<std::vector<std::string>> earlier = probe().keys();
    ASSERT_TRUE(earlier) << earlier.error();
    program().output().drain();
}

void DesktopScenario::useProbe(ProbeClient& other)
{
    probe_ = &other;
    const Result<std::vector<std::string>> earlier = probe().keys();
    ASSERT_TRUE(earlier) << earlier.error();
}

void DesktopScenario::TearDown()
{
    DesktopEnvironment* environment = DesktopEnvironment::current();
    if (!environment || !environment->ready()) return;
    if (HasFailure()) {
        printDiagnostics();
        // A scenario that stopped mid-chord leaves no key held for the next one (the kernel ignores the release
        // of a key that is up).
        for (int key : {KEY_CAPSLOCK, KEY_LEFTMETA, KEY_LEFTALT, KEY_LEFTCTRL, KEY_LEFTSHIFT})
            (void)keyboard().release(key);
    }
    if (layoutChanged_) {
        const Status restored = changeLayout("us");
        EXPECT_TRUE(restored) << restored.error();
    }
    if (program().process().running()) {
        EXPECT_EQ(program().keysDownOnOutput(), std::vector<int>{});
    }
    // A lock left on would turn every later scenario's typing upper case.
    if (const Result<bool> locked = desktop().capsLockLocked(); locked && *locked) {
        ADD_FAILURE() << "Caps Lock was left locked";
        desktop().setCapsLockLocked(false);
    }
}

void DesktopScenario::printDiagnostics()
{
    std::cout << "--- what the desktop shows ---\n";
    for (ProbeWidget widget : {ProbeWidget::edit, ProbeWidget::line}) {
        const Result<ProbeState> state = probe().state(widget);
        std::cout << (probe_ ? "the scenario's probe, " : "the Qt probe, ") << nameOf(widget) << ": ";
        if (state)
            std::cout << state->text << " (anchor " << state->text.anchor << ", cursor " << state->text.cursor
                      << ", focus " << state->focus << ", window active " << state->active << ", X focus "
                      << state->xFocus << ", quits " << state->quits << ")\n";
        else
            std::cout << "no state: " << state.error() << "\n";
    }
    fetchKeys();
    std::cout << "X key log of the scenario: " << joined(keyLog_) << "\n";
    std::cout << "program log (tail):\n" << lastLines(program().log(), 40, "  ");
    std::cout << "probe output (tail):\n" << lastLines(env().probeProcess().errorOutput(), 10, "  ");
    if (const ChildProcess* gtk = env().gtkProbeProcess())
        std::cout << "GTK probe output (tail):\n" << lastLines(gtk->errorOutput(), 10, "  ");
    // A reader that fell behind the program's keyboard lost events there: libinput says so in the server's log.
    std::istringstream server(desktop().serverLogTail(2000));
    for (std::string line; std::getline(server, line);)
        if (line.find("events have been lost") != std::string::npos || line.find("lagging behind") != std::string::npos)
            std::cout << "X server: " << line << "\n";
    std::cout << std::flush;
}

void DesktopScenario::put(ProbeWidget widget, std::string_view marked)
{
    put(widget, TextState::marked(marked));
}

void DesktopScenario::put(ProbeWidget widget, const TextState& state)
{
    const Status set = probe().set(widget, state);
    ASSERT_TRUE(set) << set.error();
    const Status focused = probe().focus(widget);
    ASSERT_TRUE(focused) << focused.error();
}

void DesktopScenario::fetchKeys()
{
    const Result<std::vector<std::string>> keys = probe().keys();
    if (!keys) {
        ADD_FAILURE() << keys.error();
        return;
    }
    keyLog_.insert(keyLog_.end(), keys->begin(), keys->end());
}

int DesktopScenario::sentinelReleasesLogged() const
{
    const std::string release = "-" + std::string(kSentinelName);
    return static_cast<int>(std::count(keyLog_.begin(), keyLog_.end(), release));
}

ProbeState DesktopScenario::settle(ProbeWidget widget)
{
    Result<ProbeState> state = probe().state(widget);
    if (!state) {
        ADD_FAILURE() << state.error();
        return {};
    }
    fetchKeys();
    const int widgetSentinels = state->sentinels;
    const int loggedSentinels = sentinelReleasesLogged();
    if (!keyboard().tap(kSentinel)) ADD_FAILURE() << "the sentinel cannot be typed";
    const bool arrived = eventually(
        [&] {
            fetchKeys();
            state = probe().state(widget);
            return state && state->sentinels > widgetSentinels && sentinelReleasesLogged() > loggedSentinels;
        },
        kDesktopTimeout);
    if (!state) {
        ADD_FAILURE() << state.error();
        return {};
    }
    if (!arrived)
        ADD_FAILURE() << "the sentinel did not reach "
                      << (state->sentinels > widgetSentinels ? "X's key log" : "the widget") << " in time (focus "
                      << state->focus << ", window active " << state->active << ", X focus " << state->xFocus << ")";
    return *state;
}

void DesktopScenario::type(ProbeWidget widget, std::string_view text)
{
    constexpr std::size_t kEventsPerBurst = 48;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        for (std::size_t events = 0; end < text.size() && events + eventsOf(text[end]) <= kEventsPerBurst; ++end)
            events += eventsOf(text[end]);
        const Status typed = keyboard().typeText(text.substr(start, end - start));
        ASSERT_TRUE(typed) << typed.error();
        settle(widget);
        start = end;
    }
}

bool DesktopScenario::waitForProgramStrokes(int code)
{
    const auto deadline = std::chrono::steady_clock::now() + kDesktopTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::optional<input_event> event = program().output().readEvent(100ms);
        if (event && event->type == EV_KEY && (code == kAnyKey || event->code == code)) return true;
    }
    return false;
}

void DesktopScenario::capsChord(const std::vector<int>& modifiers, int key, Strokes strokes)
{
    program().output().drain();
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    for (int modifier : modifiers) ASSERT_TRUE(keyboard().press(modifier));
    ASSERT_TRUE(keyboard().tap(key));
    if (strokes == Strokes::expected) {
        EXPECT_TRUE(waitForProgramStrokes()) << "the program posted nothing for key " << key;
    }
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) ASSERT_TRUE(keyboard().release(*it));
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
}

std::vector<std::string> DesktopScenario::scenarioKeyLog()
{
    fetchKeys();
    return withoutKey(keyLog_, kSentinelName);
}

std::vector<std::string> DesktopScenario::newKeyLog()
{
    fetchKeys();
    std::vector<std::string> fresh(keyLog_.begin() + static_cast<std::ptrdiff_t>(keyLogMark_), keyLog_.end());
    keyLogMark_ = keyLog_.size();
    return withoutKey(std::move(fresh), kSentinelName);
}

std::size_t DesktopScenario::logged(const std::string& line)
{
    const std::string log = program().log();
    std::size_t n = 0;
    for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + line.size())) ++n;
    return n;
}

bool DesktopScenario::restoredAfter(std::size_t restoresBefore)
{
    return eventually([&] { return restores() > restoresBefore; }, kDesktopTimeout);
}

void DesktopScenario::userCopies(const std::string& text)
{
    const std::size_t storedBefore = logged("store clip to transfer clipboard");
    ASSERT_TRUE(probe().request("clipboard-set " + escapeLine(text)));
    ASSERT_TRUE(eventually([&] { return logged("store clip to transfer clipboard") > storedBefore; }, kDesktopTimeout));
}

void DesktopScenario::setLayout(std::string_view layout)
{
    layoutChanged_ = true;
    const Status set = changeLayout(layout);
    ASSERT_TRUE(set) << set.error();
}

// X types with the new layout at once; the program follows once it has read the new keymap (a tenth of a second
// and more in an emulated machine), and a chord before that would type by the old one.
Status DesktopScenario::changeLayout(std::string_view layout)
{
    constexpr std::string_view reread = "keymap changed, read it again";
    const std::string log = program().log();
    int before = 0;
    for (std::size_t at = log.find(reread); at != std::string::npos; at = log.find(reread, at + 1)) ++before;
    if (Status set = desktop().setLayout(layout); !set) return set;
    if (!program().waitForOutputCount(reread, before + 1))
        return Status::failure("the program did not read the new keymap");
    return Status::success();
}

}  // namespace vandrel::vmtest

// Last: Xlib defines macros (None, Bool, Status ...) that the harness uses as names.
// clang-format off
#include <poll.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace vandrel::vmtest {

namespace {

Atom atom(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

template <class T>
std::vector<T> property(Display* display, Window window, const char* name, Atom type, int format)
{
    Atom actual = 0;
    int actualFormat = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<T> out;
    if (XGetWindowProperty(display, window, atom(display, name), 0, 4096, False, type, &actual, &actualFormat, &count,
                           &after, &data) == Success &&
        data && actualFormat == format)
        out.assign(reinterpret_cast<const T*>(data), reinterpret_cast<const T*>(data) + count);
    if (data) XFree(data);
    return out;
}

}  // namespace

DesktopWindows::DesktopWindows(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str()))
{
    if (!display_) return;
    // Windows come and go while the tree is walked: a window gone meanwhile is no error of the test's.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
}

DesktopWindows::~DesktopWindows()
{
    if (!display_) return;
    for (const Id window : opened_) XDestroyWindow(display_, window);
    XCloseDisplay(display_);
}

DesktopWindows::Id DesktopWindows::active()
{
    const auto windows = property<Window>(display_, DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW", XA_WINDOW, 32);
    return windows.empty() ? 0 : windows.front();
}

std::vector<DesktopWindows::Id> DesktopWindows::stacking()
{
    const auto windows =
        property<Window>(display_, DefaultRootWindow(display_), "_NET_CLIENT_LIST_STACKING", XA_WINDOW, 32);
    return {windows.begin(), windows.end()};
}

bool DesktopWindows::isAbove(Id upper, Id lower)
{
    const std::vector<Id> order = stacking();
    const auto a = std::find(order.begin(), order.end(), upper);
    const auto b = std::find(order.begin(), order.end(), lower);
    return a != order.end() && b != order.end() && a > b;
}

std::string DesktopWindows::title(Id window)
{
    auto text = property<char>(display_, window, "_NET_WM_NAME", atom(display_, "UTF8_STRING"), 8);
    if (text.empty()) text = property<char>(display_, window, "WM_NAME", AnyPropertyType, 8);
    return {text.begin(), text.end()};
}

std::string DesktopWindows::windowClass(Id window)
{
    XClassHint hint{};
    if (!XGetClassHint(display_, window, &hint)) return {};
    const std::string out = std::string(hint.res_name) + "," + hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return out;
}

DesktopWindows::Id DesktopWindows::client(const std::string& prefix, long pid)
{
    for (const Window window :
         property<Window>(display_, DefaultRootWindow(display_), "_NET_CLIENT_LIST", XA_WINDOW, 32)) {
        const auto pids = property<long>(display_, window, "_NET_WM_PID", XA_CARDINAL, 32);
        if ((!pid || (!pids.empty() && pids.front() == pid)) && title(window).rfind(prefix, 0) == 0) return window;
    }
    return 0;
}

DesktopWindows::Id DesktopWindows::find(long pid,
                                        const std::function<bool(int width, int height, bool overrideRedirect)>& accept,
                                        bool managed, int depth)
{
    const auto clients = property<Window>(display_, DefaultRootWindow(display_), "_NET_CLIENT_LIST", XA_WINDOW, 32);
    std::function<Id(Window, int)> walk = [&](Window under, int level) -> Id {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, under, &root, &parent, &children, &count)) return 0;
        Id found = 0;
        for (unsigned int i = 0; i < count && !found; ++i) {
            XWindowAttributes a{};
            const auto pids = property<long>(display_, children[i], "_NET_WM_PID", XA_CARDINAL, 32);
            const bool isClient = std::find(clients.begin(), clients.end(), children[i]) != clients.end();
            if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable && !pids.empty() &&
                pids.front() == pid && (managed || !isClient) && accept(a.width, a.height, a.override_redirect))
                found = children[i];
            else if (level < depth)
                found = walk(children[i], level + 1);
        }
        if (children) XFree(children);
        return found;
    };
    return walk(DefaultRootWindow(display_), 1);
}

DesktopWindows::Id DesktopWindows::open(const std::string& title)
{
    const Window window =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 300, 200, 320, 200, 0, 0, 0xffffff);
    char instance[] = "vandrel-other";
    char className[] = "VandrelOther";
    XClassHint hint{instance, className};
    XSetClassHint(display_, window, &hint);
    XStoreName(display_, window, title.c_str());
    const long pid = getpid();
    XChangeProperty(display_, window, atom(display_, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(display_, window);
    XSync(display_, False);
    opened_.push_back(window);
    return window;
}

void DesktopWindows::focus(Id window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom(display_, "_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display_, False);
}

void DesktopWindows::click(Id window, Id covering)
{
    // Where a window lies on the root window; with `framed`, the frame the manager put around it.
    const auto area = [this](Window w, bool framed) {
        for (Window root = 0, parent = 0, *children = nullptr; framed;) {
            unsigned int count = 0;
            if (!XQueryTree(display_, w, &root, &parent, &children, &count)) break;
            if (children) XFree(children);
            if (parent == root || !parent) break;
            w = parent;
        }
        XWindowAttributes a{};
        XGetWindowAttributes(display_, w, &a);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return std::array<int, 4>{x, y, a.width, a.height};
    };
    const auto inside = area(window, false);
    const auto avoid = covering ? area(covering, true) : std::array<int, 4>{};
    const auto covered = [&](int x, int y) {
        return x >= avoid[0] && y >= avoid[1] && x < avoid[0] + avoid[2] && y < avoid[1] + avoid[3];
    };
    int x = inside[0] + inside[2] / 2, y = inside[1] + inside[3] / 2;
    for (const double fx : {0.1, 0.9})
        for (const double fy : {0.1, 0.9})
            if (covered(x, y)) {
                x = inside[0] + static_cast<int>(inside[2] * fx);
                y = inside[1] + static_cast<int>(inside[3] * fy);
            }
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XFlush(display_);
}

int DesktopWindows::activeChangesWithin(std::chrono::milliseconds span)
{
    const Atom activeAtom = atom(display_, "_NET_ACTIVE_WINDOW");
    while (XPending(display_)) {
        XEvent stale;
        XNextEvent(display_, &stale);
    }
    int changes = 0;
    Id last = active();
    const auto deadline = std::chrono::steady_clock::now() + span;
    for (auto now = std::chrono::steady_clock::now(); now < deadline; now = std::chrono::steady_clock::now()) {
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()));
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == PropertyNotify && event.xproperty.atom == activeAtom && active() != last) {
                last = active();
                ++changes;
            }
        }
    }
    return changes;
}

}  // namespace vandrel::vmtest
