// The key path from end to end on the descriptor seams: a keyboard's events through the input backend, the
// input observer's taps and the deliverer (on the input thread, as the program wires them), the default
// layout's actions, and what the output keyboard gives applications.
#include <gtest/gtest.h>
#include <poll.h>

#include <deque>
#include <future>
#include <random>

#include "core/serial_queue.h"
#include "key_path_rig.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;
using KeyPath = testing::KeyPathRig;
using Strings = std::vector<std::string>;

Strings taps(const char* key, int times)
{
    Strings out;
    for (int i = 0; i < times; ++i) {
        out.push_back(std::string(key) + " down");
        out.push_back(std::string(key) + " up");
    }
    return out;
}

Strings operator+(Strings a, const Strings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(KeyPath, ActionStrokesComeBeforeKeysTypedRightAfter)
{
    KeyPath path;
    // Caps+S, Caps up and X in one read: Left comes out first.
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_S);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_X);
    path.rig.pump();
    EXPECT_EQ(path.rig.output(), taps("KEY_LEFT", 1) + taps("KEY_X", 1));

    // Thirty Ups (Caps+Super+T) are written over several pauses; X typed right after waits for all of them.
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->press(kKeyboard, KEY_LEFTMETA);
    path.rig.source->tap(kKeyboard, KEY_T);
    path.rig.source->release(kKeyboard, KEY_LEFTMETA);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_X);
    path.rig.pump();
    const auto first = path.rig.rawOutput();
    EXPECT_LE(first.size(), UinputWriter::chunkEvents);
    auto rest = path.drain();
    rest.insert(rest.begin(), first.begin(), first.end());
    EXPECT_EQ(testing::describeKeys(rest), taps("KEY_UP", 30) + taps("KEY_X", 1));
}

// A reader of an input device as the kernel serves it: it keeps 64 events; a write that brings more than
// fit drops what was kept and leaves SYN_DROPPED in its place.
struct KernelReader {
    static constexpr std::size_t capacity = 64;
    std::deque<input_event> buffer;
    std::vector<input_event> got;
    int dropped = 0;

    void receive(int fd)
    {
        std::vector<input_event> packet(4096);
        for (;;) {
            const ssize_t n = ::read(fd, packet.data(), packet.size() * sizeof(input_event));
            if (n <= 0) return;
            for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
                if (buffer.size() == capacity) {
                    buffer.clear();
                    buffer.push_back(testing::event(EV_SYN, SYN_DROPPED, 0));
                    ++dropped;
                }
                buffer.push_back(packet[i]);
            }
        }
    }
    void read(std::size_t count)
    {
        for (; count > 0 && !buffer.empty(); --count) {
            got.push_back(buffer.front());
            buffer.pop_front();
        }
    }
};

TEST(KeyPath, ThirtyStrokesArriveWholeAtAReaderThatReadsSixteenEventsAtATime)
{
    KeyPath path;
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->press(kKeyboard, KEY_LEFTMETA);
    path.rig.source->tap(kKeyboard, KEY_T);
    path.rig.source->release(kKeyboard, KEY_LEFTMETA);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    KernelReader reader;
    // The reader takes 16 events, then pauses half a millisecond: about as fast as a desktop reads.
    for (int round = 0; round < 40; ++round) {
        path.rig.pump();
        reader.receive(path.rig.outputTestEnd.get());
        reader.read(16);
        path.rig.clock->advanceBy(std::chrono::microseconds(500));
    }
    reader.read(KernelReader::capacity);
    EXPECT_EQ(reader.dropped, 0);
    EXPECT_EQ(testing::describeKeys(reader.got), taps("KEY_UP", 30));
}

TEST(KeyPath, ModifiersHeldBeforeCapsNeverShowAsLoneTaps)
{
    for (const std::uint16_t modifier : {KEY_LEFTMETA, KEY_LEFTALT, KEY_LEFTCTRL, KEY_LEFTSHIFT}) {
        SCOPED_TRACE(libevdev_event_code_get_name(EV_KEY, modifier));
        KeyPath path;
        path.rig.source->press(kKeyboard, modifier);
        path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
        path.rig.source->tap(kKeyboard, KEY_E);
        path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
        path.rig.source->release(kKeyboard, modifier);
        const auto out = path.drain();
        EXPECT_EQ(testing::loneModifierTaps(out), Strings{});
        // Nothing stays down.
        for (std::uint16_t code = 0; code < KEY_CNT; ++code) EXPECT_FALSE(path.rig.backend->isOutputKeyDown(code));
        // Super is the Command of the layout: Caps+Super+E is three Ups, with Super up around them.
        if (modifier == KEY_LEFTMETA) {
            Strings ups;
            for (const auto& key : testing::describeKeys(out))
                if (key.rfind("KEY_UP", 0) == 0) ups.push_back(key);
            EXPECT_EQ(ups, taps("KEY_UP", 3));
        }
    }
}

