// The output keyboard's writer on its own: chunks a reader can drain, cut after a report, and no modifier
// press and release with nothing between that the user did not type.
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

TEST_F(WriterTest, ALongBatchGoesOutInChunksCutAfterAReportWithAPauseBetween)
{
    for (int i = 0; i < 50; ++i) {
        writer.postStroke({KEY_UP, true, 0});
        writer.postStroke({KEY_UP, false, 0});
    }
    std::size_t total = 0;
    int chunks = 0;
    while (writer.hasPending()) {
        ASSERT_TRUE(writer.flush(now));
        const auto written = writes();
        ASSERT_EQ(written.size(), 1u) << "one chunk per pause";
        EXPECT_LE(written[0].size(), UinputWriter::chunkEvents);
        EXPECT_EQ(written[0].back().type, EV_SYN);
        total += written[0].size();
        ++chunks;
        // Half a pause later nothing more goes out.
        ASSERT_TRUE(writer.flush(now + UinputWriter::chunkPause / 2));
        EXPECT_TRUE(writes().empty() || !writer.hasPending());
        now = writer.nextChunkAt();
    }
    EXPECT_EQ(total, 200u);
    EXPECT_EQ(chunks, 7);

    // A short batch after a quiet moment goes out at once, whole.
    now += std::chrono::milliseconds(5);
    writer.postStroke({KEY_DOWN, true, EvdevStroke::ctrl});
    writer.postStroke({KEY_DOWN, false, EvdevStroke::ctrl});
    writer.restoreModifiers();
    ASSERT_TRUE(writer.flush(now));
    EXPECT_FALSE(writer.hasPending());
    EXPECT_EQ(keys(), (Strings{"KEY_LEFTCTRL down", "KEY_DOWN down", "KEY_DOWN up", "KEY_LEFTCTRL up"}));
}

TEST_F(WriterTest, NoPauseEverSeesMoreThanAChunkWhateverTheMomentsOfTheWrites)
{
    // A typed key, then most of a pause later a long action, then more typing while it goes out.
    std::vector<std::pair<rx::TimePoint, std::size_t>> sent;
    const rx::TimePoint start = now;
    // Ten pauses' worth of 0.1 ms ticks: time enough for everything to go out.
    const int ticks = static_cast<int>(10 * UinputWriter::chunkPause / std::chrono::microseconds(100));
    for (int tick = 0; tick <= ticks; ++tick) {
        now = start + tick * std::chrono::microseconds(100);
        if (tick == 0 || tick == 12 || tick == 13) {
            writer.userPress(KEY_A);
            writer.userRelease(KEY_A);
        }
        if (tick == 9)
            for (int i = 0; i < 30; ++i) {
                writer.postStroke({KEY_UP, true, 0});
                writer.postStroke({KEY_UP, false, 0});
            }
        ASSERT_TRUE(writer.flush(now));
        for (const auto& w : writes()) sent.emplace_back(now, w.size());
    }
    EXPECT_FALSE(writer.hasPending());
    std::size_t total = 0;
    for (const auto& [at, count] : sent) {
        total += count;
        std::size_t inPause = 0;
        for (const auto& [other, n] : sent)
            if (other <= at && other + UinputWriter::chunkPause > at) inPause += n;
        EXPECT_LE(inPause, UinputWriter::chunkEvents);
    }
    EXPECT_EQ(total, 3 * 4 + 120u);
}

TEST_F(WriterTest, AWakeUpFarTooLateGivesTheReaderAPauseBeforeTheNextChunk)
{
    for (int i = 0; i < 20; ++i) {
        writer.postStroke({KEY_UP, true, 0});
        writer.postStroke({KEY_UP, false, 0});
    }
    ASSERT_TRUE(writer.flush(now));
    EXPECT_EQ(writes().size(), 1u);
    // The machine stalled: the next chunk would land on a reader that has not read the last one yet.
    now = writer.nextChunkAt() + 5 * UinputWriter::chunkPause;
    ASSERT_TRUE(writer.flush(now));
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(writer.nextChunkAt(), now + UinputWriter::chunkPause);
    ASSERT_TRUE(writer.flush(writer.nextChunkAt()));
    EXPECT_EQ(writes().size(), 1u);
    // A long action after a quiet moment starts at once.
    while (writer.hasPending()) ASSERT_TRUE(writer.flush(writer.nextChunkAt()));
    writes();
    now = writer.nextChunkAt() + std::chrono::seconds(10);
    for (int i = 0; i < 20; ++i) {
        writer.postStroke({KEY_UP, true, 0});
        writer.postStroke({KEY_UP, false, 0});
    }
    ASSERT_TRUE(writer.flush(now));
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(WriterTest, AReportLongerThanAChunkGoesWholeAndFlushAllWritesEverything)
{
    for (std::uint16_t code = KEY_Q; code < KEY_Q + 40; ++code) writer.userPress(code);
    ASSERT_TRUE(writer.flushAll());
    EXPECT_EQ(keys().size(), 40u);
    writer.releaseAll();  // one report of 40 releases
    ASSERT_TRUE(writer.flush(now));
    const auto written = writes();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].size(), 41u);
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
