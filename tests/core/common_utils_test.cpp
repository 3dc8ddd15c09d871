#include "core/common_utils.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include "core/log_capture.h"
#include "core/main_queue.h"
#include "rx/virtual_time_scheduler.h"

using namespace vandrel;
using std::chrono::milliseconds;

namespace {

// Whether a line of that level containing the text was logged.
bool logged(const test::ScopedLogCapture& logs, LogLevel level, const std::string& text)
{
    const auto entries = logs->entries();
    return std::any_of(entries.begin(), entries.end(),
                       [&](const auto& e) { return e.level == level && e.message.find(text) != std::string::npos; });
}

class CommonUtilsTest : public ::testing::Test {
protected:
    test::ScopedLogCapture capture;
    std::shared_ptr<rx::VirtualTimeScheduler> mainClock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<rx::VirtualTimeScheduler> globalClock = rx::VirtualTimeScheduler::make();
};

}  // namespace

TEST_F(CommonUtilsTest, DelaysAreWholeMillisecondsTruncatedAndOddValuesNeverFail)
{
    EXPECT_EQ(CommonUtils::delayFor(0.3), milliseconds(300));
    EXPECT_EQ(CommonUtils::delayFor(1.0009), milliseconds(1000));
    EXPECT_EQ(CommonUtils::delayFor(0.0004), rx::Duration::zero());
    EXPECT_EQ(CommonUtils::delayFor(-2.5), rx::Duration::zero());
    EXPECT_EQ(CommonUtils::delayFor(-std::numeric_limits<double>::infinity()), rx::Duration::zero());
    EXPECT_EQ(CommonUtils::delayFor(std::nan("")), rx::Duration::zero());
    EXPECT_EQ(CommonUtils::delayFor(std::numeric_limits<double>::infinity()), CommonUtils::kMaxDelay);
    EXPECT_EQ(CommonUtils::delayFor(1e300), CommonUtils::kMaxDelay);
    EXPECT_TRUE(logged(capture, LogLevel::warning, "delay too long"));
}

TEST_F(CommonUtilsTest, DoAfterRunsOnTheGivenQueuesAtTheTruncatedDeadline)
{
    std::vector<std::string> ran;
    CommonUtils::doAfter(*mainClock, 0.3, [&] { ran.push_back("main 0.3"); });
    CommonUtils::doAfter(*mainClock, 0.0004, [&] { ran.push_back("main 0.0004"); });
    CommonUtils::doAfter(*globalClock, 0.1, [&] { ran.push_back("global 0.1"); });
    CommonUtils::doAfter(*mainClock, std::numeric_limits<double>::infinity(), [&] { ran.push_back("never"); });
    EXPECT_TRUE(ran.empty());  // nothing runs inside the call
    mainClock->runDue();
    EXPECT_EQ(ran, std::vector<std::string>{"main 0.0004"});
    mainClock->advanceBy(milliseconds(299));
    globalClock->advanceBy(milliseconds(100));
    EXPECT_EQ(ran, (std::vector<std::string>{"main 0.0004", "global 0.1"}));
    mainClock->advanceBy(milliseconds(1));
    EXPECT_EQ(ran, (std::vector<std::string>{"main 0.0004", "global 0.1", "main 0.3"}));
    mainClock->advanceBy(std::chrono::hours(24 * 365));
    EXPECT_EQ(ran.size(), 3u);
}

TEST_F(CommonUtilsTest, TheDefaultMainQueueRunsTheJobOnALaterTurnOfTheEventLoop)
{
    bool ran = false;
    bool onMain = false;
    CommonUtils::doAfterInMainQueue(0, [&] {
        ran = true;
        onMain = MainQueue::isMainThread();
    });
    EXPECT_FALSE(ran);
    QTimer tick;
    tick.start(10);
    for (int i = 0; i < 2000 && !ran; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(onMain);
}

TEST_F(CommonUtilsTest, ShellReturnsStandardOutputUnchanged)
{
    EXPECT_EQ(CommonUtils::shell("printf 'a b\\nc\\n'"), "a b\nc\n");
    EXPECT_EQ(CommonUtils::shell("true"), "");
    EXPECT_EQ(CommonUtils::shell("echo hidden >&2; echo shown"), "shown\n");
    EXPECT_EQ(CommonUtils::shell("printf 'caf\\303\\251 \\342\\214\\230'"), "caf\u00e9 \u2318");
    EXPECT_EQ(CommonUtils::shell("no-such-command-here 2>/dev/null; exit 3"), "");
    // Bytes that are not UTF-8 do not fail; they become replacement characters.
    EXPECT_EQ(CommonUtils::shell("printf 'a\\377b\\300\\257'"), "a\uFFFDb\uFFFD\uFFFD");
    // A command that keeps running in the background does not hold the caller once its output is closed.
    const auto background = CommonUtils::shell("sleep 30 >/dev/null 2>&1 & echo $!");
    ASSERT_FALSE(background.empty());
    EXPECT_EQ(background.back(), '\n');
    kill(static_cast<pid_t>(std::stol(background)), SIGKILL);
}

TEST_F(CommonUtilsTest, ShellStopsACommandThatOutlivesItsTimeout)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CommonUtils::shell("echo partial; sleep 30; echo never", milliseconds(200)), "partial\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(logged(capture, LogLevel::warning, "timed out"));
}
