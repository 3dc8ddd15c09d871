#include "app/helper_app_controller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <memory>

#include "app/quiet_delegate.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "core/settings_store.h"

namespace vandrel {
namespace {

TEST(HelperAppControllerTest, TheProgramKeepsItsIdWhileItRunsAndMinusOneAfterANormalQuit)
{
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    auto group = std::make_shared<SettingsStore>(folder, SettingsStore::groupFileName);
    const auto stored = [&] {
        return SettingsStore(folder, SettingsStore::groupFileName).get(DefaultsKeys::app_theVandrelCurrentPID);
    };
    HelperAppController::Options options{group, folder / "vandrel.lock"};
    test::ScopedLogCapture logs;

    HelperAppController first(options);
    EXPECT_FALSE(first.recordCurrentPID(true)) << "a quit before start-up stores nothing";
    EXPECT_EQ(stored(), 0);
    ASSERT_TRUE(first.recordCurrentPID(false));
    EXPECT_EQ(stored(), ::getpid());
    EXPECT_TRUE(first.holdsInstanceLock());
    EXPECT_TRUE(InstanceLock::isHeldElsewhere(folder / "vandrel.lock"));

    {
        // A second instance neither overwrites the id nor, quitting, marks a normal end.
        group->set(DefaultsKeys::app_theVandrelCurrentPID, std::int64_t{4242});
        HelperAppController second(options);
        EXPECT_FALSE(second.recordCurrentPID(false));
        EXPECT_FALSE(second.recordCurrentPID(true));
        EXPECT_EQ(stored(), 4242);
        EXPECT_TRUE(logs->contains(LogLevel::warning, "Another Vandrel runs (its instance lock is held) ->"));
    }

    EXPECT_TRUE(first.recordCurrentPID(true));
    EXPECT_EQ(stored(), -1);
}

TEST(HelperAppControllerTest, TheLockGoesWithTheProgram)
{
    QTemporaryDir dir;
    const std::filesystem::path lock = std::filesystem::path(dir.path().toStdString()) / "vandrel.lock";
    {
        HelperAppController::Options options{
            std::make_shared<SettingsStore>(dir.path().toStdString(), SettingsStore::groupFileName), lock};
        HelperAppController running(options);
        ASSERT_TRUE(running.recordCurrentPID(false));
        EXPECT_TRUE(InstanceLock::isHeldElsewhere(lock));
    }
    EXPECT_FALSE(InstanceLock::isHeldElsewhere(lock));
}

TEST(HelperAppControllerTest, TheProgramRecordsItsIdAtStartAndMinusOneWhenItQuits)
{
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    installDefaults(std::make_shared<SettingsStore>(folder / "settings"));
    auto group = std::make_shared<SettingsStore>(folder, SettingsStore::groupFileName);
    auto options = test::quietDelegateOptions(folder);
    options.helperApp = std::make_shared<HelperAppController>(HelperAppController::Options{group, folder / "lock"});
    {
        AppDelegate delegate(std::move(options));
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(group->get(DefaultsKeys::app_theVandrelCurrentPID), ::getpid());
        delegate.applicationWillTerminate();
        EXPECT_EQ(group->get(DefaultsKeys::app_theVandrelCurrentPID), -1);
    }
    installPlatform(nullptr);
}

}  // namespace
}  // namespace vandrel
