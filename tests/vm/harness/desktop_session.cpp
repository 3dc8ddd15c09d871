#include "harness/desktop_session.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
// Xlib names its result type with a macro that would hide the harness's Status.
#undef Status
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "harness/text_lines.h"
#include "harness/time_bounds.h"

namespace vandrel::vmtest {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Set by the VM's init (run-vm); nowhere else should a test start system daemons as root.
constexpr const char* kVmMarker = "/run/vandrel-vm";
constexpr const char* kMaskedRule = "/etc/udev/rules.d/80-drivers.rules";
const std::chrono::milliseconds kStepTimeout = scaled(120000ms);

// The dummy video driver needs no GPU; GLX would load a software renderer for seconds. Keyboards come from udev
// only, read by libinput, with the layout the tests type in.
constexpr const char* kServerConfig = R"(Section "ServerFlags"
    Option "AutoAddDevices" "on"
    Option "AutoEnableDevices" "on"
    Option "AutoAddGPU" "off"
    Option "DontVTSwitch" "on"
EndSection
Section "Module"
    Disable "glx"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 16384
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "1280x800" 83.46 1280 1344 1480 1680 800 801 804 828
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1280x800"
    EndSubSection
EndSection
Section "InputClass"
    Identifier "keyboards"
    MatchIsKeyboard "on"
    MatchDevicePath "/dev/input/event*"
    Driver "libinput"
    Option "XkbModel" "pc105"
    Option "XkbLayout" "us"
EndSection
)";

// Polls `condition` every 20 ms until it holds or `timeout` passes: it waits on other processes, not on a timer.
template <class Condition>
bool pollUntil(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        struct timespec pause {
            0, 20'000'000
        };
        nanosleep(&pause, nullptr);
    }
}

std::string firstExisting(std::initializer_list<const char*> paths)
{
    for (const char* path : paths)
        if (::access(path, X_OK) == 0) return path;
    return {};
}

// Runs a command to its end; a failure carries its output.
Status runToEnd(const std::string& program, std::vector<std::string> args, DesktopSession::Environment env,
                std::chrono::milliseconds timeout)
{
    ChildProcess::Options options;
    options.program = program;
    options.args = std::move(args);
    options.env = std::move(env);
    Result<ChildProcess> child = ChildProcess::start(std::move(options));
    if (!child) return Status::failure(program + ": " + child.error());
    const std::optional<ExitStatus> status = child->wait(timeout);
    if (!status) {
        child->stop();
        return Status::failure(program + " did not finish in time; output:\n" + child->output() + child->errorOutput());
    }
    if (!status->exitedWith(0))
        return Status::failure(program + " failed (" + status->describe() + "):\n" + child->output() +
                               child->errorOutput());
    return Status::success();
}

}  // namespace

Result<std::unique_ptr<DesktopSession>> DesktopSession::start()
{
    using R = Result<std::unique_ptr<DesktopSession>>;
    if (::access(kVmMarker, F_OK) != 0)
        return R::failure("the desktop starts only inside the test VM (run-vm): it runs system daemons as root");
    std::unique_ptr<DesktopSession> session(new DesktopSession);
    session->started_ = Clock::now();
    char folder[] = "/tmp/vandrel-desktop.XXXXXX";
    if (!mkdtemp(folder)) return R::failure(std::string("mkdtemp: ") + std::strerror(errno));
    session->folder_ = folder;
    for (Status (DesktopSession::*step)() :
         {&DesktopSession::startUdev, &DesktopSession::startServer, &DesktopSession::launchWindowManager}) {
        const Status status = (session.get()->*step)();
        if (!status) return R::failure(status.error() + "\n" + session->serverLogTail());
    }
    return R::success(std::move(session));
}

DesktopSession::~DesktopSession()
{
    if (display_) XCloseDisplay(display_);
    // The window manager first, then the server, then udev: each may still talk to the next.
    for (std::optional<ChildProcess>* child : {&windowManager_, &server_, &udevd_})
        if (*child && (*child)->running()) (*child)->stop(2000ms);
}

