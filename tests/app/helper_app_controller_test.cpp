#include "app/helper_app_controller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <memory>

#include "app/quiet_delegate.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/instance_channel.h"
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

    HelperAppController helper(HelperAppController::Options{group});
    EXPECT_FALSE(helper.recordCurrentPID(true)) << "a quit before start-up stores nothing";
    EXPECT_EQ(stored(), 0);
    ASSERT_TRUE(helper.recordCurrentPID(false));
    EXPECT_EQ(stored(), ::getpid());
    EXPECT_TRUE(helper.recordCurrentPID(true));
    EXPECT_EQ(stored(), -1);
}

TEST(HelperAppControllerTest, TheProgramRecordsItsIdAtStartAndMinusOneWhenItQuits)
{
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    auto group = std::make_shared<SettingsStore>(folder, SettingsStore::groupFileName);
    auto options = test::quietDelegateOptions();
    options.helperApp = std::make_shared<HelperAppController>(HelperAppController::Options{group});
    options.instance = std::make_shared<InstanceChannel>(InstanceChannel::Paths::in(folder));
    {
        AppDelegate delegate(options);
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(group->get(DefaultsKeys::app_theVandrelCurrentPID), ::getpid());
        {
            // A later start, handed over to this one, neither overwrites the id nor, ending, marks a normal end.
            auto later = options;
            later.instance = std::make_shared<InstanceChannel>(InstanceChannel::Paths::in(folder));
            later.print = [](const std::string&) {};
            AppDelegate second(std::move(later));
            EXPECT_FALSE(second.claimInstance());
            second.applicationWillTerminate();
            EXPECT_EQ(group->get(DefaultsKeys::app_theVandrelCurrentPID), ::getpid());
        }
        delegate.applicationWillTerminate();
        EXPECT_EQ(group->get(DefaultsKeys::app_theVandrelCurrentPID), -1);
    }
}

}  // namespace
}  // namespace vandrel
