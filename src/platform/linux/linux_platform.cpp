#include "platform/linux/linux_platform.h"

#include <iostream>

#include "core/dispatch_queues.h"
#include "core/log.h"
#include "core/serial_queue.h"
#include "platform/linux/clipboard/linux_pasteboard_server.h"
#include "platform/linux/input/evdev_device_source.h"
#include "platform/linux/input/input_permission.h"
#include "platform/linux/input/input_signal_guard.h"
#include "platform/linux/input/input_xkb_caps_lock_indicator.h"
#include "platform/linux/input/uinput_device.h"
#include "platform/linux/session/logind_dbus_session.h"
#include "platform/linux/x11/x11_window_system.h"
#include "platform/linux/x11/x11_workspace.h"
#include "platform/linux/x11/xkb_keyboard_layout.h"
#include "platform/terminal_applications.h"

namespace vandrel {

std::shared_ptr<LinuxPlatform> LinuxPlatform::make(Options options)
{
    return std::make_shared<LinuxPlatform>(std::move(options));
}

LinuxPlatform::LinuxPlatform(Options options) : options_(std::move(options))
{
    std::shared_ptr<LogindSession> session = options_.session;
    if (!session) session = std::make_shared<LogindDbusSession>();

    InputBackend::Options input;
    input.passThrough = std::shared_ptr<const std::atomic<bool>>(session->keyFlags(), &session->keyFlags()->locked);
    input.sessionActive = std::shared_ptr<const std::atomic<bool>>(session->keyFlags(), &session->keyFlags()->active);
    input.source = std::make_shared<EvdevDeviceSource>(options_.inputDirectory);
    input.makeOutput = [path = options_.uinputPath]() -> std::unique_ptr<InputOutputDevice> {
        return UinputDevice::create(path);
    };
    input.scheduler = options_.scheduler ? options_.scheduler : DispatchQueues::watchdogs();
    backend_ = std::make_shared<InputBackend>(std::move(input));
    // The watcher set the flag; the input thread, woken, lets go or takes the keyboards again itself.
    sessionFollow_ = session->activeChanges().subscribe([backend = std::weak_ptr<InputBackend>(backend_)](bool) {
        if (const auto b = backend.lock()) b->followSession();
    });

    X11Workspace::Options desktop;
    desktop.desktop = X11Desktop::open(options_.displayName);
    desktop.session = session;
    auto workspace = std::make_shared<X11Workspace>(desktop);
    workspace_ = workspace;
    windows_ = std::make_unique<X11WindowSystem>(desktop.desktop, workspace_);
    layout_ = std::make_shared<XkbKeyboardLayout>(options_.displayName);
    pasteboards_ = std::make_unique<LinuxPasteboardServer>();

    // The input thread asks while it posts: the published snapshot, never a round trip to the X server.
    taps_ = std::make_unique<LinuxEventTapService>(backend_, Workspace::terminalLikeProbe(workspace_), layout_);
    std::weak_ptr<Workspace> weakWorkspace = workspace_;
    taps_->setTerminalClipboardKeys([weakWorkspace] {
        const auto ws = weakWorkspace.lock();
        const auto snapshot = ws ? ws->frontmostSnapshot() : nullptr;
        return snapshot && snapshot->application ? TerminalApplications::clipboardKeys(*snapshot->application)
                                                 : TerminalClipboardKeys::ctrlShift;
    });
    hid_ = std::make_unique<LinuxHidKeyboard>(
        backend_, InputXkbCapsLockIndicator::open(options_.displayName.value_or(std::string())));
}

LinuxPlatform::~LinuxPlatform()
{
    sessionFollow_.dispose();
    if (preparing_.joinable()) preparing_.join();
    // Keyboards first: nothing may stay grabbed while the rest goes down.
    taps_.reset();
    hid_.reset();
    backend_->stop();
}

void LinuxPlatform::prepareInput()
{
    if (preparing_.joinable()) return;
    // Making the virtual keyboard and opening each keyboard takes a while on a slow machine; the program makes
    // its engine meanwhile. Without access, the backend is left alone: it starts once access is granted.
    preparing_ = std::thread([this] {
        setCurrentThreadLabel("Vandrel.inputPrepare");
        if (InputPermission::granted(options_.inputDirectory, options_.uinputPath)) backend_->start();
    });
}

void LinuxPlatform::shutdown()
{
    if (preparing_.joinable()) preparing_.join();
    backend_->stop();
}

bool LinuxPlatform::isInputAccessTrusted(bool prompt)
{
    // The whole picture only when something is missing, for the report.
    const bool granted = InputPermission::granted(options_.inputDirectory, options_.uinputPath);
    const auto status =
        granted ? InputPermission::Status{} : InputPermission::check(options_.inputDirectory, options_.uinputPath);
    if (granted || status.granted()) {
        lastPermissionReport_.clear();
        return true;
    }
    const auto report = InputPermission::explain(status, options_.uinputPath);
    if (report != lastPermissionReport_) log.error(report);
    lastPermissionReport_ = report;
    if (prompt) std::cerr << report << std::flush;
    return false;
}

std::vector<std::string> LinuxPlatform::missingInputAccess()
{
    return InputPermission::missing(InputPermission::check(options_.inputDirectory, options_.uinputPath),
                                    options_.uinputPath);
}

std::string LinuxPlatform::inputAccessGrantCommands()
{
    return InputPermission::grantCommands(InputPermission::check(options_.inputDirectory, options_.uinputPath));
}

bool LinuxPlatform::installSignalSafety(std::function<void(int)> onTerminate)
{
    return InputSignalGuard::install(std::move(onTerminate));
}

}  // namespace vandrel