void DesktopSession::noteStep(std::string_view step)
{
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    char line[128];
    std::snprintf(line, sizeof line, "%.*s after %.1f s\n", static_cast<int>(step.size()), step.data(), seconds);
    startupTimes_ += line;
}

Status DesktopSession::startUdev()
{
    const std::string udevd = firstExisting({"/lib/systemd/systemd-udevd", "/usr/lib/systemd/systemd-udevd"});
    if (udevd.empty()) return Status::failure("systemd-udevd is not installed (package udev)");
    // The VM's modules are loaded already; masking the rule spares a coldplug that loads dozens more.
    ::mkdir("/etc/udev/rules.d", 0755);
    ::unlink(kMaskedRule);
    if (::symlink("/dev/null", kMaskedRule) != 0)
        return Status::failure(std::string("cannot mask ") + kMaskedRule + ": " + std::strerror(errno));
    // systemd's tools refuse to act in a chroot, which is what the VM runs the test in.
    const Environment env{{"SYSTEMD_IGNORE_CHROOT", "1"}};
    ChildProcess::Options options;
    options.program = udevd;
    options.env = env;
    Result<ChildProcess> child = ChildProcess::start(std::move(options));
    if (!child) return Status::failure("systemd-udevd: " + child.error());
    udevd_.emplace(std::move(child).value());
    if (!pollUntil([] { return ::access("/run/udev/control", F_OK) == 0; }, kStepTimeout))
        return Status::failure("systemd-udevd did not open its control socket:\n" + udevd_->errorOutput());
    if (Status s = runToEnd("udevadm", {"trigger", "--action=add", "--subsystem-match=input"}, env, kStepTimeout); !s)
        return s;
    if (Status s = runToEnd("udevadm", {"settle", "--timeout=" + std::to_string(kStepTimeout.count() / 1000)}, env,
                            kStepTimeout + 10000ms);
        !s)
        return s;
    noteStep("udev settled");
    return Status::success();
}

Status DesktopSession::startServer()
{
    const std::string config = folder_ + "/xorg.conf";
    {
        std::ofstream out(config);
        out << kServerConfig;
        if (!out) return Status::failure("cannot write " + config);
    }
    const std::string xorg = firstExisting({"/usr/lib/xorg/Xorg", "/usr/bin/Xorg"});
    if (xorg.empty()) return Status::failure("Xorg is not installed (package xserver-xorg-core)");
    ChildProcess::Options options;
    options.program = xorg;
    options.args = {displayName_, "-config", config, "-noreset", "-nolisten", "tcp", "-logfile", folder_ + "/xorg.log"};
    Result<ChildProcess> child = ChildProcess::start(std::move(options));
    if (!child) return Status::failure("Xorg: " + child.error());
    server_.emplace(std::move(child).value());
    // The server reads the program's keyboard, which holds 64 events for it, and an action's thirty strokes come
    // at one a millisecond: on the VM's two emulated processors the server would otherwise wait behind the
    // applications it serves, which a desktop's many cores rarely make it do.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(server_->pid()), -10) != 0)
        std::cerr << "the X server keeps the usual priority: " << std::strerror(errno) << "\n";
    // The socket exists long before the server answers: only an open connection says it is ready.
    const bool ready = pollUntil(
        [this] {
            if (!server_->running()) return true;
            display_ = XOpenDisplay(displayName_.c_str());
            return display_ != nullptr;
        },
        kStepTimeout);
    if (!display_)
        return Status::failure(std::string("the X server ") + (ready ? "ended" : "did not answer in time") + ":\n" +
                               server_->errorOutput());
    XAutoRepeatOff(display_);
    XSync(display_, False);
    noteStep("X server ready");
    return Status::success();
}

