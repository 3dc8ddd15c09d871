// The output keyboard's writer on its own: strokes paced as a reader can drain them, typed keys never, and no
// modifier press and release with nothing between that the user did not type.
#include "platform/linux/input/uinput_writer.h"

#include <gtest/gtest.h>

#include "input_fake_devices.h"

namespace vandrel {
namespace {

using Strings = std::vector<std::string>;
using testing::describeKeys;

struct WriterTest : ::testing::Test {
    std::pair<InputFd, InputFd> ends = testing::makeSocketPair();
    UinputWriter writer{ends.first.get()};
    rx::TimePoint now{std::chrono::seconds(10)};

    WriterTest() { testing::setNonBlocking(ends.second.get()); }

    // Each write as the reader gets it.
    std::vector<std::vector<input_event>> writes()
    {
        std::vector<std::vector<input_event>> out;
        std::vector<input_event> packet(1024);
        for (;;) {
            const ssize_t n = ::read(ends.second.get(), packet.data(), packet.size() * sizeof(input_event));
            if (n <= 0) return out;
            out.emplace_back(packet.begin(), packet.begin() + n / sizeof(input_event));
        }
    }
    Strings keys()
    {
        Strings all;
        for (const auto& w : writes())
            for (const auto& k : describeKeys(w)) all.push_back(k);
        return all;
    }
};

void postUps(UinputWriter& writer, int count)
{
    for (int i = 0; i < count; ++i) {
        writer.postStroke({KEY_UP, true, 0});
        writer.postStroke({KEY_UP, false, 0});
    }
}

TEST_F(WriterTest, StrokesGoEightAtOnceThenOnePerMillisecondAndTypedKeysWaitOnlyBehindThem)
{
    // Thirty Ups, with a key typed behind them: eight strokes at once, then one a millisecond.
    postUps(writer, 30);
    writer.userPress(KEY_A);
    writer.userRelease(KEY_A);
    std::vector<std::size_t> strokesPerMs;
    for (int ms = 0; writer.hasPending() && ms < 100; ++ms) {
        ASSERT_TRUE(writer.flush(now + ms * UinputWriter::strokeInterval));
        strokesPerMs.push_back(keys().size() / 2);
    }
    std::vector<std::size_t> expected(24, 1);
    expected[0] = 8;  // the typed key goes a millisecond after the last Up: a stroke's worth of events each
    EXPECT_EQ(strokesPerMs, expected);

    // Typed keys spend no stroke, but no write brings a reader more than 32 events: fifty keys that waited
    // together (200 events) go 32 at once, then as strokes do, four events a millisecond, whole reports.
    now += std::chrono::milliseconds(100);
    for (int i = 0; i < 50; ++i) {
        writer.userPress(KEY_A);
        writer.userRelease(KEY_A);
    }
    std::vector<std::size_t> sizes;
    int ms = 0;
    for (; writer.hasPending() && ms < 100; ++ms) {
        ASSERT_TRUE(writer.flush(now + ms * UinputWriter::strokeInterval));
        for (const auto& w : writes()) sizes.push_back(w.size());
    }
    std::vector<std::size_t> expectedSizes(43, 4);
    expectedSizes[0] = 32;
    EXPECT_EQ(sizes, expectedSizes);
    // Then a key typed goes at once.
    writer.userPress(KEY_B);
    writer.userRelease(KEY_B);
    ASSERT_TRUE(writer.flush(now + ms * UinputWriter::strokeInterval));
    EXPECT_EQ(keys(), (Strings{"KEY_B down", "KEY_B up"}));

    // The bucket refills while nothing is posted: three quiet milliseconds give three strokes at once.
    now += std::chrono::milliseconds(100);
    postUps(writer, 8);
    ASSERT_TRUE(writer.flush(now));
    EXPECT_EQ(keys().size(), 16u);
    postUps(writer, 8);
    ASSERT_TRUE(writer.flush(now + 3 * UinputWriter::strokeInterval));
    EXPECT_EQ(keys().size(), 6u);
}

TEST_F(WriterTest, ALateWakeUpWhileStrokesWaitEarnsNoBurst)
{
    postUps(writer, 20);
    ASSERT_TRUE(writer.flush(now));
    EXPECT_EQ(keys().size(), 16u);
    // The machine stalled for 10 ms: the reader most likely did not read either.
    now += std::chrono::milliseconds(10);
    ASSERT_TRUE(writer.flush(now));
    EXPECT_EQ(keys().size(), 2 * UinputWriter::catchUpStrokes);
    ASSERT_TRUE(writer.flush(writer.nextStrokeAt()));
    EXPECT_EQ(keys().size(), 2u);
}

TEST_F(WriterTest, FlushAllWritesEverythingAtOnce)
{
    postUps(writer, 30);
    for (std::uint16_t code = KEY_Q; code < KEY_Q + 10; ++code) writer.userPress(code);
    writer.releaseAll();
    ASSERT_TRUE(writer.flushAll());
    EXPECT_EQ(keys().size(), 80u);
    EXPECT_FALSE(writer.hasPending());
}

TEST_F(WriterTest, AModifierReleasedAfterOnlySwallowedKeysGetsAGuardTap)
{
    // Alt, a key the taps swallowed (Caps), Alt up: applications would see Alt alone.
    writer.userPress(KEY_LEFTALT);
    writer.userEventSwallowed();
    writer.userRelease(KEY_LEFTALT);
    ASSERT_TRUE(writer.flushAll());
    const Strings guarded = keys();
    EXPECT_EQ(guarded, (Strings{"KEY_LEFTALT down", "KEY_UNKNOWN down", "KEY_UNKNOWN up", "KEY_LEFTALT up"}));

    // Alt alone, typed so: written as typed. Alt with a passed key: no guard either.
    writer.userPress(KEY_LEFTALT);
    writer.userRelease(KEY_LEFTALT);
    writer.userPress(KEY_LEFTALT);
    writer.userPress(KEY_F);
    writer.userEventSwallowed();
    writer.userRelease(KEY_F);
    writer.userRelease(KEY_LEFTALT);
    ASSERT_TRUE(writer.flushAll());
    EXPECT_EQ(keys(), (Strings{"KEY_LEFTALT down", "KEY_LEFTALT up", "KEY_LEFTALT down", "KEY_F down", "KEY_F up",
                               "KEY_LEFTALT up"}));
}

TEST_F(WriterTest, AFailedWriteIsReportedAndDropsTheQueue)
{
    writer.userPress(KEY_A);
    ends.second.reset();
    EXPECT_FALSE(writer.flush(now));
    EXPECT_TRUE(writer.failed());
    EXPECT_FALSE(writer.hasPending());
}

}  // namespace
}  // namespace vandrel
