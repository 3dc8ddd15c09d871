// A desktop inside the test VM, as a user's X session has it: udev announcing the kernel's input devices, an
// X server (Xorg with the dummy video driver) reading every keyboard through libinput with a US pc105 layout,
// and fluxbox managing windows. Only for the throwaway VM of run-vm: it runs as root, masks a udev rule under
// /etc and starts system daemons, so it refuses to start anywhere else.
//
// Start-up, bounded at each step: udevd with the module-loading rule masked (the VM's modules are loaded
// already; a full coldplug would load some 25 more for seconds), a trigger of the input subsystem only, Xorg
// on display :1 until it answers a client with X's own key repeat off (a slow machine would otherwise see
// repeats of keys it holds), and fluxbox launched. Fluxbox takes seconds to come up under emulation: clients
// may start meanwhile, and waitForWindowManager() waits until it announces itself on the root window.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness/child_process.h"
#include "harness/result.h"

struct _XDisplay;

namespace vandrel::vmtest {

class DesktopSession {
public:
    using Milliseconds = std::chrono::milliseconds;
    using Environment = std::vector<std::pair<std::string, std::string>>;

    static Result<std::unique_ptr<DesktopSession>> start();
    Status waitForWindowManager();
    ~DesktopSession();

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    const std::string& displayName() const { return displayName_; }
    // A fresh folder for this run's files: the server's configuration and log, sockets of the test's clients.
    const std::string& folder() const { return folder_; }
    // What an X client started by the test needs in its environment (Qt included).
    Environment clientEnvironment() const;

    // Whether the X server still runs.
    bool running();
    // The names of the input devices X has (XInput2), masters and slaves.
    std::vector<std::string> inputDeviceNames();
    // Waits until X has added a device of that name (keys of a keyboard X does not read yet are lost), or, with
    // `listed` false, until X has removed every device of that name.
    Status waitForInputDevice(std::string_view name, Milliseconds timeout, bool listed = true);

    // The XKB Caps Lock lock of the core keyboard (XkbGetState), and setting it (for clean-up only).
    Result<bool> capsLockLocked();
    Status setCapsLockLocked(bool locked);
    // Loads another keyboard layout for every keyboard, as a user does with setxkbmap.
    Status setLayout(std::string_view layout, Milliseconds timeout = Milliseconds(15000));

    // The last lines of the X server's log and of the window manager's output.
    std::string serverLogTail(std::size_t lines = 30) const;
    // How long each start-up step took, for the test's output.
    const std::string& startupTimes() const { return startupTimes_; }

private:
    DesktopSession() = default;
    Status startUdev();
    Status startServer();
    Status launchWindowManager();
    void noteStep(std::string_view step);

    std::string folder_;
    std::string displayName_ = ":1";
    std::optional<ChildProcess> udevd_;
    std::optional<ChildProcess> server_;
    std::optional<ChildProcess> windowManager_;
    _XDisplay* display_ = nullptr;
    std::chrono::steady_clock::time_point started_;
    std::string startupTimes_;
};

}  // namespace vandrel::vmtest
