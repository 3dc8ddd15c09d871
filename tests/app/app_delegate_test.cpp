#include "app/app_delegate.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/program_steps.h"
#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/instance_channel.h"
#include "core/log_capture.h"
#include "core/program_folders.h"
#include "core/settings_store.h"
#include "engine/vandrel.h"
#include "model/vd_action.h"
#include "platform/hid_usage.h"
#include "platform/linux/linux_platform.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "storage/realm.h"
#include "ui/overlays/get_accessibility_window_controller.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;
using Trace = std::vector<std::string>;
using GuideState = GetAccessibilityWindowController::State;

constexpr std::uint64_t kCapsLock = HidUsage::keyboardUsage(HidUsage::capsLock);
constexpr std::uint64_t kF19 = HidUsage::keyboardUsage(HidUsage::f19);

// Everything the delegate reaches, on the simulated platform and virtual time, recording the calls it makes
// outward in order. The guide is the real one.
class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The delegate records each launch in the user settings, which are process-wide: the test's own.
        installDefaults(std::make_shared<SettingsStore>(path("settings")));
    }

    std::filesystem::path path(const char* name) const
    {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }

    AppDelegate::Options options(std::vector<std::string> arguments)
    {
        AppDelegate::Options o;
        o.arguments = std::move(arguments);
        o.makePlatform = [this] { return std::shared_ptr<Platform>(sim); };
        o.mainQueue = clock;
        o.watchdogScheduler = watch;
        o.quit = [this](int code) { quits.push_back(code); };
        o.exitNow = [this](int code) { exits.push_back(code); };
        o.runMigrations = record("migrations");
        o.initLogging = record("logging");
        o.setUpDatabase = record("database");
        o.startUsageSession = record("session start");
        o.endUsageSession = record("session end");
        o.makeEngine = [this](AppDelegate& delegate) {
            EXPECT_EQ(delegate.platform(), sim);
            traced("engine made");
        };
        o.initMenu = record("menu");
        o.setUpUpdater = record("updater");
        o.upkeep = record("upkeep");
        o.startEngine = [this] { traced(mapped() ? "engine start (Caps Lock mapped)" : "engine start"); };
        o.stopEngine = record("engine stop");
        o.showFirstLaunchDialog = record("first-launch dialog");
        o.showPreferences = record("preferences shown");
        o.accessHelpPage = programSteps().accessHelpPage;
        return o;
    }

    // The options of the user's one instance, on a channel in the test's folder.
    AppDelegate::Options instanceOptions(std::vector<std::string> arguments)
    {
        auto o = options(std::move(arguments));
        o.instance = std::make_shared<InstanceChannel>(InstanceChannel::Paths::in(path("")));
        return o;
    }

    // What a later start of the program did; it ends before the main queue runs.
    struct LaterStart {
        std::vector<std::string> printed;
        std::vector<int> quits;
        Trace trace;
    };
    LaterStart startAgain(std::vector<std::string> arguments, std::optional<InstanceChannel::Paths> paths = {})
    {
        LaterStart later;
        auto o = instanceOptions(std::move(arguments));
        if (paths) o.instance = std::make_shared<InstanceChannel>(*paths);
        o.print = [&later](const std::string& line) { later.printed.push_back(line); };
        o.quit = [&later](int code) { later.quits.push_back(code); };
        const auto recordLater = [&later](const char* step) { return [&later, step] { later.trace.push_back(step); }; };
        o.runMigrations = recordLater("migrations");
        o.initLogging = recordLater("logging");
        o.setUpDatabase = recordLater("database");
        o.makePlatform = [&later] {
            later.trace.push_back("platform");
            return nullptr;
        };
        AppDelegate delegate(std::move(o));
        delegate.applicationDidFinishLaunching();
        return later;
    }

    std::function<void()> record(const char* step)
    {
        return [this, step] { traced(step); };
    }
    // Records a step; the step named quitAt gets a terminating signal while it runs.
    void traced(const std::string& step)
    {
        trace.push_back(step);
        if (step == quitAt && running) running->onTerminateSignal(SIGTERM);
    }

    std::vector<KeyMappingEntry> mapping() const { return sim->keyboard().userKeyMapping(); }
    bool mapped() const { return mapping() == std::vector<KeyMappingEntry>{{kCapsLock, kF19}}; }
    bool unmapped() const { return mapping() == std::vector<KeyMappingEntry>{{kCapsLock, kCapsLock}}; }
    std::int64_t launches() const { return Defaults().get(DefaultsKeys::app_launchedTimes); }
    std::string firstLaunchTime() const { return Defaults().get(DefaultsKeys::app_theTimeFirstLaunch); }

    // The banner lines logged so far, in order.
    std::vector<std::string> banners() const
    {
        std::vector<std::string> lines;
        for (const auto& entry : logs->entries())
            if (entry.level == LogLevel::info && entry.message.rfind(">>>>", 0) == 0) lines.push_back(entry.message);
        return lines;
    }

    // One whole run that reaches the engine, started and ended.
    void launchWithAccess()
    {
        AppDelegate delegate(options({"vandrel"}));
        delegate.applicationDidFinishLaunching();
        clock->runDue();
        delegate.applicationWillTerminate();
    }

    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<rx::VirtualTimeScheduler> watch = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    Trace trace;
    std::string quitAt;
    AppDelegate* running = nullptr;
    std::vector<int> quits;
    std::vector<int> exits;
    test::ScopedLogCapture logs;
};

