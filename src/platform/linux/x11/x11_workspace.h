// Workspace on an X11 session. The running applications are the processes that own client windows, in the
// order their first windows were mapped; the frontmost is the owner of the active window. An application's
// identity is its desktop entry (id, name, entry file) where one matches the program, else its window class,
// else its process name; identities are kept per process while the process lives.
//
// Activation notices follow the active window (root PropertyNotify, on the desktop's watcher thread): the
// frontmost snapshot is published there at once, and the notices are delivered on the main thread, one for each change
// of the owning process, as with a desktop whose notices are per application; an active window whose process cannot be
// told gives an absent value.
//
// Secure input: Linux has none; it reads on while the login session is locked. Sleep and wake come from the
// session (logind). Without a display every query is empty; launching and opening URLs still work.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop/desktop_entry_index.h"
#include "platform/linux/desktop/desktop_launcher.h"
#include "platform/linux/session/logind_session.h"
#include "platform/linux/x11/x11_desktop.h"
#include "platform/workspace.h"
#include "rx/disposable.h"

namespace vandrel {

class X11Workspace final : public Workspace {
public:
    struct Options {
        std::shared_ptr<X11Desktop> desktop{};         // null: X11Desktop::open() ($DISPLAY)
        std::shared_ptr<LogindSession> session{};      // null: never locked, never sleeps
        std::shared_ptr<DesktopEntryIndex> entries{};  // null: the XDG applications folders
        ProcessStarter startProcess{};                 // null: detached processes
        std::optional<std::string> gioProgram{};       // see DesktopLauncher
        // Runs a job on the main thread; null: queued to the Qt application object's thread.
        std::function<void(std::function<void()>)> postToMain{};
    };

    X11Workspace();
    explicit X11Workspace(Options options);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> runningApplication(std::int32_t processIdentifier) override;
    rx::Observable<std::optional<RunningApplication>> didActivateApplication() override;
    rx::Observable<PowerEvent> powerEvents() override;
    bool isSecureEventInputEnabled() override;
    rx::Observable<bool> secureEventInputChanges() override;
    std::string secureInputHolderReport() override;
    bool openUrl(const std::string& url) override;
    bool launchApplication(const std::string& bundleIdentifier) override;
    bool launchApplicationNamed(const std::string& name) override;
    std::optional<RunningApplication> launchApplicationAtUrl(const std::string& url) override;

    const std::shared_ptr<X11Desktop>& desktop() const { return desktop_; }

private:
    struct Notices;
    struct Identity {
        RunningApplication app;
        bool movesToWordStarts = false;
        std::uint64_t startTime = 0;
        std::uint64_t generation = 0;
    };

    // The application of a process, with a window of it when one is known (for its class).
    std::optional<RunningApplication> applicationOf(std::int32_t pid, std::optional<X11WindowId> window);
    Identity identityOf(std::int32_t pid, std::optional<X11WindowId> window);
    Identity identify(std::int32_t pid, std::optional<X11WindowId> window);
    // The active window's application, when its process can be told.
    std::optional<Identity> frontmostIdentity();
    ActivationPolicy policyOf(std::int32_t pid);
    void onActiveWindowChanged();
    // Brings a running application's topmost window forward; false when it has none.
    bool activateProcess(std::int32_t pid);
    std::optional<RunningApplication> runningWhere(const std::function<bool(const RunningApplication&)>& matches);

    const std::shared_ptr<X11Desktop> desktop_;
    const std::shared_ptr<LogindSession> session_;
    const std::shared_ptr<DesktopEntryIndex> entries_;
    DesktopLauncher launcher_;
    std::function<void(std::function<void()>)> postToMain_;
    const std::shared_ptr<Notices> notices_;

    std::mutex identitiesMutex_;
    std::map<std::int32_t, Identity> identities_;

    std::int32_t lastActivePid_ = 0;  // watcher thread only, after construction
    rx::Disposable watch_;
};

}  // namespace vandrel
