// The desktop as a whole: running applications and which one is frontmost, activation notifications,
// launching and opening, secure input, sleep and wake.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/running_application.h"
#include "rx/creation.h"
#include "rx/observable.h"

namespace vandrel {

enum class PowerEvent { willSleep, didWake };

class Workspace {
public:
    virtual ~Workspace() = default;

    // Every call may be made from any thread; only the notifications have a thread of their own. A query
    // may wait on the desktop (a round trip to the X server): the input thread reads frontmostSnapshot().
    virtual std::optional<RunningApplication> frontmostApplication() = 0;

    // The frontmost application as the desktop side last published it, whether it is terminal-like, and how
    // its text moves by words. A read of a published value: it never waits on the desktop, so the input thread
    // may ask. Implementations publish on every change of the active application; until the first, nothing is
    // frontmost.
    struct FrontmostSnapshot {
        std::optional<RunningApplication> application;
        bool terminalLike = false;
        // Ctrl+Right goes to the start of the next word (Qt's text widgets, LibreOffice), not to the end of this
        // one (GTK, Firefox): told by what the application's window and process show.
        bool movesToWordStarts = false;
    };
    std::shared_ptr<const FrontmostSnapshot> frontmostSnapshot() const { return frontmost_.load(); }
    bool isFrontmostTerminalLike() const { return frontmost_.load()->terminalLike; }
    // isFrontmostTerminalLike() of a workspace held weakly: false once it is gone.
    static std::function<bool()> terminalLikeProbe(std::weak_ptr<Workspace> workspace);
    // In the desktop's own order.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication> runningApplication(std::int32_t processIdentifier);
    virtual std::vector<RunningApplication> runningApplicationsWithBundleId(const std::string& bundleIdentifier);

    // One value per activation of an application, on the main thread; the value is absent when the
    // notification names no usable application.
    virtual rx::Observable<std::optional<RunningApplication>> didActivateApplication() = 0;

    // Sleep and wake of the machine, on the main thread.
    virtual rx::Observable<PowerEvent> powerEvents() = 0;

    // Whether some application holds secure keyboard input now (Linux has none: always false).
    virtual bool isSecureEventInputEnabled() = 0;
    // Each change of isSecureEventInputEnabled(), on whatever thread learns it; none by default.
    virtual rx::Observable<bool> secureEventInputChanges() { return rx::never<bool>(); }
    // The system's description of the secure-input holder, in which a holder shows as
    // "kCGSSessionSecureInputPID"=<pid>; empty when the system has nothing to say. May block.
    virtual std::string secureInputHolderReport() = 0;

    virtual bool openUrl(const std::string& url) = 0;
    // Launches (or brings forward) an application the desktop knows (by its desktop-entry id, or by its name);
    // never a path or a program of that name. True when the request was accepted.
    virtual bool launchApplication(const std::string& bundleIdentifier) = 0;
    virtual bool launchApplicationNamed(const std::string& name) = 0;
    virtual std::optional<RunningApplication> launchApplicationAtUrl(const std::string& url) = 0;

    // Identities (see RunningApplication::bundleIdentifier) of terminal-like applications, in which
    // editing strokes follow Emacs-style and terminal conventions: the platform's own list and the user's
    // additions. Compared without regard to case, also with the executable's name (isTerminalLike).
    virtual std::set<std::string> terminalLikeApplicationIds();
    // Every terminal emulator the program knows (TerminalApplications).
    static const std::set<std::string>& defaultTerminalLikeApplicationIds();

    // The user's own terminal-like applications (the settings file's list), added to the platform's.
    void setUserTerminalLikeApplicationIds(std::vector<std::string> ids);
    std::set<std::string> allTerminalLikeApplicationIds();
    bool isTerminalLike(const RunningApplication& app);

protected:
    // Publishes a new frontmost application (any thread).
    void publishFrontmost(std::optional<RunningApplication> app, bool movesToWordStarts = false);
    // Publishes the frontmost application again, judged with the current terminal-like list.
    void republishFrontmost();

private:
    void storeFrontmost(std::optional<RunningApplication> app, bool movesToWordStarts);

    // Publishers take turns, so a snapshot judged with an older list never replaces a newer one.
    std::mutex publishMutex_;
    std::atomic<std::shared_ptr<const FrontmostSnapshot>> frontmost_{std::make_shared<const FrontmostSnapshot>()};
    std::mutex userTerminalsMutex_;
    std::set<std::string> userTerminals_;
};

}  // namespace vandrel