TEST_F(AppDelegateTest, ALaterStartBringsTheRunningOneForwardAndEndsHavingMadeNothing)
{
    const struct {
        bool access;
        bool started;  // the running one is past its start-up when the later start asks
        std::string printed;
    } cases[] = {
        {true, true, "Vandrel is already running; its Preferences window comes forward."},
        {false, true, "Vandrel is already running and waits for keyboard access; its access guide comes forward."},
        {true, false, "Vandrel is already running and still starting; its window comes forward once it has started."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        trace.clear();
        sim->setInputAccessTrusted(c.access);
        AppDelegate running(instanceOptions({"vandrel"}));
        running.applicationDidFinishLaunching();
        if (c.started) clock->runDue();
        const auto guide = GetAccessibilityWindowController::shared();
        if (guide) guide->window()->hide();

        const LaterStart later = startAgain({"vandrel", "--uitesting"});
        EXPECT_EQ(later.printed, std::vector<std::string>{c.printed});
        EXPECT_EQ(later.quits, std::vector<int>{0});
        EXPECT_TRUE(later.trace.empty()) << "no migrations, logging, platform, database or engine";

        clock->runDue();
        EXPECT_EQ(std::ranges::count(trace, "preferences shown"), c.access ? 1 : 0);
        EXPECT_EQ(guide && guide->window()->isVisible(), !c.access);
        EXPECT_EQ(Platform::shared(), sim) << "the running one keeps going";
        EXPECT_TRUE(quits.empty());
        running.applicationWillTerminate();
    }
}

TEST_F(AppDelegateTest, UnremapSwitchHasTheRunningOneGiveCapsLockBackAndQuitOrSaysThereIsNothingToUndo)
{
    LaterStart later = startAgain({"vandrel", "--unremap-capslock"});
    EXPECT_EQ(later.printed,
              std::vector<std::string>{"Vandrel is not running: there is nothing to undo, Caps Lock is Caps Lock."});
    EXPECT_EQ(later.quits, std::vector<int>{0});
    EXPECT_TRUE(later.trace.empty());
    EXPECT_TRUE(mapping().empty()) << "no keyboard touched";
    // Without a private folder to look in, nobody can tell: that is no success.
    later = startAgain({"vandrel", "--unremap-capslock"}, InstanceChannel::Paths{});
    EXPECT_EQ(later.printed,
              std::vector<std::string>{"Vandrel cannot tell whether it runs: it has no private folder "
                                       "to look in. If it runs, Caps Lock stays remapped until it quits."});
    EXPECT_EQ(later.quits, std::vector<int>{1});

    AppDelegate running(instanceOptions({"vandrel"}));
    running.applicationDidFinishLaunching();
    clock->runDue();
    ASSERT_TRUE(mapped());
    later = startAgain({"vandrel", "--unremap-capslock", "--help"});
    EXPECT_EQ(later.printed, std::vector<std::string>{"Vandrel stopped remapping Caps Lock and quits, letting the "
                                                      "keyboards go: Caps Lock is Caps Lock again."});
    EXPECT_EQ(later.quits, std::vector<int>{0});
    clock->runDue();
    EXPECT_TRUE(unmapped());
    EXPECT_EQ(quits, std::vector<int>{0});
    running.applicationWillTerminate();
    EXPECT_TRUE(unmapped());

    // Help and version come before anything else and touch nothing.
    const std::string version = "Vandrel " + AppInfo::version() + " (build " + AppInfo::buildVersion() + ")";
    for (const auto& [option, printed] : {std::pair<std::string, std::string>{"--help", AppDelegate::kUsage},
                                          {"-h", AppDelegate::kUsage},
                                          {"--version", version}}) {
        later = startAgain({"vandrel", option, "--unremap-capslock"});
        EXPECT_EQ(later.printed, std::vector<std::string>{printed}) << option;
        EXPECT_EQ(later.quits, std::vector<int>{0});
        EXPECT_TRUE(later.trace.empty());
    }
}

// The running one may end before it answers a start that gave way to it: that start is the instance then.
TEST_F(AppDelegateTest, AStartWhoseRunningOneEndsBeforeAnsweringBecomesTheInstance)
{
    InstanceLock ending(path("vandrel.lock"));
    ASSERT_TRUE(ending.tryAcquire());
    auto o = instanceOptions({"vandrel"});
    o.answerPatience.pause = [&](std::chrono::milliseconds, int) { ending.release(); };
    AppDelegate delegate(std::move(o));
    EXPECT_TRUE(delegate.claimInstance());
    EXPECT_TRUE(InstanceChannel::isRunning(InstanceChannel::Paths::in(path(""))));
}

// Before the log exists the terminal hears what is wrong with the channel; the log hears it once it exists.
TEST_F(AppDelegateTest, ChannelProblemsGoToTheTerminalAtOnceAndToTheLogOnceItExists)
{
    std::filesystem::create_directory(path("folder"));
    const auto socket = path("missing") / "vandrel.socket";
    const std::vector<std::string> goesOn{"a folder was passed over",
                                          "Later starts cannot reach this Vandrel; its socket cannot be made: " +
                                              socket.string() + ": " + std::strerror(ENOENT)};
    const std::vector<std::string> ends{"Vandrel cannot take its instance lock (" + path("folder").string() + ": " +
                                        std::strerror(EISDIR) + "); this start ends."};
    for (const auto& [paths, expected] :
         {std::pair{InstanceChannel::Paths{{{path("vandrel.lock"), socket}}, {goesOn[0]}}, goesOn},
          std::pair{InstanceChannel::Paths{{{path("folder"), socket}}, {}}, ends}}) {
        std::vector<std::string> errors;
        auto o = options({"vandrel"});
        o.instance = std::make_shared<InstanceChannel>(paths);
        o.printError = [&](const std::string& line) { errors.push_back(line); };
        AppDelegate delegate(std::move(o));
        EXPECT_EQ(delegate.claimInstance(), expected == goesOn);
        EXPECT_EQ(errors, expected);
        delegate.applicationDidFinishLaunching();
        clock->runDue();
        for (const auto& error : expected) EXPECT_EQ(logs->contains(LogLevel::warning, error), expected == goesOn);
        delegate.applicationWillTerminate();
    }
    EXPECT_EQ(quits, std::vector<int>{1});
}

TEST_F(AppDelegateTest, FirstLaunchWithAccessStartsTheEngineBeforeTheDialogAndQuitUndoesItAll)
{
    AppDelegate delegate(options({"vandrel", "--uitesting"}));
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(trace, Trace{"migrations"}) << "the rest waits for the main queue";
    clock->runDue();

    // What can wait (the tray menu, the usage session, the updater, the stored data's upkeep) comes after the
    // engine start.
    EXPECT_EQ(trace, (Trace{"migrations", "logging", "database", "engine made", "engine start (Caps Lock mapped)",
                            "menu", "session start", "updater", "upkeep", "first-launch dialog"}));
    EXPECT_TRUE(logs->contains(LogLevel::debug, "Start-up steps ->"));
    EXPECT_TRUE(logs->contains(LogLevel::info, "resetStateForUITesting")) << "and nothing else";
    EXPECT_EQ(Platform::shared(), sim);
    EXPECT_EQ(launches(), 1);
    EXPECT_FALSE(firstLaunchTime().empty());
    EXPECT_EQ(Defaults().get(DefaultsKeys::app_theTimeLastLaunch), firstLaunchTime());
    EXPECT_FALSE(Defaults().get(DefaultsKeys::app_theVersionFirstLaunch).empty());
    EXPECT_EQ(GetAccessibilityWindowController::shared(), nullptr) << "no guide with access";

    trace.clear();
    delegate.applicationWillTerminate();
    EXPECT_EQ(trace, (Trace{"engine stop", "session end"}));
    EXPECT_TRUE(unmapped());
    EXPECT_EQ(banners(),
              (std::vector<std::string>{">>>> App Before Init <<<<", ">>>> App Pre-init <<<<", ">>>> App Start <<<<",
                                        ">>>> App will Terminate <<<<", ">>>> App End <<<<"}));
    EXPECT_EQ(Platform::shared(), nullptr);

    delegate.applicationWillTerminate();
    EXPECT_EQ(trace.size(), 2u) << "once only";
}

TEST_F(AppDelegateTest, LaterLaunchesCountOnceEachKeepTheFirstLaunchAndShowNoDialog)
{
    launchWithAccess();
    const std::string first = firstLaunchTime();
    trace.clear();
    launchWithAccess();
    EXPECT_EQ(launches(), 2);
    EXPECT_EQ(firstLaunchTime(), first);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "first-launch dialog"), 0);
    launchWithAccess();
    EXPECT_EQ(launches(), 3);
}

