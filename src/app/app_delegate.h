// The process's start-up and shutdown order:
//
//   AppDelegate()                     the main-thread watchdog (a main-queue job 0.4 s late)
//   claimInstance()                   before anything touches a keyboard or stored data: "-h" ("--help") prints
//                                     the switches, "--version" the version; "--unremap-capslock" asks the
//                                     running instance to give Caps Lock back (or says there is nothing to
//                                     undo); while another instance runs, asks it to come forward (waiting
//                                     up to 2 s for it to listen, and taking over when it ended meanwhile). Each of
//                                     these prints one line and ends the start with exitCode(); so does a lock
//                                     file that cannot be used. Otherwise this process becomes the instance
//                                     and answers later starts (on the instance channel's thread). What went
//                                     wrong with the channel's folder or socket goes to the terminal at once
//                                     and to the log once it exists.
//   applicationDidFinishLaunching()   claimInstance() unless called already, the launch migrations, the
//                                     process id for the login-item helper, then queues beforeInit
//   beforeInit                        logging; the arguments ("--uitesting" only logs)
//   appPreInit                        database, the core object (not started), the first-launch test, the
//                                     input-access gate: granted -> appInit (and the first-launch dialog
//                                     queued after the engine start); missing -> the tray menu, the key
//                                     schemes set up (the preferences show them), the guide, and appInit
//                                     when its poll sees the grant; the guide
//                                     then shows the grant, and the first-launch dialog follows its Done (or
//                                     comes at once when the guide was closed). A first launch is the first
//                                     start that has access: only those are recorded. Settings set aside
//                                     as unusable in this start whose copy shows a launch make no first launch.
//   appInit                           Caps Lock remapped, wake -> remap, engine start queued on the main
//                                     queue, then the work that can wait queued behind it
//   afterKeyboardsTaken               what nothing before the grab needs: the tray menu (unless made
//                                     already), the usage session, the updater
//                                     (automatic checks off), the windows' themed icon and the feedback form,
//                                     the launch recorded in the settings, the login item renewed, the
//                                     stored data's upkeep; then one debug line with each
//                                     start-up step's duration. Without access it runs as soon as the guide
//                                     opens (less the launch record, which waits for the grant).
//   instance messages                 come forward: the Preferences window, or the access guide while it
//                                     waits; unremap Caps Lock: the mapping is removed at once and the
//                                     program quits, letting every keyboard go
//   onTerminateSignal()               SIGINT/SIGTERM/SIGHUP (after the signal guard let every keyboard go):
//                                     asks the event loop to end; a second one while quitting ends the process.
//                                     A quit during start-up (a signal, or a later start's unremap request)
//                                     ends it at the next step: no later step runs, nothing more is grabbed
//   applicationWillTerminate()        after the event loop: engine stopped, Caps Lock unmapped, usage session
//                                     ended (only when pre-init ran), the platform let go
//
// Every step that reaches beyond the delegate comes from Options: programSteps() gives the program's (the Linux
// backend, the core object and the services above it, ...), tests give fakes. Everything runs on the main thread except
// onTerminateSignal, which the signal guard calls on its own, and the watchdog's report.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/startup_steps.h"
#include "core/installed_instance.h"
#include "core/instance_channel.h"
#include "platform/platform.h"
#include "rx/rx.h"
#include "rx/scheduler.h"

namespace vandrel {

class GetAccessibilityWindowController;
class HelperAppController;
class Watchdog;

class AppDelegate {
public:
    static constexpr double kWatchdogThreshold = 0.4;

    // Every step of start-up and shutdown that reaches beyond the delegate. The program's own steps come from
    // programSteps(); a step left unset does nothing.
    struct Options {
        // The process arguments, the program path first.
        std::vector<std::string> arguments;
        // Makes the platform. Required.
        std::function<std::shared_ptr<Platform>()> makePlatform;
        // Where start-up work is queued. Required.
        rx::SchedulerPtr mainQueue;
        // The clock the watchdog reads; null: mainQueue.
        rx::SchedulerPtr watchdogScheduler;
        // Asks the event loop to end with the code.
        std::function<void(int code)> quit;
        // Ends the process at once (a second terminating signal).
        std::function<void(int code)> exitNow;

