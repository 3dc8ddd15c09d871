#include "platform/linux/input/input_xkb_caps_lock_indicator.h"

#include <gtest/gtest.h>

#include "support/x11_test_server.h"

namespace vandrel {
namespace {

TEST(InputXkbCapsLockIndicator, ReadsAndSetsTheLockOfTheXSession)
{
    test::X11TestServer server(false);
    if (!server.ok()) GTEST_SKIP() << server.failure();
    auto indicator = InputXkbCapsLockIndicator::open(server.display());
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->isLocked(), false);
    EXPECT_TRUE(indicator->setLocked(true));
    EXPECT_EQ(indicator->isLocked(), true);
    EXPECT_TRUE(indicator->setLocked(false));
    EXPECT_EQ(indicator->isLocked(), false);
}

TEST(InputXkbCapsLockIndicator, NoDisplayGivesNoIndicator)
{
    EXPECT_EQ(InputXkbCapsLockIndicator::open(":4093"), nullptr);
}

}  // namespace
}  // namespace vandrel