TEST(KeyPath, KeyOnlyActionsDoNotWaitForABlockedMainThread)
{
    auto main = SerialQueue::make("test.main", QueuePriority::normal);
    std::promise<void> unblock;
    std::shared_future<void> released = unblock.get_future().share();
    main->async([released] { released.wait(); });

    KeyPath path(InputRig::Setup{.ownThread = true}, main);
    ASSERT_TRUE(path.rig.source->waitForGrab(kKeyboard, true));
    // The grab lands on the input thread first; a job there runs after it.
    std::promise<void> reached;
    path.backend->inputThreadScheduler()->schedule([&reached] { reached.set_value(); });
    reached.get_future().wait();

    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_S);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    // The main thread is still blocked while Left comes out.
    std::vector<input_event> out;
    pollfd readable{path.rig.outputTestEnd.get(), POLLIN, 0};
    while (testing::describeKeys(out).size() < 2 && ::poll(&readable, 1, 10'000) == 1) {
        const auto more = path.rig.rawOutput();
        out.insert(out.end(), more.begin(), more.end());
    }
    EXPECT_EQ(testing::describeKeys(out), taps("KEY_LEFT", 1));
    unblock.set_value();
    main->sync([] { return 0; });
}

TEST(KeyPath, ARandomStreamOfTypingAndActionsLosesAndReordersNothing)
{
    KeyPath path;
    struct Combination {
        std::vector<std::uint16_t> keys;  // pressed in order inside the Caps hold, released in reverse
        const char* posted;
        int times;
    };
    const std::vector<Combination> combinations{
        {{KEY_S}, "KEY_LEFT", 1},
        {{KEY_E}, "KEY_UP", 1},
        {{KEY_D}, "KEY_DOWN", 1},
        {{KEY_F}, "KEY_RIGHT", 1},
        {{KEY_LEFTMETA, KEY_E}, "KEY_UP", 3},
        {{KEY_LEFTMETA, KEY_T}, "KEY_UP", 30},
        {{}, "KEY_ESC", 1},  // a Caps tap alone
    };
    const std::vector<std::uint16_t> letters{KEY_Q, KEY_W, KEY_Z, KEY_X, KEY_M, KEY_N, KEY_O};

    std::mt19937 random(16);
    std::vector<input_event> typed;
    Strings expected;
    const auto key = [&](std::uint16_t code, int value) {
        typed.push_back(testing::event(EV_KEY, code, value));
        typed.push_back(testing::event(EV_SYN, SYN_REPORT, 0));
    };
    std::size_t keyEvents = 0;
    while (keyEvents < 100'000) {
        if (random() % 3 == 0) {
            const auto& c = combinations[random() % combinations.size()];
            key(KEY_CAPSLOCK, 1);
            for (auto code : c.keys) key(code, 1);
            for (auto it = c.keys.rbegin(); it != c.keys.rend(); ++it) key(*it, 0);
            key(KEY_CAPSLOCK, 0);
            keyEvents += 2 + 2 * c.keys.size();
            const Strings strokes = taps(c.posted, c.times);
            expected.insert(expected.end(), strokes.begin(), strokes.end());
        } else {
            const auto code = letters[random() % letters.size()];
            key(code, 1);
            key(code, 0);
            keyEvents += 2;
            expected.push_back(std::string(libevdev_event_code_get_name(EV_KEY, code)) + " down");
            expected.push_back(std::string(libevdev_event_code_get_name(EV_KEY, code)) + " up");
        }
    }

    // Written in bursts as a fast typist's keyboard gives them, read back as the loop goes.
    std::vector<input_event> out;
    const int fd = path.rig.source->testFd(kKeyboard);
    for (std::size_t at = 0; at < typed.size(); at += 32) {
        const std::vector<input_event> burst(typed.begin() + at, typed.begin() + std::min(typed.size(), at + 32));
        ASSERT_TRUE(testing::writeEvents(fd, burst));
        path.rig.pumpAfterPause();
        const auto more = path.rig.rawOutput();
        out.insert(out.end(), more.begin(), more.end());
    }
    const auto rest = path.drain();
    out.insert(out.end(), rest.begin(), rest.end());
    const Strings got = testing::describeKeys(out);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

}  // namespace
}  // namespace vandrel
