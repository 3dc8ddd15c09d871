// The program's side of the login-item helper: it keeps its process id in the suite shared with the helper,
// "app_theVandrelCurrentPID": the id from start-up on, -1 once it quits the normal way, so the helper can
// tell a normal end from a crash. Only the user's running instance records (AppDelegate calls it once it
// holds the instance channel); whether the program runs the helper reads from the instance lock.
//
//   HelperAppController helper;
//   helper.recordCurrentPID(false);   // at start-up
//   helper.recordCurrentPID(true);    // at a normal quit
#pragma once

#include <memory>

namespace vandrel {

class SettingsStore;

class HelperAppController {
public:
    struct Options {
        // The shared suite; null: GroupDefaults().
        std::shared_ptr<SettingsStore> groupSettings;
    };

    explicit HelperAppController(Options options = {});

    // Start-up (false): stores the process id. Quit (true): stores -1, only after a start was recorded.
    // False when nothing was stored.
    bool recordCurrentPID(bool isTerminatingApp);

private:
    std::shared_ptr<SettingsStore> groupSettings_;
    bool recorded_ = false;
};

}  // namespace vandrel