Status DesktopSession::launchWindowManager()
{
    // A home of its own: a configuration of the current version keeps fluxbox from upgrading it and restarting,
    // and a stand-in for its wallpaper setter keeps a message window from turning up and taking the focus.
    const std::string home = folder_ + "/fluxbox-home";
    std::error_code error;
    std::filesystem::create_directories(home + "/.fluxbox", error);
    std::filesystem::create_directories(home + "/bin", error);
    std::ofstream(home + "/.fluxbox/init") << "session.configVersion: 13\n";
    std::ofstream(home + "/bin/fbsetbg") << "#!/bin/sh\nexit 0\n";
    std::filesystem::permissions(home + "/bin/fbsetbg", std::filesystem::perms::owner_all, error);
    if (error) return Status::failure("cannot prepare the window manager's home " + home + ": " + error.message());
    const char* path = std::getenv("PATH");
    ChildProcess::Options options;
    options.program = "fluxbox";
    options.args = {"-display", displayName_};
    options.env = clientEnvironment();
    options.env.push_back({"HOME", home});
    options.env.push_back({"PATH", home + "/bin:" + (path ? path : "/usr/bin:/bin")});
    Result<ChildProcess> child = ChildProcess::start(std::move(options));
    if (!child) return Status::failure("fluxbox: " + child.error());
    windowManager_.emplace(std::move(child).value());
    return Status::success();
}

Status DesktopSession::waitForWindowManager()
{
    if (!windowManager_) return Status::failure("no window manager was launched");
    // An EWMH window manager announces itself with a check window on the root.
    const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
    const bool announced = pollUntil(
        [&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            const bool found = XGetWindowProperty(display_, DefaultRootWindow(display_), check, 0, 1, False, XA_WINDOW,
                                                  &type, &format, &count, &after, &data) == Success &&
                               count == 1;
            if (data) XFree(data);
            return found || !windowManager_->running();
        },
        kStepTimeout);
    if (!announced || !windowManager_->running())
        return Status::failure("fluxbox did not start:\n" + windowManager_->errorOutput());
    noteStep("window manager ready");
    return Status::success();
}

DesktopSession::Environment DesktopSession::clientEnvironment() const
{
    return {{"DISPLAY", displayName_}, {"QT_QPA_PLATFORM", "xcb"}};
}

bool DesktopSession::running()
{
    return server_ && server_->running();
}

std::vector<std::string> DesktopSession::inputDeviceNames()
{
    std::vector<std::string> names;
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display_, XIAllDevices, &count);
    for (int i = 0; devices && i < count; ++i) names.emplace_back(devices[i].name);
    if (devices) XIFreeDeviceInfo(devices);
    return names;
}

Status DesktopSession::waitForInputDevice(std::string_view name, Milliseconds timeout, bool listed)
{
    const bool reached = pollUntil(
        [&] {
            const std::vector<std::string> names = inputDeviceNames();
            return (std::find(names.begin(), names.end(), name) != names.end()) == listed;
        },
        timeout);
    if (reached) return Status::success();
    std::string known;
    for (const std::string& n : inputDeviceNames()) known += "\n  " + n;
    return Status::failure("X " + std::string(listed ? "has no" : "still has an") + " input device '" +
                           std::string(name) + "' after " + std::to_string(timeout.count()) + " ms; it has:" + known);
}

Result<bool> DesktopSession::capsLockLocked()
{
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return Result<bool>::failure("XkbGetState failed");
    return Result<bool>::success((state.locked_mods & LockMask) != 0);
}

Status DesktopSession::setCapsLockLocked(bool locked)
{
    if (!XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, locked ? LockMask : 0))
        return Status::failure("XkbLockModifiers failed");
    XSync(display_, False);
    return Status::success();
}

Status DesktopSession::setLayout(std::string_view layout, Milliseconds timeout)
{
    return runToEnd("setxkbmap", {"-display", displayName_, std::string(layout)}, {}, timeout);
}

std::string DesktopSession::serverLogTail(std::size_t lines) const
{
    std::string out;
    std::ifstream log(folder_ + "/xorg.log");
    if (log) {
        std::stringstream text;
        text << log.rdbuf();
        out += "--- X server log (tail) ---\n" + lastLines(text.str(), lines);
    }
    if (windowManager_) out += "--- fluxbox (tail) ---\n" + lastLines(windowManager_->errorOutput(), 10);
    return out;
}

}  // namespace vandrel::vmtest
