#include "platform/linux/input/input_signal_guard.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "input_rig.h"

namespace vandrel {
namespace {

TEST(InputSignalGuard, TerminationLetsTheKeyboardsGoBeforeTheProgramEnds)
{
    testing::InputRig rig(testing::InputRig::Setup{.ownThread = true});
    auto tap = rig.backend->createTap(
        KeyEventType::keyDown, [](KeyEvent&) { return TapResult::pass; }, TapPlacement::headInsert);
    ASSERT_TRUE(rig.source->waitForGrab(testing::kKeyboard, true));

    std::mutex mutex;
    std::vector<std::string> order;
    std::promise<int> terminated;
    ASSERT_TRUE(InputSignalGuard::install([&](int signal) {
        {
            std::lock_guard lock(mutex);
            order.push_back(rig.source->isGrabbed(testing::kKeyboard) ? "terminate while grabbed"
                                                                      : "terminate after ungrab");
        }
        terminated.set_value(signal);
    }));
    const int id = InputSignalGuard::addCleanup([&] {
        std::lock_guard lock(mutex);
        order.push_back("cleanup");
    });
    ::raise(SIGTERM);
    auto future = terminated.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), SIGTERM);
    InputSignalGuard::removeCleanup(id);
    std::lock_guard lock(mutex);
    EXPECT_EQ(order.size(), 2u);
    EXPECT_EQ(order.back(), "terminate after ungrab");
    EXPECT_FALSE(rig.source->isGrabbed(testing::kKeyboard));
}

TEST(InputSignalGuardDeathTest, ASecondTerminatingSignalEndsTheProcessWhateverHoldsUpTheFirst)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::promise<void> stuck;
            InputSignalGuard::install([](int) {});
            InputSignalGuard::addCleanup([&] {
                stuck.set_value();
                for (;;) ::pause();
            });
            ::raise(SIGTERM);
            stuck.get_future().wait();
            ::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

TEST(InputSignalGuardDeathTest, AHangUpQuitsThroughTheProgramLikeATermination)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::promise<void> cleaned;
            InputSignalGuard::install([](int signal) { std::_Exit(signal == SIGHUP ? 0 : 1); });
            InputSignalGuard::addCleanup([&] { cleaned.set_value(); });
            ::raise(SIGHUP);
            cleaned.get_future().wait();
            for (;;) ::pause();
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vandrel