// Settings set aside for one stray comma: the welcome comes only when the copy shows no earlier launch.
TEST_F(AppDelegateTest, SettingsSetAsideThatShowAnEarlierLaunchMakeNoFirstLaunch)
{
    // The set-aside copy's text and the dialogs shown.
    const std::pair<const char*, int> rows[] = {{R"({"app_theTimeFirstLaunch": "2024-01-02T03:04:05.000Z",})", 0},
                                                {R"({"app_launchTimes": 0,})", 1}};
    for (const auto& [text, dialogs] : rows) {
        SCOPED_TRACE(text);
        const auto folder = path(dialogs ? "never launched" : "launched");
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "settings.json") << text;
        installDefaults(std::make_shared<SettingsStore>(folder));
        trace.clear();
        launchWithAccess();
        EXPECT_EQ(std::count(trace.begin(), trace.end(), "first-launch dialog"), dialogs);
    }
}

TEST_F(AppDelegateTest, WithoutAccessTheGuideWaitsAndTheEngineStartsAtTheGrantTheDialogAfterDone)
{
    sim->setInputAccessTrusted(false);
    AppDelegate delegate(options({"vandrel"}));
    delegate.applicationDidFinishLaunching();
    clock->runDue();
    EXPECT_EQ(trace,
              (Trace{"migrations", "logging", "database", "engine made", "menu", "session start", "updater", "upkeep"}))
        << "no grab comes soon: nothing waits for one";
    const auto guide = GetAccessibilityWindowController::shared();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->window()->isVisible());
    EXPECT_TRUE(logs->contains(LogLevel::warning, "Input access guide:\n" + guide->text()));
    EXPECT_NE(guide->text().find("input access"), std::string::npos) << "what the platform says is missing";

    clock->advanceBy(10s);
    EXPECT_EQ(trace.back(), "upkeep");
    EXPECT_EQ(launches(), 0) << "nothing is recorded while waiting";
    EXPECT_TRUE(firstLaunchTime().empty());
    EXPECT_TRUE(mapping().empty()) << "the keyboard is not touched";

    std::vector<bool> access;
    auto following = delegate.keyboardAccess().subscribe([&](bool granted) { access.push_back(granted); });
    EXPECT_EQ(access, std::vector<bool>{false});

    guide->openSystemPreferencesBtn()->click();
    ASSERT_EQ(sim->workspace().openedUrls().size(), 1u) << "the help";
    const std::string help = sim->workspace().openedUrls().front();
    ASSERT_TRUE(help.ends_with("/keyboard-access-help.html")) << help << ": a page the browser shows";
    QFile page(QUrl(QString::fromStdString(help)).toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("<pre"));

    sim->setInputAccessTrusted(true);
    clock->advanceBy(300ms);
    EXPECT_EQ(trace.back(), "engine start (Caps Lock mapped)") << "at the program's own poll";
    EXPECT_EQ(launches(), 1);
    EXPECT_EQ(access, (std::vector<bool>{false, true}));
    EXPECT_EQ(guide->state(), GuideState::granted) << "the guide shows the grant at once";
    EXPECT_EQ(guide->text().find("missing"), std::string::npos) << guide->text();
    guide->doneBtn()->click();
    clock->runDue();
    EXPECT_EQ(trace.back(), "first-launch dialog");
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "engine start (Caps Lock mapped)"), 1);
    following.dispose();
}

