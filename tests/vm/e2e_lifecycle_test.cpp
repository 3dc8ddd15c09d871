// Runs inside the test VM: the real program started and ended around keys held down. Each test has a program
// run of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <iostream>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

class ProgramLifecycle : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(plugKeyboardWithNode(keyboard_, node_)); }

    void TearDown() override
    {
        if (HasFailure() && run_) std::cout << "program output:\n" << run_->log() << std::endl;
    }

    void start(std::vector<std::pair<std::string, std::string>> env = {})
    {
        std::optional<ProgramRun> run = ProgramRun::start({}, std::move(env));
        ASSERT_TRUE(run);
        run_.emplace(std::move(*run));
    }

    bool physicalGrabbed()
    {
        Result<bool> grabbed = node_->isGrabbedByOther();
        EXPECT_TRUE(grabbed) << grabbed.error();
        return grabbed && grabbed.value();
    }

    // Holds Shift and A (both out on the output keyboard), then Caps.
    void holdKeysAndCaps()
    {
        ASSERT_TRUE(keyboard_->press(KEY_LEFTSHIFT));
        ASSERT_TRUE(keyboard_->press(KEY_A));
        ASSERT_TRUE(keyboard_->press(KEY_CAPSLOCK));
        const std::vector<input_event> out = run_->output().readKeyEvents(2, kKeyTimeout);
        ASSERT_EQ(keysOf(out), (std::vector<Key>{{KEY_LEFTSHIFT, 1}, {KEY_A, 1}}));
        ASSERT_TRUE(run_->output().isKeyDown(KEY_A));
    }

    std::optional<UinputKeyboard> keyboard_;
    std::optional<InputDevice> node_;
    std::optional<ProgramRun> run_;
};

TEST_F(ProgramLifecycle, UnpluggingTheKeyboardMidHoldLeavesNoKeyDownOnTheOutput)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(holdKeysAndCaps());
    node_.reset();
    keyboard_.reset();

    EXPECT_TRUE(eventually([&] { return run_->keysDownOnOutput().empty(); }))
        << ::testing::PrintToString(run_->keysDownOnOutput());
    EXPECT_TRUE(run_->process().running());

    // A keyboard plugged in again works as before, Caps Lock included.
    ASSERT_NO_FATAL_FAILURE(SetUp());
    ASSERT_TRUE(run_->waitForOutputCount("Keyboard grabbed -> " + keyboard_->name(), 2));
    ASSERT_TRUE(keyboard_->typeText("back"));
    EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), expectedKeys("back"));
}

TEST_F(ProgramLifecycle, SigtermMidHoldReleasesEveryKeyAndLetsTheKeyboardGo)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(physicalGrabbed());
    ASSERT_NO_FATAL_FAILURE(holdKeysAndCaps());

    ASSERT_TRUE(run_->process().signal(SIGTERM));
    // The output keyboard says every key went up before it goes away.
    std::vector<Key> keys;
    const auto released = [&](int code) { return std::find(keys.begin(), keys.end(), Key{code, 0}) != keys.end(); };
    while (!(released(KEY_LEFTSHIFT) && released(KEY_A))) {
        const std::optional<input_event> event = run_->output().readEvent(kKeyTimeout);
        if (!event) break;
        if (event->type == EV_KEY) keys.push_back({event->code, event->value});
    }
    EXPECT_NE(std::find(keys.begin(), keys.end(), Key{KEY_LEFTSHIFT, 0}), keys.end()) << ::testing::PrintToString(keys);
    EXPECT_NE(std::find(keys.begin(), keys.end(), Key{KEY_A, 0}), keys.end()) << ::testing::PrintToString(keys);

    const std::optional<ExitStatus> status = run_->process().wait(kProgramStartTimeout);
    ASSERT_TRUE(status) << "still running after SIGTERM";
    EXPECT_TRUE(status->exitedWith(0)) << status->describe();
    EXPECT_FALSE(physicalGrabbed());
    EXPECT_NE(run_->log().find(">>>> App End <<<<"), std::string::npos);

    // The keys still held reach whoever reads the keyboard now.
    ASSERT_TRUE(keyboard_->release(KEY_A));
    EXPECT_EQ(keysOf(node_->readKeyEvents(1, kKeyTimeout)), (std::vector<Key>{{KEY_A, 0}}));
}

TEST_F(ProgramLifecycle, TwoInterruptsInARowEndTheProgramWithTheKeyboardLetGo)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(holdKeysAndCaps());
    ASSERT_TRUE(run_->process().signal(SIGINT));
    ASSERT_TRUE(run_->process().signal(SIGINT));
    const std::optional<ExitStatus> status = run_->process().wait(kProgramStartTimeout);
    ASSERT_TRUE(status) << "still running after two interrupts";
    // The first may have finished the shutdown before the second came.
    EXPECT_TRUE(status->exitedWith(0) || status->killedBy(SIGINT)) << status->describe();
    EXPECT_FALSE(physicalGrabbed());
    for (const InputDeviceInfo& device : InputDevice::list())
        EXPECT_FALSE(kVandrelVirtualKeyboard.matches(device.name, device.id)) << "the output keyboard is gone";
}

TEST_F(ProgramLifecycle, AKeyHeldAtStartKeepsItsKeyboardUngrabbedUntilReleased)
{
    ASSERT_TRUE(keyboard_->press(KEY_K));
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_FALSE(physicalGrabbed()) << "grabbed with a key down: its release would never reach its application";

    ASSERT_TRUE(keyboard_->release(KEY_K));
    ASSERT_TRUE(run_->waitForOutputCount("Keyboard grabbed -> " + keyboard_->name(), 1));
    EXPECT_TRUE(physicalGrabbed());
    // Nothing of the held key comes out of the program: its press went to applications straight from the keyboard.
    ASSERT_TRUE(keyboard_->typeText("k"));
    EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), expectedKeys("k"));
}

