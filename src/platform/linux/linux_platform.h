// The Linux platform: the keyboard path (input backend over evdev and uinput, event taps, posting, key
// mapping, lock state, raw keys), the X11 desktop (workspace, windows, keyboard layout, the clipboard through
// QClipboard when the program runs a QGuiApplication) and the login session (lock state, sleep and wake).
//
// The program makes one at start and installs it:
//
//   auto platform = LinuxPlatform::make();                 // nothing is grabbed yet
//   installPlatform(platform);
//   LinuxPlatform::installSignalSafety([](int) { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit); });
//   if (!platform->isInputAccessTrusted(false)) ...        // logs what is missing and how to grant it
//
// The keyboards are opened, and the output keyboard made, on the first use of the taps, the key mapping,
// posting or the raw-key observer. They are grabbed while a tap or a key mapping exists, and let go when the
// platform is destroyed, on SIGINT/SIGTERM (once installSignalSafety was called) and on a fatal signal.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/linux/input/input_backend.h"
#include "platform/linux/input/linux_event_tap_service.h"
#include "platform/linux/input/linux_hid_keyboard.h"
#include "platform/linux/session/logind_session.h"
#include "platform/linux/x11/xkb_keyboard_layout.h"
#include "platform/platform.h"
#include "rx/scheduler.h"

namespace vandrel {

class LinuxPlatform final : public Platform {
public:
    struct Options {
        // Watchdog ticks and retries of new keyboards; null: a serial queue of the platform's own.
        rx::SchedulerPtr scheduler;
        std::string inputDirectory = "/dev/input";
        std::string uinputPath = "/dev/uinput";
        // The X display; absent: $DISPLAY.
        std::optional<std::string> displayName;
        // The login session (locked: secure input, every key passes untouched; sleep and wake); null:
        // logind on the system bus, followed from the thread that makes the platform (the main thread).
        std::shared_ptr<LogindSession> session;
    };

    static std::shared_ptr<LinuxPlatform> make(Options options);
    static std::shared_ptr<LinuxPlatform> make() { return make(Options{}); }
    explicit LinuxPlatform(Options options);
    ~LinuxPlatform() override;

    LinuxEventTapService& eventTaps() override { return *taps_; }
    LinuxHidKeyboard& hidKeyboard() override { return *hid_; }
    Workspace& workspace() override { return *workspace_; }
    KeyboardLayout& keyboardLayout() override { return *layout_; }
    WindowSystem& windowSystem() override { return *windows_; }
    PasteboardServer& pasteboards() override { return *pasteboards_; }

    // Read access to a keyboard and write access to /dev/uinput. When either is missing, logs exactly what
    // and how to grant it (with prompt, also on standard error for the user at the terminal).
    bool isInputAccessTrusted(bool prompt) override;
    std::vector<std::string> missingInputAccess() override;
    std::string inputAccessGrantCommands() override;

    rx::SchedulerPtr inputThreadScheduler() override { return backend_->inputThreadScheduler(); }
    // The virtual keyboard is made and the keyboards are opened (not grabbed) on a thread of its own.
    void prepareInput() override;
    void shutdown() override;

    InputBackend& inputBackend() { return *backend_; }

    // SIGINT, SIGTERM and SIGHUP let every keyboard go and release every key on the output keyboard, then call
    // onTerminate with the signal on a thread of their own (null: the signal's default action ends the
    // process); fatal signals let go at once. Call once, early.
    static bool installSignalSafety(std::function<void(int signal)> onTerminate);

private:
    const Options options_;
    std::shared_ptr<InputBackend> backend_;
    rx::Disposable sessionFollow_;
    std::unique_ptr<LinuxEventTapService> taps_;
    std::unique_ptr<LinuxHidKeyboard> hid_;
    std::shared_ptr<Workspace> workspace_;
    std::shared_ptr<XkbKeyboardLayout> layout_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<PasteboardServer> pasteboards_;
    std::string lastPermissionReport_;
    std::thread preparing_;
};

}  // namespace vandrel