TEST_F(AppDelegateTest, AGrantAfterTheGuideWasClosedShowsTheFirstLaunchDialogAtOnce)
{
    sim->setInputAccessTrusted(false);
    AppDelegate delegate(options({"vandrel"}));
    delegate.applicationDidFinishLaunching();
    clock->runDue();
    GetAccessibilityWindowController::shared()->window()->close();
    sim->setInputAccessTrusted(true);
    clock->advanceBy(300ms);
    clock->runDue();
    EXPECT_EQ(trace.back(), "first-launch dialog");
    EXPECT_EQ(launches(), 1) << "the first start with access is the first launch";
}

TEST_F(AppDelegateTest, ALaterLaunchWithoutAccessOffersNoDialogAfterDoneAndAQuitWhileWaitingStartsNothing)
{
    launchWithAccess();
    trace.clear();
    sim->setInputAccessTrusted(false);
    AppDelegate delegate(options({"vandrel"}));
    delegate.applicationDidFinishLaunching();
    clock->runDue();
    const auto guide = GetAccessibilityWindowController::shared();
    ASSERT_NE(guide, nullptr);
    EXPECT_FALSE(guide->doneAction);

    delegate.applicationWillTerminate();
    EXPECT_EQ(trace.back(), "session end");
    EXPECT_TRUE(unmapped()) << "left as the earlier run left it";
    sim->setInputAccessTrusted(true);
    clock->advanceBy(1s);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "engine start (Caps Lock mapped)"), 0);
    EXPECT_EQ(launches(), 1);
}

