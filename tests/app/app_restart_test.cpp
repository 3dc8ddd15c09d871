#include "app/app_restart.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace vandrel;

namespace {

struct Recorder {
    std::vector<std::pair<std::int64_t, std::vector<std::string>>> launches;
    std::vector<int> quits;
    std::optional<std::int64_t> helperPid = 4242;

    AppRestart::Options options()
    {
        AppRestart::Options o;
        o.launchAfterExit = [this](std::int64_t pid, const std::vector<std::string>& argv) {
            launches.emplace_back(pid, argv);
            return helperPid;
        };
        o.commandLine = {"/usr/bin/vandrel", "--verbose"};
        o.pid = 1234;
        o.quit = [this](int code) { quits.push_back(code); };
        return o;
    }
};

}  // namespace

TEST(AppRestart, NewInstanceWaitsForThisProcessToEndThenThisOneQuitsOnce)
{
    Recorder r;
    AppRestart restart(r.options());
    EXPECT_TRUE(restart.restart());
    ASSERT_EQ(r.launches.size(), 1u);
    EXPECT_EQ(r.launches[0].first, 1234);
    EXPECT_EQ(r.launches[0].second, (std::vector<std::string>{"/usr/bin/vandrel", "--verbose"}));
    EXPECT_EQ(r.quits, std::vector<int>{0});

    // A second press while quitting starts no second instance.
    EXPECT_FALSE(restart.restart());
    EXPECT_EQ(r.launches.size(), 1u);
    EXPECT_EQ(r.quits.size(), 1u);
}

TEST(AppRestart, KeepsRunningWhenTheNewInstanceCannotBePrepared)
{
    Recorder r;
    r.helperPid.reset();
    AppRestart failing(r.options());
    EXPECT_FALSE(failing.restart());
    EXPECT_TRUE(r.quits.empty());

    Recorder unknown;
    auto options = unknown.options();
    options.commandLine.clear();
    AppRestart blind(options);
    EXPECT_FALSE(blind.restart());
    EXPECT_TRUE(unknown.launches.empty());
    EXPECT_TRUE(unknown.quits.empty());

    // Once the helper can start, the restart goes ahead.
    r.helperPid = 7;
    EXPECT_TRUE(failing.restart());
    EXPECT_EQ(r.quits.size(), 1u);
}

TEST(AppRestart, ThisProcessIsStartedAgainAsItWasStarted)
{
    const auto options = AppRestart::forThisProcess([](int) {});
    EXPECT_EQ(options.pid, static_cast<std::int64_t>(getpid()));
    ASSERT_FALSE(options.commandLine.empty());
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    EXPECT_EQ(options.commandLine.front(), self);
    EXPECT_TRUE(options.launchAfterExit);
}
