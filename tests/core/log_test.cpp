// The logger's asynchronous destinations: the caller only queues, the destination's thread writes every line
// in order, flush() waits for it, a full ring drops and counts lines rather than make the caller wait, and a
// destination that logs loses no line.
#include "core/log.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <set>
#include <thread>

namespace vandrel {
namespace {

// Writes on its own thread; can hold its writer back, and can log from inside write().
class SlowDestination final : public LogDestination {
public:
    SlowDestination()
    {
        setMinLevel(LogLevel::verbose);
        startAsync();
    }
    ~SlowDestination() override { stopAsync(); }

    void write(const LogRecord& record) override
    {
        std::unique_lock lock(mutex);
        open.wait(lock, [&] { return !held; });
        lines.push_back(std::string(record.message) + "|" + std::string(record.context) + "|" +
                        std::string(record.threadLabel));
        writers.insert(std::this_thread::get_id());
        if (record.message == "log from inside") {
            lock.unlock();
            log.info("logged by the destination itself");
        }
    }

    void hold(bool on)
    {
        {
            std::lock_guard lock(mutex);
            held = on;
        }
        open.notify_all();
    }

    std::mutex mutex;
    std::condition_variable open;
    bool held = false;
    std::vector<std::string> lines;
    std::set<std::thread::id> writers;
};

struct LogTest : ::testing::Test {
    std::shared_ptr<SlowDestination> destination = std::make_shared<SlowDestination>();
    LogTest() { log.addDestination(destination); }
    ~LogTest() override { log.removeDestination(destination); }
};

TEST_F(LogTest, LinesAreWrittenOnTheDestinationsThreadInOrderAndFlushWaitsForThem)
{
    setCurrentThreadLabel("test.caller");
    // Fewer than the ring holds, so none can be dropped.
    for (int i = 0; i < 500; ++i) log.debug("line ->", i);
    log.flush();
    ASSERT_EQ(destination->lines.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(destination->lines[i], "line ->|" + std::to_string(i) + "|test.caller");
    EXPECT_EQ(destination->writers.size(), 1u);
    EXPECT_EQ(destination->writers.count(std::this_thread::get_id()), 0u);
}

TEST_F(LogTest, AFullRingDropsAndCountsLinesInsteadOfMakingTheCallerWait)
{
    destination->hold(true);
    // More lines than the ring holds, while the writer is stuck: the caller never waits.
    auto producer = std::async(std::launch::async, [] {
        for (int i = 0; i < 600; ++i) log.info("held ->", i);
    });
    const bool returned = producer.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    destination->hold(false);
    ASSERT_TRUE(returned);
    log.flush();
    // What fitted is written in order, then one line counts the rest.
    ASSERT_EQ(destination->lines.size(), 513u);
    EXPECT_EQ(destination->lines[511].rfind("held ->|511|", 0), 0u);
    EXPECT_EQ(destination->lines[512].rfind("log lines were dropped", 0), 0u);
    EXPECT_NE(destination->lines[512].find("|88|"), std::string::npos);
}

TEST_F(LogTest, ADestinationThatLogsWritesItsOwnLineAtOnce)
{
    log.info("log from inside");
    log.flush();
    ASSERT_EQ(destination->lines.size(), 2u);
    EXPECT_EQ(destination->lines[1].rfind("logged by the destination itself|", 0), 0u);
}

TEST(LogText, IntegersAreWrittenInFullAndCharactersStayCharacters)
{
    EXPECT_EQ(logText(-9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(logText(std::uint64_t{18446744073709551615ULL}), "18446744073709551615");
    EXPECT_EQ(logText('x'), "x");
    EXPECT_EQ(logText(true), "true");
    EXPECT_EQ(logText(1.5), "1.5");
}

}  // namespace
}  // namespace vandrel
