// What the user is working in: the frontmost application and the one before it, whether the frontmost one
// is terminal-like (actions then type Emacs-style strokes), and whether some application holds secure
// keyboard input.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "rx/rx.h"

namespace vandrel {

// The application that holds secure input, as far as it can be named.
struct SecureInputHolder {
    std::optional<std::string> localizedName;
    std::int32_t processIdentifier = 0;
    bool operator==(const SecureInputHolder&) const = default;
};

class WorkingEnvironment {
public:
    // Reads the frontmost application and the terminal-like identities at once; starts nothing. The
    // scheduler runs the secure-input poll. userTerminalApps, when given, are the user's own terminal-like
    // applications (the settings file's list): they join the workspace's, so posting treats them alike.
    WorkingEnvironment(std::shared_ptr<Platform> platform, rx::SchedulerPtr scheduler,
                       std::optional<std::vector<std::string>> userTerminalApps = std::nullopt);
    ~WorkingEnvironment();
    WorkingEnvironment(const WorkingEnvironment&) = delete;
    WorkingEnvironment& operator=(const WorkingEnvironment&) = delete;

    // Follows activations and polls secure input every second. Call once, on the main thread; later calls
    // do nothing.
    void startMonitoring();

    // Names the application holding secure input; absent (with a warning) when it cannot. May block.
    static std::optional<SecureInputHolder> getAppUsingSecureInput();
    static std::optional<SecureInputHolder> getAppUsingSecureInput(Workspace& workspace);

    // Most recent first, at most 2 once monitoring runs.
    std::vector<RunningApplication> activeApplicationsHistory() const;
    // Compared with the frontmost application's identity and executable name, ignoring case.
    const std::set<std::string>& emacsShortcutApps() const { return emacsShortcutApps_; }

    // Written here only: frontmost and previous application change on the main thread (activations),
    // isInSecureInput on the scheduler's thread at start, then where the platform learns of a change.
    const rx::BehaviorRelay<std::optional<RunningApplication>> preActiveApplication{std::nullopt};
    const rx::BehaviorRelay<std::optional<RunningApplication>> frontmostApplication{std::nullopt};
    const rx::BehaviorRelay<bool> isOnEmacsShortcutApp{false};
    const rx::BehaviorRelay<bool> isInSecureInput{false};

private:
    struct History;

    void startSecureInputMonitoring();

    const std::shared_ptr<Platform> platform_;
    const rx::SchedulerPtr scheduler_;
    const std::set<std::string> emacsShortcutApps_;
    const std::shared_ptr<History> history_;
    bool started_ = false;
    // Last, so the subscriptions end before the relays and the history they use.
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
