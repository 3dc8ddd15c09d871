#include "app/app_delegate.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/defaults.h"
#include "core/log_capture.h"
#include "storage/realm.h"
#include "core/settings_store.h"
#include "model/vd_action.h"
#include "platform/hid_usage.h"
#include "platform/linux/linux_platform.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kCapsLock = HidUsage::keyboardUsage(HidUsage::capsLock);
constexpr std::uint64_t kF19 = HidUsage::keyboardUsage(HidUsage::f19);

// Everything the delegate reaches, on the simulated platform and virtual time, recording the calls it
// makes outward.
class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        installDefaults(std::make_shared<SettingsStore>(path("settings")));
        Realm::setDefaultConfiguration({});
    }

    void TearDown() override { installPlatform(nullptr); }

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
        o.quit = [this](int code) { quits.push_back(code); };
        o.exitNow = [this](int code) { exits.push_back(code); };
        o.databaseFolder = path("data");
        o.startEngine = [this](const std::shared_ptr<Platform>& platform) {
            ++engineStarts;
            EXPECT_EQ(platform, sim);
        };
        o.stopEngine = [this] { ++engineStops; };
        return o;
    }

    std::vector<KeyMappingEntry> mapping() const { return sim->keyboard().userKeyMapping(); }

    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    std::vector<int> quits;
    std::vector<int> exits;
    int engineStarts = 0;
    int engineStops = 0;
    test::ScopedLogCapture logs;
};

TEST_F(AppDelegateTest, UnremapSwitchRemovesTheMappingAndQuitsASecondLaterWithNothingElseSetUp)
{
    AppDelegate delegate(options({"vandrel", "--verbose", "--unremap-capslock", "--uitesting"}));
    EXPECT_FALSE(delegate.applicationDidFinishLaunching().has_value());

    EXPECT_EQ(mapping(), (std::vector<KeyMappingEntry>{{kCapsLock, kCapsLock}}));
    EXPECT_TRUE(logs->contains(LogLevel::info, "Do stuff for app argument -> --verbose"));
    // Arguments after the switch are not looked at.
    EXPECT_FALSE(logs->contains(LogLevel::info, "Do stuff for app argument -> --uitesting"));
    EXPECT_FALSE(delegate.hasRunPreInit());
    EXPECT_TRUE(Realm::defaultConfiguration().fileURL.empty());

    clock->advanceBy(999ms);
    EXPECT_TRUE(quits.empty());
    clock->advanceBy(1ms);
    EXPECT_EQ(quits, std::vector<int>{0});
    EXPECT_EQ(engineStarts, 0);

    delegate.applicationWillTerminate();
    EXPECT_TRUE(logs->contains(LogLevel::info, "App run beforeInit() only, so terminate now."));
    EXPECT_EQ(engineStops, 0);
    EXPECT_EQ(Platform::shared(), nullptr);
}

TEST_F(AppDelegateTest, GrantedAccessRemapsThenStartsTheEngineOnTheMainQueueAndQuitUndoesIt)
{
    AppDelegate delegate(options({"vandrel", "--uitesting"}));
    EXPECT_FALSE(delegate.applicationDidFinishLaunching().has_value());
    EXPECT_TRUE(logs->contains(LogLevel::info, "resetStateForUITesting"));

    EXPECT_EQ(Platform::shared(), sim);
    EXPECT_EQ(mapping(), (std::vector<KeyMappingEntry>{{kCapsLock, kF19}}));
    EXPECT_EQ(Realm::defaultConfiguration().fileURL, path("data") / Realm::kFileName);
    EXPECT_NE(VDAction::registered("moveLeftN"), nullptr) << "the built-in actions are registered";
    EXPECT_TRUE(quits.empty());

    EXPECT_EQ(engineStarts, 0) << "the start waits for the main queue";
    clock->runDue();
    EXPECT_EQ(engineStarts, 1);

    delegate.applicationWillTerminate();
    EXPECT_EQ(engineStops, 1);
    EXPECT_EQ(mapping(), (std::vector<KeyMappingEntry>{{kCapsLock, kCapsLock}}));
    EXPECT_TRUE(logs->contains(LogLevel::info, ">>>> App End <<<<"));
    EXPECT_EQ(Platform::shared(), nullptr);

    delegate.applicationWillTerminate();
    EXPECT_EQ(engineStops, 1) << "once only";
}

TEST_F(AppDelegateTest, QuitBeforeTheQueuedStartRanNeverStartsTheEngine)
{
    AppDelegate delegate(options({"vandrel"}));
    EXPECT_FALSE(delegate.applicationDidFinishLaunching().has_value());
    delegate.onTerminateSignal(SIGTERM);
    EXPECT_EQ(quits, std::vector<int>{0});
    clock->runDue();
    EXPECT_EQ(engineStarts, 0);
}

TEST_F(AppDelegateTest, ASecondTerminatingSignalWhileQuittingEndsTheProcess)
{
    {
        AppDelegate delegate(options({"vandrel"}));
        delegate.applicationDidFinishLaunching();
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
    delegate.applicationWillTerminate();
    delegate.onTerminateSignal(SIGINT);
    EXPECT_EQ(exits, std::vector<int>{128 + SIGINT});
    EXPECT_TRUE(quits.empty());
}

TEST_F(AppDelegateTest, WithoutInputAccessTheProgramExitsWithoutOpeningOrGrabbingAnything)
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
    AppDelegate delegate(std::move(o));

    EXPECT_EQ(delegate.applicationDidFinishLaunching(), std::optional<int>(AppDelegate::kExitNoInputAccess));
    ASSERT_NE(linuxPlatform, nullptr);
    EXPECT_FALSE(linuxPlatform->inputBackend().isStarted());
    // What is missing, and that the program ends because of it.
    EXPECT_GE(logs->count(LogLevel::error), 2u);
    EXPECT_TRUE(logs->contains(LogLevel::error,
                               "Vandrel cannot watch the keyboard without input access (see above); exiting."));

    clock->advanceBy(10s);
    EXPECT_EQ(engineStarts, 0);
    delegate.applicationWillTerminate();
    EXPECT_FALSE(linuxPlatform->inputBackend().isStarted()) << "quitting does not open the keyboards either";
    EXPECT_EQ(engineStops, 0);
}

}  // namespace
}  // namespace vandrel