TEST_F(AppDelegateTest, WakeMapsCapsLockAgainAndSleepChangesNothing)
{
    AppDelegate delegate(options({"vandrel"}));
    delegate.applicationDidFinishLaunching();
    clock->runDue();
    ASSERT_TRUE(mapped());
    sim->keyboard().setUserKeyMapping({});
    sim->workspace().sleep();
    EXPECT_TRUE(mapping().empty());
    EXPECT_TRUE(logs->contains(LogLevel::debug, "OS will sleep"));
    sim->workspace().wake();
    EXPECT_TRUE(mapped());
    EXPECT_TRUE(logs->contains(LogLevel::debug, "OS did wake"));

    delegate.applicationWillTerminate();
    sim->workspace().wake();
    EXPECT_TRUE(unmapped()) << "no wake after the end";
}

TEST_F(AppDelegateTest, QuitBeforeTheQueuedStartRanNeverStartsTheEngine)
{
    AppDelegate delegate(options({"vandrel"}));
    delegate.applicationDidFinishLaunching();
    delegate.onTerminateSignal(SIGHUP);
    EXPECT_EQ(quits, std::vector<int>{0});
    clock->runDue();
    EXPECT_EQ(trace, Trace{"migrations"});

    // A quit during any step of start-up ends it after that step: no later one runs (none grabs a keyboard or
    // shows a window), and the shutdown undoes what ran.
    const Trace steps{"migrations", "logging",       "database", "engine made", "engine start (Caps Lock mapped)",
                      "menu",       "session start", "updater",  "upkeep"};
    for (std::size_t at = 0; at < steps.size(); ++at) {
        SCOPED_TRACE(steps[at]);
        trace.clear();
        quits.clear();
        quitAt = steps[at];
        AppDelegate quitting(options({"vandrel"}));
        running = &quitting;
        quitting.applicationDidFinishLaunching();
        clock->runDue();
        EXPECT_EQ(trace, Trace(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(at) + 1));
        EXPECT_EQ(quits, std::vector<int>{0});
        quitting.applicationWillTerminate();
        running = nullptr;
        EXPECT_FALSE(mapped());
    }
}