        std::function<void()> runMigrations;
        // The logger's destinations and the size-limited log files.
        std::function<void()> initLogging;
        // The object database's configuration and what it must know before anything is decoded.
        std::function<void()> setUpDatabase;
        // Work that can wait until the keyboards are taken (the stored data's upkeep).
        std::function<void()> upkeep;
        std::function<void()> startUsageSession;
        std::function<void()> endUsageSession;
        // Makes the core object over the delegate's platform without starting it, installing what it makes
        // in the delegate's installations.
        std::function<void(AppDelegate&)> makeEngine;
        // The tray menu.
        std::function<void()> initMenu;
        // The updater, automatic checks off.
        std::function<void()> setUpUpdater;
        // Sets up the key schemes while the engine waits for access (the preferences list them).
        std::function<void()> setUpKeySchemes;
        // Starts the core object, on the main queue.
        std::function<void()> startEngine;
        // Drops what makeEngine made, once what it installed was uninstalled.
        std::function<void()> stopEngine;
        // The windows' icon and the feedback form, once the keyboards are taken.
        std::function<void()> installWindows;
        // The input-access guide; null: the delegate's own over the platform's access check.
        std::function<std::shared_ptr<GetAccessibilityWindowController>()> guide;
        // Writes the help on granting input access where the desktop's browser shows it, and gives its path;
        // null: the guide has no help to open.
        std::function<std::filesystem::path()> accessHelpPage;
        std::function<void()> showFirstLaunchDialog;
        // Marks the program running and keeps its process id for the login-item helper (-1 after a normal
        // quit); null: nothing is recorded.
        std::shared_ptr<HelperAppController> helperApp;
        // The user's one running instance and the channel later starts speak through; null: every start
        // runs on its own.
        std::shared_ptr<InstanceChannel> instance;
        // How long a start, or the rescue, waits for the running one to answer, in all.
        InstanceChannel::Patience answerPatience;
        // Prints one line for the user at the terminal.
        std::function<void(const std::string& line)> print;
        // Prints one line about a problem for the user at the terminal (before the log exists).
        std::function<void(const std::string& line)> printError;
        // Brings the Preferences window forward.
        std::function<void()> showPreferences;
    };

    // The switches, as "--help" prints them.
    static const char* const kUsage;
    // What "--help" or "--version" print, when one of them is the first switch among the arguments (argument 0
    // is the program); answered before any toolkit or display is touched.
    static std::optional<std::string> informationFor(const std::vector<std::string>& arguments);

    explicit AppDelegate(Options options);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // False when this start ends here (a switch was served, or another instance runs): nothing was opened
    // then, and the process ends with exitCode(). Once; later calls give the first answer.
    bool claimInstance();
    int exitCode() const { return exitCode_; }
    // Runs the migrations and queues the rest of start-up on the main queue; quits when claimInstance()
    // ends the start.
    void applicationDidFinishLaunching();
    // Undoes what start-up did. Once; later calls do nothing.
    void applicationWillTerminate();
    // Called on the signal guard's thread once the keyboards were let go.
    void onTerminateSignal(int signal);

    const std::shared_ptr<Platform>& platform() const { return platform_; }
    // Where every shared() instance of the run is installed: the platform first, then what makeEngine and the
    // later steps make. Emptied at shutdown, last installed first (the platform once the engine has stopped).
    Installations& installations() { return installations_; }
    // Brings the input-access guide forward while the program waits for access; nothing otherwise.
    void showAccessGuide();
    bool hasRunPreInit() const { return hasRunPreInit_; }
    // Whether the program has keyboard access: false from the moment start-up finds it missing until the grant.
    rx::Observable<bool> keyboardAccess() const { return keyboardAccess_.asObservable(); }
    bool isQuitting() const { return quitting_.load(); }
    // The start-up's steps so far, with their durations.
    const StartupSteps& startupSteps() const { return steps_; }
    StartupSteps& startupSteps() { return steps_; }

private:
    // One step of start-up, measured; false, and not run, once a quit came: a quit during start-up ends it at the
    // next step.
    bool step(const char* name, const std::function<void()>& work);
    // False when start-up ends here.
    bool beforeInit();
    void appPreInit();
    void appInit();
    // What start-up leaves until the keyboards are taken (or until it is clear they will not be soon).
    void afterKeyboardsTaken();
    // The tray menu, once.
    void initMenu();
    void pickSomeUserDefaultsInfo();
    void observeNotifications();
    void onWakeNote();
    void onSleepNote();
    void leaveUnsetStepsEmpty();
    std::shared_ptr<GetAccessibilityWindowController> makeGuide();
    // Serves a switch or hands over to the running instance; absent when this process goes on.
    std::optional<int> handOver();
    // Prints what went wrong with the instance channel's folder or socket, and keeps it for the log.
    void reportChannelProblems();
    std::string answer(InstanceChannel::Command command);
    void comeForward();
    void giveCapsLockBack();

    Options options_;
    Installations installations_;
    // The installations' mark after the platform's.
    std::size_t afterPlatform_ = 0;
    StartupSteps steps_;
    std::unique_ptr<Watchdog> watchdog_;
    std::shared_ptr<Platform> platform_;
    rx::Disposable waitingForAccess_;
    rx::BehaviorRelay<bool> keyboardAccess_{true};
    rx::Disposable powerEvents_;
    std::shared_ptr<GetAccessibilityWindowController> guide_;
    std::optional<bool> claimed_;
    std::vector<std::string> channelProblems_;
    int exitCode_ = 0;
    bool hasRunPreInit_ = false;
    bool engineMade_ = false;
    bool deferredRan_ = false;
    bool menuMade_ = false;
    bool usageSessionStarted_ = false;
    // Read by the instance channel's thread for its answers.
    std::atomic<bool> awaitingAccess_{false};
    // Past the access check: a later start's come-forward has a window to show (the guide or the preferences).
    std::atomic<bool> accessChecked_{false};
    bool comeForwardWhenStarted_ = false;
    std::atomic<bool> remapped_{false};
    bool terminated_ = false;
    std::atomic<bool> quitting_{false};
};

}  // namespace vandrel
