// Runs inside the test VM: the real program on the kernel's input stack. One program run serves every test
// here; each test leaves no key down.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

class ProgramKeys : public ProgramSuite<ProgramKeys> {};

TEST_F(ProgramKeys, PlainTypingPassesThroughUnchangedAndInOrder)
{
    // A few characters at a time, read in between: a reader's kernel buffer holds only about 64 events.
    const std::string_view text = "The quick brown fox jumps over 13 lazy dogs.\t{Caps}: \"yes\"!\n";
    std::vector<Key> typed;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const std::string_view chunk = text.substr(at, 4);
        ASSERT_TRUE(keyboard().typeText(chunk));
        const std::vector<Key> keys = keysOf(run().output().readKeyEvents(expectedKeys(chunk).size(), kKeyTimeout));
        typed.insert(typed.end(), keys.begin(), keys.end());
    }
    EXPECT_EQ(typed, expectedKeys(text));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{}) << "nothing more";
    // Modifiers and keys the program has no name for pass as well.
    ASSERT_TRUE(keyboard().chord({KEY_LEFTCTRL, KEY_LEFTALT}, KEY_T));
    ASSERT_TRUE(keyboard().tap(KEY_VOLUMEUP));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), (std::vector<Key>{{KEY_LEFTCTRL, 1},
                                                                      {KEY_LEFTALT, 1},
                                                                      {KEY_T, 1},
                                                                      {KEY_T, 0},
                                                                      {KEY_LEFTALT, 0},
                                                                      {KEY_LEFTCTRL, 0},
                                                                      {KEY_VOLUMEUP, 1},
                                                                      {KEY_VOLUMEUP, 0}}));
    EXPECT_EQ(run().output().droppedEvents(), 0);
}

TEST_F(ProgramKeys, NothingTypedWhileCapsIsHeldReachesApplications)
{
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    // Keys the default layout leaves unbound, a shifted one, and one still down when Caps goes up.
    for (int key : {KEY_Q, KEY_Z, KEY_M, KEY_RIGHTBRACE}) ASSERT_TRUE(keyboard().tap(key));
    ASSERT_TRUE(keyboard().chord({KEY_LEFTSHIFT}, KEY_Q));
    ASSERT_TRUE(keyboard().press(KEY_BACKSLASH));
    run().runActionInHold(keyboard());
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().release(KEY_BACKSLASH));
    // Only the action's stroke came out.
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});

    // Afterwards typing is plain again.
    ASSERT_TRUE(keyboard().typeText("qz"));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), expectedKeys("qz"));
}

TEST_F(ProgramKeys, ShiftHeldBeforeCapsAndReleasedDuringTheHoldIsReleasedOnTheOutput)
{
    ASSERT_TRUE(keyboard().press(KEY_LEFTSHIFT));
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().release(KEY_LEFTSHIFT));
    // Still holding Caps: Shift must already be up for applications, and not as a lone tap (Caps came between
    // for the user; a guard key does for applications).
    EXPECT_EQ(keysOf(run().output().readKeyEvents(4, kKeyTimeout)),
              (std::vector<Key>{{KEY_LEFTSHIFT, 1}, {KEY_UNKNOWN, 1}, {KEY_UNKNOWN, 0}, {KEY_LEFTSHIFT, 0}}));
    EXPECT_FALSE(run().output().isKeyDown(KEY_LEFTSHIFT));
    // The hold goes on as usual: Caps+E is a plain Up, with no Shift left over.
    run().runActionInHold(keyboard());
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});
}

TEST_F(ProgramKeys, ASecondKeyboardPluggedInLaterIsTakenOverToo)
{
    Result<UinputKeyboard> second = plugKeyboard("Vandrel E2E Second Keyboard");
    ASSERT_TRUE(second) << second.error();
    Result<InputDevice> node = InputDevice::waitForName(second->name(), kKeyTimeout);
    ASSERT_TRUE(node) << node.error();
    ASSERT_TRUE(run().waitForOutputCount("Keyboard grabbed -> " + second->name(), 1)) << run().log();
    Result<bool> grabbed = node->isGrabbedByOther();
    ASSERT_TRUE(grabbed) << grabbed.error();
    EXPECT_TRUE(grabbed.value());

    // Its keys come out of the program's keyboard, and its Caps Lock is the program's too.
    ASSERT_TRUE(second->typeText("hot"));
    EXPECT_EQ(run().keysBeforeSentinel(*second), expectedKeys("hot"));
    ASSERT_TRUE(second->press(KEY_CAPSLOCK));
    ASSERT_TRUE(second->tap(KEY_Q));
    run().runActionInHold(*second);
    ASSERT_TRUE(second->release(KEY_CAPSLOCK));
    EXPECT_EQ(run().keysBeforeSentinel(*second), std::vector<Key>{});

    // Unplugged again, the first keyboard goes on working.
    second = Result<UinputKeyboard>::failure("unplugged");
    ASSERT_TRUE(keyboard().typeText("ok"));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), expectedKeys("ok"));
}

