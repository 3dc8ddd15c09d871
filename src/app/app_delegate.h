// The process's start-up and shutdown order on the Linux backend:
//
//   applicationDidFinishLaunching()   arguments ("--unremap-capslock" ends start-up), platform, database,
//                                     built-in actions, the input-access gate, Caps Lock remap, engine start
//                                     queued on the main queue
//   onTerminateSignal()               SIGINT/SIGTERM (after the signal guard let every keyboard go): asks the
//                                     event loop to end; a second one while quitting ends the process at once
//   applicationWillTerminate()        after the event loop: Caps Lock unmapped, the platform let go
//
// Everything runs on the main thread except onTerminateSignal, which the signal guard calls on its own.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "rx/scheduler.h"

namespace vandrel {

class AppServices;
class HelperAppController;

class AppDelegate {
public:
    // The exit code of a run that cannot watch the keyboard.
    static constexpr int kExitNoInputAccess = 3;
    static constexpr double kUnremapQuitDelay = 1.0;

    struct Options {
        // The process arguments, the program path first.
        std::vector<std::string> arguments;
        // Makes the platform; null: the Linux backend with its defaults.
        std::function<std::shared_ptr<Platform>()> makePlatform;
        // Where start-up work is queued; null: the main queue.
        rx::SchedulerPtr mainQueue;
        // Asks the event loop to end with the code; null: the Qt application's loop.
        std::function<void(int code)> quit;
        // Ends the process at once (a second terminating signal); null: _Exit.
        std::function<void(int code)> exitNow;
        // The folder of the object database; absent: the application data folder.
        std::optional<std::filesystem::path> databaseFolder;
        // Starts the keyboard engine, on the main queue; null: installs the core object and starts it, then
        // logs "Keyboard engine started" once its key schemes are set up.
        std::function<void(const std::shared_ptr<Platform>&)> startEngine;
        // Stops what startEngine started; null: uninstalls the core object.
        std::function<void()> stopEngine;
        // Marks the program running and keeps its process id for the login-item helper (-1 after a normal
        // quit); null: nothing is recorded.
        std::shared_ptr<HelperAppController> helperApp;
    };

    explicit AppDelegate(Options options);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Runs start-up. Returns an exit code when the process must end without running the event loop.
    std::optional<int> applicationDidFinishLaunching();
    // Undoes what start-up did: unmaps Caps Lock and lets the platform go. Once; later calls do nothing.
    void applicationWillTerminate();
    // Called on the signal guard's thread once the keyboards were let go.
    void onTerminateSignal(int signal);

    const std::shared_ptr<Platform>& platform() const { return platform_; }
    bool hasRunPreInit() const { return hasRunPreInit_; }
    bool isQuitting() const { return quitting_.load(); }

private:
    // False when start-up ends here.
    bool beforeInit();
    std::optional<int> appPreInit();
    void appInit();

    Options options_;
    std::shared_ptr<Platform> platform_;
    std::unique_ptr<AppServices> services_;
    bool hasRunPreInit_ = false;
    bool remapped_ = false;
    bool terminated_ = false;
    std::atomic<bool> quitting_{false};
};

}  // namespace vandrel
