#include "app/migration.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "app/program_steps.h"
#include "app/quiet_delegate.h"
#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/settings_store.h"

namespace vandrel {
namespace {

class MigrationTest : public ::testing::Test {
protected:
    std::shared_ptr<SettingsStore> settings() { return std::make_shared<SettingsStore>(dir.path().toStdString()); }

    // A runner for the version with two tasks that note their runs.
    Migration runner(const std::string& version)
    {
        Migration migration(settings(), version);
        migration.taskQueue.push_back([this] { ran.push_back("first"); });
        migration.taskQueue.push_back([this] { ran.push_back("second"); });
        return migration;
    }

    std::string stored() { return settings()->get(DefaultsKeys::app_theVersionLastLaunch); }

    QTemporaryDir dir;
    std::vector<std::string> ran;
};

TEST_F(MigrationTest, FirstLaunchRunsNoTaskAndRecordsTheVersion)
{
    runner("1.2.0").run();
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(stored(), "1.2.0");
}

TEST_F(MigrationTest, LaterLaunchesRunEveryTaskOnceInOrderThenRecordTheVersion)
{
    runner("1.2.0").run();

    auto upgrade = runner("1.3.0b");
    // The version is recorded only after the last task.
    upgrade.taskQueue.push_back([this] { ran.push_back("stored " + stored()); });
    upgrade.run();
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second", "stored 1.2.0"}));
    EXPECT_EQ(stored(), "1.3.0b");

    // A downgrade runs them again and records the older version.
    ran.clear();
    runner("1.1.0").run();
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(stored(), "1.1.0");
}

TEST_F(MigrationTest, ResetSettingsCountAsAFirstLaunch)
{
    runner("1.2.0").run();
    settings()->removeObject(DefaultsKeys::app_theVersionLastLaunch.key());
    runner("1.2.0").run();
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(stored(), "1.2.0");
}

TEST_F(MigrationTest, TheProgramsRunnerHasNoTasks)
{
    EXPECT_TRUE(Migration::shared().taskQueue.empty());
}

TEST_F(MigrationTest, LaunchingRunsTheMigrationsFirst)
{
    // The program's runner keeps the version in the user settings, which are process-wide: the test's own.
    installDefaults(settings());
    {
        auto options = test::quietDelegateOptions();
        options.runMigrations = programSteps().runMigrations;
        AppDelegate delegate(std::move(options));
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(Defaults().get(DefaultsKeys::app_theVersionLastLaunch), AppInfo::version());
    }
}

}  // namespace
}  // namespace vandrel
