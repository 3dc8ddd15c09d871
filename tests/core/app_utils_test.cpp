#include "core/app_utils.h"

#include <gtest/gtest.h>

using namespace vandrel;

TEST(AppUtils, WithoutHandlersNothingHappensAndWithThemTheyAreCalled)
{
    AppUtils::checkForUpdates();
    AppUtils::restartApp();  // without a handler: logs only, the test process goes on

    int checks = 0, restarts = 0;
    AppUtils::setCheckForUpdatesHandler([&] { ++checks; });
    AppUtils::setRestartHandler([&] { ++restarts; });
    AppUtils::checkForUpdates();
    AppUtils::restartApp();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(restarts, 1);
    AppUtils::setCheckForUpdatesHandler(nullptr);
    AppUtils::setRestartHandler(nullptr);
}
