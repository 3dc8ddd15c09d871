// The program's side of the login-item helper: it marks the program as running (the instance lock) and
// keeps its process id in the suite shared with the helper, "app_theVandrelCurrentPID": the id from
// start-up on, -1 once it quits the normal way, so the helper can tell a normal end from a crash.
//
//   HelperAppController helper;
//   helper.recordCurrentPID(false);   // at start-up
//   helper.recordCurrentPID(true);    // at a normal quit
//
// A second instance (the lock held by another process) writes nothing.
#pragma once

#include <filesystem>
#include <memory>

#include "core/instance_lock.h"

namespace vandrel {

class SettingsStore;

class HelperAppController {
public:
    struct Options {
        // The shared suite; null: GroupDefaults().
        std::shared_ptr<SettingsStore> groupSettings;
        // The instance lock; empty: InstanceLock::standardPath().
        std::filesystem::path instanceLock;
    };

    explicit HelperAppController(Options options = {});

    // Start-up (false): takes the instance lock and stores the process id. Quit (true): stores -1. False
    // when another instance holds the lock (nothing stored).
    bool recordCurrentPID(bool isTerminatingApp);
    bool holdsInstanceLock() const { return lock_.isHeld(); }

private:
    std::shared_ptr<SettingsStore> groupSettings_;
    InstanceLock lock_;
};

}  // namespace vandrel
