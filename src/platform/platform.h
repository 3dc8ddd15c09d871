// The platform seam: everything the program needs of the desktop it runs on, behind interfaces with two
// implementations, the simulated platform of the tests (platform/sim) and the Linux backend.
//
// Components that have state receive the Platform they use; the few static call sites of the model (a key
// posting itself, for instance) reach the process-wide instance through Platform::shared(), which the
// program, or a test, installs with installPlatform().
//
// Threads: tap callbacks and raw key reports run on the platform's input thread (Linux: a dedicated thread,
// so a busy GUI thread never stalls the keyboard; the simulated platform: the thread that drives its
// keyboard). Workspace notifications arrive on the main thread. Every other call may be made from any
// thread unless its interface says otherwise.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/installed_instance.h"
#include "platform/event_tap.h"
#include "platform/hid_keyboard.h"
#include "platform/keyboard_layout.h"
#include "platform/pasteboard_server.h"
#include "platform/window_system.h"
#include "platform/workspace.h"
#include "rx/scheduler.h"

namespace vandrel {

class Platform {
public:
    virtual ~Platform() = default;

    virtual EventTapService& eventTaps() = 0;
    virtual HidKeyboard& hidKeyboard() = 0;
    virtual Workspace& workspace() = 0;
    virtual KeyboardLayout& keyboardLayout() = 0;
    virtual WindowSystem& windowSystem() = 0;
    virtual PasteboardServer& pasteboards() = 0;

    // Whether this process may watch and rewrite keyboard input (Linux: read access to the keyboards and
    // write access to the uinput device). With prompt, the platform may also ask the user for it.
    virtual bool isInputAccessTrusted(bool prompt) = 0;
    // What of that access is missing, one line each for the user (empty when granted), and the shell
    // commands that grant it, one per line (empty when there are none to give). Neither logs.
    virtual std::vector<std::string> missingInputAccess()
    {
        if (isInputAccessTrusted(false)) return {};
        return {"input access"};
    }
    virtual std::string inputAccessGrantCommands() { return {}; }

    // Where the taps' callbacks run, for jobs that must stay in order with them (Linux: the input thread);
    // null when they run on the thread that drives the keyboard (the simulated platform).
    virtual rx::SchedulerPtr inputThreadScheduler() { return nullptr; }
    // Opens what taking the keyboards needs, where the access is there, off the calling thread and grabbing
    // nothing, so that the first use of the mapping or the taps finds it ready. Does nothing otherwise.
    virtual void prepareInput() {}
    // Lets every device go and releases every key on the output, at shutdown. Later calls do nothing.
    virtual void shutdown() {}

    // The installed instance, or null when none is installed.
    static std::shared_ptr<Platform> shared();
    static InstalledInstance<Platform>& installed();
};

// Installs the process-wide instance (null uninstalls it) and returns the one it replaces.
std::shared_ptr<Platform> installPlatform(std::shared_ptr<Platform> platform);

}  // namespace vandrel