// A start of the program that has to end by itself; returns what it printed.
std::string runToEnd(std::vector<std::string> args)
{
    std::optional<ProgramRun> run = ProgramRun::launch(std::move(args));
    if (!run) return {};
    const std::optional<ExitStatus> status = run->process().wait(kProgramStartTimeout);
    EXPECT_TRUE(status) << "still running:\n" << run->log();
    if (status) {
        EXPECT_TRUE(status->exitedWith(0)) << status->describe() << "\n" << run->log();
    }
    return run->process().output();
}

std::size_t outputKeyboards()
{
    std::size_t count = 0;
    for (const InputDeviceInfo& device : InputDevice::list())
        if (kVandrelVirtualKeyboard.matches(device.name, device.id)) ++count;
    return count;
}

TEST_F(ProgramLifecycle, ASessionSwitchedAwayFromHoldsNoKeyboardUntilItIsActiveAgain)
{
    // logind stands in on a private bus, which the program takes for the system bus.
    ChildProcess::Options daemon;
    daemon.program = "dbus-daemon";
    daemon.args = {"--session", "--nofork", "--print-address"};
    Result<ChildProcess> bus = ChildProcess::start(std::move(daemon));
    ASSERT_TRUE(bus) << bus.error();
    ASSERT_TRUE(bus->waitForOutput("\n", kKeyTimeout)) << bus->errorOutput();
    const std::string address = bus->output().substr(0, bus->output().find('\n'));
    ChildProcess::Options standIn;
    standIn.program = VANDREL_FAKE_LOGIND_PATH;
    standIn.args = {address};
    Result<ChildProcess> logind = ChildProcess::start(std::move(standIn));
    ASSERT_TRUE(logind) << logind.error();
    ASSERT_TRUE(logind->waitForOutput("ready", kKeyTimeout)) << logind->errorOutput();
    ASSERT_NO_FATAL_FAILURE(start({{"DBUS_SYSTEM_BUS_ADDRESS", address}}));
    ASSERT_NO_FATAL_FAILURE(holdKeysAndCaps());

    ASSERT_TRUE(logind->signal(SIGUSR1));
    std::vector<Key> released = keysOf(run_->output().readKeyEvents(2, kKeyTimeout));
    std::sort(released.begin(), released.end(), [](const Key& a, const Key& b) { return a.code < b.code; });
    EXPECT_EQ(released, (std::vector<Key>{{KEY_A, 0}, {KEY_LEFTSHIFT, 0}}));
    EXPECT_TRUE(eventually([&] { return outputKeyboards() == 0 && !physicalGrabbed(); }));
    // Keys typed meanwhile belong to the other session: they reach the keyboard's other readers untouched (not
    // Caps Lock, whose lock the console would keep for the next test).
    ASSERT_TRUE(keyboard_->release(KEY_CAPSLOCK));
    ASSERT_TRUE(keyboard_->release(KEY_A));
    ASSERT_TRUE(keyboard_->release(KEY_LEFTSHIFT));
    ASSERT_TRUE(keyboard_->tap(KEY_B));
    EXPECT_EQ(keysOf(node_->readKeyEvents(5, kKeyTimeout)),
              (std::vector<Key>{{KEY_CAPSLOCK, 0}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0}, {KEY_B, 1}, {KEY_B, 0}}));

    ASSERT_TRUE(logind->signal(SIGUSR2));
    ASSERT_TRUE(run_->waitForEngine());  // its output keyboard anew
    ASSERT_TRUE(run_->waitForOutputCount("Keyboard grabbed -> " + keyboard_->name(), 2));
    ASSERT_TRUE(keyboard_->typeText("back"));
    EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), expectedKeys("back"));
}

TEST_F(ProgramLifecycle, ASecondStartBringsTheFirstForwardAndKeysStillPassOnce)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string printed = runToEnd({});
    EXPECT_EQ(printed, "Vandrel is already running; its Preferences window comes forward.\n");
    EXPECT_TRUE(run_->waitForOutputCount("the Preferences window opens", 1)) << "the first one was asked";
    EXPECT_EQ(outputKeyboards(), 1u);
    EXPECT_TRUE(physicalGrabbed());
    ASSERT_TRUE(keyboard_->typeText("once"));
    EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), expectedKeys("once"));
}

TEST_F(ProgramLifecycle, UnremapSwitchHasTheRunningProgramGiveCapsLockBackAndOtherwiseUndoesNothing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(runToEnd({"--unremap-capslock"}),
              "Vandrel stopped remapping Caps Lock and quits, letting the "
              "keyboards go: Caps Lock is Caps Lock again.\n");
    const std::optional<ExitStatus> status = run_->process().wait(kProgramStartTimeout);
    ASSERT_TRUE(status) << "the running one did not quit";
    EXPECT_TRUE(status->exitedWith(0)) << status->describe();
    EXPECT_FALSE(physicalGrabbed());
    EXPECT_EQ(outputKeyboards(), 0u);
    // The desktop reads the keyboard itself again, and Caps Lock is Caps Lock.
    ASSERT_TRUE(keyboard_->tap(KEY_CAPSLOCK));
    EXPECT_EQ(keysOf(node_->readKeyEvents(2, kKeyTimeout)), (std::vector<Key>{{KEY_CAPSLOCK, 1}, {KEY_CAPSLOCK, 0}}));

    EXPECT_EQ(runToEnd({"--unremap-capslock"}),
              "Vandrel is not running: there is nothing to undo, Caps Lock is Caps Lock.\n");
    EXPECT_EQ(outputKeyboards(), 0u);
}

}  // namespace
}  // namespace vandrel::vmtest