// The state letter of a process in /proc (R, S, T for stopped ...); '?' when it cannot be read.
char processState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() ? '?' : line[close + 2];
}

// Every thread of the program and this one on the first processor while it lives: this reader then reads only
// between the program's writes, never during one, as on a busy machine.
class OneProcessor {
public:
    explicit OneProcessor(pid_t program) : program_(program)
    {
        sched_getaffinity(0, sizeof all_, &all_);
        cpu_set_t first;
        CPU_ZERO(&first);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &all_)) {
                CPU_SET(cpu, &first);
                break;
            }
        pinned_ = apply(first);
    }
    ~OneProcessor() { apply(all_); }
    bool pinned() const { return pinned_; }

private:
    bool apply(const cpu_set_t& set)
    {
        bool done = sched_setaffinity(0, sizeof set, &set) == 0;
        std::error_code error;
        for (const auto& task :
             std::filesystem::directory_iterator("/proc/" + std::to_string(program_) + "/task", error))
            done = sched_setaffinity(std::stoi(task.path().filename()), sizeof set, &set) == 0 && done;
        return done && !error;
    }

    const pid_t program_;
    cpu_set_t all_{};
    bool pinned_ = false;
};

TEST_F(ProgramKeys, KeysTypedOnTwoKeyboardsWhileTheProgramIsStoppedComeOutWholeAndInOrder)
{
    Result<UinputKeyboard> other = plugKeyboard("Vandrel E2E Other Hand");
    ASSERT_TRUE(other) << other.error();
    ASSERT_TRUE(run().waitForOutputCount("Keyboard grabbed -> " + other->name(), 1)) << run().log();
    const int dropped = run().output().droppedEvents();
    const OneProcessor one(run().process().pid());
    ASSERT_TRUE(one.pinned());

    // Stopped, the program reads nothing while fifteen keys are typed on each keyboard, by turns: 60 events
    // wait on each, within what the kernel keeps for a reader.
    ASSERT_TRUE(run().process().signal(SIGSTOP));
    ASSERT_TRUE(eventually([&] { return processState(run().process().pid()) == 'T'; }));
    const std::string first = "abcdefghijklmno";
    const std::string second = "pqrstuvwxyz1234";
    std::vector<Key> expected;
    for (std::size_t i = 0; i < first.size(); ++i) {
        ASSERT_TRUE(keyboard().typeText(first.substr(i, 1)));
        ASSERT_TRUE(other->typeText(second.substr(i, 1)));
        for (const auto& typed : {first.substr(i, 1), second.substr(i, 1)})
            for (const Key& key : expectedKeys(typed)) expected.push_back(key);
    }
    ASSERT_TRUE(run().process().signal(SIGCONT));
    // Then every key comes out in the order typed, and a reader that keeps up loses none.
    EXPECT_EQ(run().readKeys(expected.size()), expected);
    EXPECT_EQ(run().output().droppedEvents(), dropped);
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});
}

// What applications act on: modifiers pressed and released with no other key pressed between.
std::vector<int> loneModifierTaps(const std::vector<Key>& keys)
{
    const auto isModifier = [](int code) {
        return code == KEY_LEFTMETA || code == KEY_RIGHTMETA || code == KEY_LEFTALT || code == KEY_RIGHTALT ||
               code == KEY_LEFTCTRL || code == KEY_RIGHTCTRL || code == KEY_LEFTSHIFT || code == KEY_RIGHTSHIFT;
    };
    std::vector<int> alone;
    std::vector<int> taps;
    for (const Key& key : keys) {
        if (key.value == 1) {
            alone.clear();
            if (isModifier(key.code)) alone.push_back(key.code);
        } else if (key.value == 0 && std::find(alone.begin(), alone.end(), key.code) != alone.end()) {
            taps.push_back(key.code);
            std::erase(alone, key.code);
        }
    }
    return taps;
}