TEST_F(AppDelegateTest, ASecondTerminatingSignalWhileQuittingEndsTheProcess)
{
    {
        AppDelegate delegate(options({"vandrel"}));
        delegate.applicationDidFinishLaunching();
        clock->runDue();
        delegate.onTerminateSignal(SIGINT);
        EXPECT_EQ(quits, std::vector<int>{0});
        EXPECT_TRUE(exits.empty());
        delegate.onTerminateSignal(SIGTERM);
        EXPECT_EQ(exits, std::vector<int>{128 + SIGTERM});
        EXPECT_EQ(quits.size(), 1u);
    }
    // A first signal that arrives while the shutdown after a normal quit hangs ends the process too.
    quits.clear();
    exits.clear();
    AppDelegate delegate(options({"vandrel"}));
    delegate.applicationDidFinishLaunching();
    clock->runDue();
    delegate.applicationWillTerminate();
    delegate.onTerminateSignal(SIGINT);
    EXPECT_EQ(exits, std::vector<int>{128 + SIGINT});
    EXPECT_TRUE(quits.empty());
}

TEST_F(AppDelegateTest, WithoutInputAccessTheRealBackendAndCoreObjectWaitWithoutOpeningOrGrabbingAnything)
{
    // The real backend, on an input folder with no keyboards and no uinput device.
    std::filesystem::create_directories(path("input"));
    std::shared_ptr<LinuxPlatform> linuxPlatform;
    auto o = options({"vandrel"});
    o.makePlatform = [&] {
        LinuxPlatform::Options platformOptions;
        platformOptions.inputDirectory = path("input").string();
        platformOptions.uinputPath = path("uinput").string();
        platformOptions.displayName = std::string("unavailable:0");
        platformOptions.scheduler = clock;
        linuxPlatform = LinuxPlatform::make(platformOptions);
        return std::shared_ptr<Platform>(linuxPlatform);
    };
    // The program's own database, core object and services, with the data folder in the test's folder.
    auto folders = ProgramFolders::standard();
    folders.support = path("data");
    Installations installations;
    installations.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(folders));
    const auto program = programSteps();
    o.setUpDatabase = program.setUpDatabase;
    o.makeEngine = program.makeEngine;
    o.setUpKeySchemes = program.setUpKeySchemes;
    o.stopEngine = program.stopEngine;
    AppDelegate delegate(std::move(o));
    delegate.applicationDidFinishLaunching();
    clock->runDue();

    ASSERT_NE(linuxPlatform, nullptr);
    EXPECT_EQ(Realm::defaultConfiguration().fileURL, path("data") / Realm::kFileName);
    EXPECT_NE(VDAction::registered("moveLeftN"), nullptr) << "the built-in actions are registered";
    EXPECT_NE(installedVandrel(), nullptr);
    EXPECT_FALSE(linuxPlatform->inputBackend().isStarted());
    const auto guide = GetAccessibilityWindowController::shared();
    ASSERT_NE(guide, nullptr);
    EXPECT_NE(guide->text().find("none was found under /dev/input"), std::string::npos) << guide->text();
    EXPECT_NE(guide->text().find("sudo modprobe uinput"), std::string::npos) << guide->text();

    clock->advanceBy(10s);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "engine start"), 0);
    delegate.applicationWillTerminate();
    EXPECT_FALSE(linuxPlatform->inputBackend().isStarted()) << "quitting does not open the keyboards either";
    EXPECT_EQ(installedVandrel(), nullptr);
    EXPECT_EQ(Platform::shared(), nullptr);
}

}  // namespace
}  // namespace vandrel