TEST_F(ProgramKeys, ThirtyStrokesOfOneActionArriveWhole)
{
    // Caps+Super+T: thirty Ups, 120 events with their reports, more than a reader's kernel buffer holds.
    const int dropped = run().output().droppedEvents();
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().chord({KEY_LEFTMETA}, KEY_T));
    std::vector<Key> expected;
    for (int i = 0; i < 30; ++i) expected.push_back({KEY_UP, 1}), expected.push_back({KEY_UP, 0});
    EXPECT_EQ(run().readKeys(expected.size()), expected);
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), std::vector<Key>{});
    EXPECT_EQ(run().output().droppedEvents(), dropped);
}

TEST_F(ProgramKeys, AKeyTypedRightAfterAnActionComesAfterItsStrokes)
{
    const int dropped = run().output().droppedEvents();
    for (int round = 0; round < 5; ++round) {
        // Caps+S, Caps up and X as fast as the test can write them.
        ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
        ASSERT_TRUE(keyboard().tap(KEY_S));
        ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
        ASSERT_TRUE(keyboard().tap(KEY_X));
        std::vector<Key> expected = tapOf(KEY_LEFT);
        expected.push_back({KEY_X, 1});
        expected.push_back({KEY_X, 0});
        EXPECT_EQ(run().keysBeforeSentinel(keyboard()), expected) << "round " << round;
    }
    // The same behind a long action: X waits for all thirty Ups. Read as they come, as an application reads.
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().chord({KEY_LEFTMETA}, KEY_T));
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard().tap(KEY_X));
    std::vector<Key> expected;
    for (int i = 0; i < 30; ++i) expected.push_back({KEY_UP, 1}), expected.push_back({KEY_UP, 0});
    expected.push_back({KEY_X, 1});
    expected.push_back({KEY_X, 0});
    run().expectOutput(keyboard(), expected, "thirty Ups, then X");
    EXPECT_EQ(run().output().droppedEvents(), dropped);
}

TEST_F(ProgramKeys, SuperHeldAroundACapsActionNeverShowsAsALoneTap)
{
    // The modifier held, Caps held, the key tapped, then both let go: what applications get.
    const auto heldAround = [&](int modifier, int key) {
        EXPECT_TRUE(keyboard().press(modifier));
        EXPECT_TRUE(keyboard().press(KEY_CAPSLOCK));
        EXPECT_TRUE(keyboard().tap(key));
        EXPECT_TRUE(keyboard().release(KEY_CAPSLOCK));
        EXPECT_TRUE(keyboard().release(modifier));
        return run().keysBeforeSentinel(keyboard());
    };
    // Super held before Caps is the layout's Command: Caps+Super+E is three Ups, with Super lifted for them.
    const std::vector<Key> keys = heldAround(KEY_LEFTMETA, KEY_E);
    EXPECT_EQ(loneModifierTaps(keys), std::vector<int>{}) << ::testing::PrintToString(keys);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), Key{KEY_UP, 1}), 3) << ::testing::PrintToString(keys);
    // Alt held around an unbound combination: the swallowed keys came between its press and release.
    const std::vector<Key> alt = heldAround(KEY_LEFTALT, KEY_Q);
    EXPECT_EQ(loneModifierTaps(alt), std::vector<int>{}) << ::testing::PrintToString(alt);
    // A lone tap the user types still goes out.
    ASSERT_TRUE(keyboard().tap(KEY_LEFTMETA));
    EXPECT_EQ(run().keysBeforeSentinel(keyboard()), tapOf(KEY_LEFTMETA));
}

TEST_F(ProgramKeys, KeyLatencyThroughTheProgram)
{
    // From a write on the physical keyboard to the event on the program's keyboard, 10,000 events. Printed
    // only: the figure depends on the machine and the emulator.
    constexpr int kEvents = 10'000;
    const KeyLatency latency = measureKeyLatency(keyboard(), run().output(), kEvents, kKeyTimeout);
    ASSERT_EQ(latency.lost, 0) << "events missing or out of order";
    const double median = latency.median();
    const double p99 = latency.p99();
    std::cout << "physical keyboard -> program -> output keyboard over " << latency.micros.size() << " events: median "
              << median << " us, p99 " << p99 << " us, max " << latency.max() << " us" << std::endl;
    RecordProperty("latency_median_us", std::to_string(median));
    RecordProperty("latency_p99_us", std::to_string(p99));
}

}  // namespace
}  // namespace vandrel::vmtest
