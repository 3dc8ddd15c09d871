#include "platform/linux/input/input_backend.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <future>
#include <memory>

#include "input_rig.h"
#include "platform/hid_usage.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;
using Strings = std::vector<std::string>;

constexpr std::uint16_t kF19 = 80;
constexpr std::uint16_t kCaps = 57;

std::map<std::uint16_t, std::uint16_t> capsToF19()
{
    return {{kCaps, kF19}};
}

// For a backend on its own thread: the fake sees the grab before the backend has drained what was queued
// and taken the keyboard, and a key pressed in between goes to the desktop untapped. A job on the input
// thread runs only after that step has finished.
bool waitUntilTaken(InputRig& rig)
{
    if (!rig.source->waitForGrab(kKeyboard, true)) return false;
    auto reached = std::make_shared<std::promise<void>>();
    rig.backend->inputThreadScheduler()->schedule([reached] { reached->set_value(); });
    if (reached->get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) return false;
    const auto grabbed = rig.backend->grabbedPaths();
    return std::find(grabbed.begin(), grabbed.end(), kKeyboard) != grabbed.end();
}

TEST(InputBackend, GrabsOnlyWhileATapOrMappingNeedsTheKeyboards)
{
    InputRig rig;
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    {
        auto recorder = rig.record();
        EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));
    }
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    rig.backend->setKeyMapping(capsToF19());
    rig.pump();
    EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));
    rig.backend->setKeyMapping({{kCaps, kCaps}});
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
}

TEST(InputBackend, PassedEventsReachTheOutputWithReportsAndSwallowedOnesDoNot)
{
    InputRig rig;
    auto recorder = rig.record([](KeyEvent& e) { return e.keyCode == 11 ? TapResult::swallow : TapResult::pass; });
    rig.source->tap(kKeyboard, KEY_A);
    rig.source->tap(kKeyboard, KEY_B);  // virtual 11: swallowed both ways
    rig.pump();
    const auto raw = rig.rawOutput();
    EXPECT_EQ(testing::describeKeys(raw), (Strings{"KEY_A down", "KEY_A up"}));
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(raw[1].type, EV_SYN);
    EXPECT_EQ(raw[3].type, EV_SYN);
    ASSERT_EQ(recorder->seen.size(), 4u);
    EXPECT_EQ(recorder->seen[0].type, KeyEventType::keyDown);
    EXPECT_EQ(recorder->seen[0].keyCode, 0);
    EXPECT_EQ(recorder->seen[1].type, KeyEventType::keyUp);
    EXPECT_EQ(recorder->seen[2].keyCode, 11);
}

TEST(InputBackend, KeyboardsThatWaitedTogetherAreReadInOneTurnInTheOrderTyped)
{
    const std::string second = "/dev/input/event4";
    InputRig rig(InputRig::Setup{.devices = [&](testing::FakeKeyboardSource& s) { s.addNode(second); }});
    auto recorder = rig.record();
    // A on the first keyboard and B on the second, interleaved in time, both waiting when the loop turns.
    const auto stamped = [](std::uint16_t code, int value, int micros) {
        auto key = testing::event(EV_KEY, code, value);
        auto report = testing::event(EV_SYN, SYN_REPORT, 0);
        key.input_event_usec = report.input_event_usec = micros;
        return std::vector<input_event>{key, report};
    };
    const auto both = [](std::vector<input_event> a, const std::vector<input_event>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    testing::writeEvents(rig.source->testFd(kKeyboard), both(stamped(KEY_A, 1, 1000), stamped(KEY_A, 0, 3000)));
    testing::writeEvents(rig.source->testFd(second), both(stamped(KEY_B, 1, 2000), stamped(KEY_B, 0, 4000)));
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_A down", "KEY_B down", "KEY_A up", "KEY_B up"}));
    ASSERT_EQ(recorder->seen.size(), 4u);
    EXPECT_EQ(recorder->seen[1].timestamp, rx::TimePoint(std::chrono::microseconds(2000)));
}

TEST(InputBackend, ModifierFlagsFollowBothSidesAndModifiersAreFlagsChanged)
{
    InputRig rig;
    auto recorder = rig.record();
    rig.source->press(kKeyboard, KEY_LEFTSHIFT);
    rig.source->press(kKeyboard, KEY_RIGHTSHIFT);
    rig.source->release(kKeyboard, KEY_LEFTSHIFT);
    rig.source->tap(kKeyboard, KEY_A);
    rig.source->release(kKeyboard, KEY_RIGHTSHIFT);
    rig.source->press(kKeyboard, KEY_LEFTMETA);
    rig.source->press(kKeyboard, KEY_LEFTCTRL);
    rig.source->tap(kKeyboard, KEY_J);
    rig.pump();
    const auto& seen = recorder->seen;
    ASSERT_EQ(seen.size(), 10u);
    EXPECT_EQ(seen[0].type, KeyEventType::flagsChanged);
    EXPECT_EQ(seen[0].keyCode, 56);
    EXPECT_EQ(seen[0].flags, EventFlags::maskShift);
    EXPECT_EQ(seen[1].keyCode, 60);
    EXPECT_EQ(seen[2].flags, EventFlags::maskShift);  // right Shift still down
    EXPECT_EQ(seen[3].type, KeyEventType::keyDown);
    EXPECT_EQ(seen[3].flags, EventFlags::maskShift);
    EXPECT_EQ(seen[5].flags, 0u);
    EXPECT_EQ(seen[6].keyCode, 55);
    EXPECT_EQ(seen[8].keyCode, 38);
    EXPECT_EQ(seen[8].flags, EventFlags::maskCommand | EventFlags::maskControl);
    EXPECT_EQ(rig.output().size(), 10u);
}

TEST(InputBackend, CapsLockMappingOnAndOff)
{
    InputRig rig;
    auto recorder = rig.record();
    // Unmapped: Caps Lock is the lock key, one flags change on press, with the new lock state.
    rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    rig.pump();
    ASSERT_EQ(recorder->seen.size(), 1u);
    EXPECT_EQ(recorder->seen[0].type, KeyEventType::flagsChanged);
    EXPECT_EQ(recorder->seen[0].keyCode, kCaps);
    EXPECT_EQ(recorder->seen[0].flags, EventFlags::maskAlphaShift);
    EXPECT_EQ(rig.output(), (Strings{"KEY_CAPSLOCK down", "KEY_CAPSLOCK up"}));

    // Mapped: the key sends F19 to the taps; passed untouched it is still the desktop's Caps Lock.
    recorder->seen.clear();
    rig.backend->setKeyMapping(capsToF19());
    rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    rig.pump();
    ASSERT_EQ(recorder->seen.size(), 2u);
    EXPECT_EQ(recorder->seen[0].type, KeyEventType::keyDown);
    EXPECT_EQ(recorder->seen[0].keyCode, kF19);
    EXPECT_EQ(recorder->seen[1].type, KeyEventType::keyUp);
    EXPECT_EQ(rig.output(), (Strings{"KEY_CAPSLOCK down", "KEY_CAPSLOCK up"}));

    // A key rewritten by a tap goes out as the key it became; a real F19 key stays F19.
    recorder->decide = [](KeyEvent& e) {
        if (e.keyCode == 0) e.keyCode = 11;
        return TapResult::pass;
    };
    rig.source->tap(kKeyboard, KEY_A);
    rig.source->tap(kKeyboard, KEY_F19);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_B down", "KEY_B up", "KEY_F19 down", "KEY_F19 up"}));

    // Cleared: back to the lock key.
    recorder->seen.clear();
    rig.backend->setKeyMapping({});
    rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    rig.pump();
    ASSERT_EQ(recorder->seen.size(), 1u);
    EXPECT_EQ(recorder->seen[0].type, KeyEventType::flagsChanged);
}

TEST(InputBackend, WhileSecureInputIsOnEveryEventPassesUntouched)
{
    auto secure = std::make_shared<std::atomic<bool>>(true);
    InputRig rig(InputRig::Setup{.passThrough = secure});
    rig.backend->setKeyMapping(capsToF19());
    auto recorder = rig.record([](KeyEvent& e) {
        e.keyCode = 11;  // would rewrite everything to B
        return TapResult::swallow;
    });

    // The taps see nothing; Caps Lock reaches the lock screen as Caps Lock, not as F19.
    rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    rig.source->tap(kKeyboard, KEY_J);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_CAPSLOCK down", "KEY_CAPSLOCK up", "KEY_J down", "KEY_J up"}));
    rig.backend->postAtHidLocation(KeyEvent{.type = KeyEventType::keyDown, .keyCode = 38});
    rig.backend->postAtHidLocation(KeyEvent{.type = KeyEventType::keyUp, .keyCode = 38});
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_J down", "KEY_J up"}));
    EXPECT_TRUE(recorder->seen.empty());

    secure->store(false);
    rig.source->tap(kKeyboard, KEY_J);
    rig.pump();
    EXPECT_EQ(recorder->seen.size(), 2u);
    EXPECT_TRUE(rig.output().empty());
}

TEST(InputBackend, ReleaseOfAPassedPressAlwaysReachesTheOutput)
{
    InputRig rig;
    bool swallowUps = true;
    auto recorder = rig.record([&](KeyEvent& e) {
        return e.type == KeyEventType::keyUp && swallowUps ? TapResult::swallow : TapResult::pass;
    });
    rig.source->tap(kKeyboard, KEY_A);
    rig.pump();
    // A key left down on a Linux keyboard would repeat for ever.
    EXPECT_EQ(rig.output(), (Strings{"KEY_A down", "KEY_A up"}));

    // The other way round: a withheld press leaves nothing for its release to let go.
    recorder->decide = [](KeyEvent& e) {
        return e.type == KeyEventType::keyDown ? TapResult::swallow : TapResult::pass;
    };
    rig.source->tap(kKeyboard, KEY_A);
    rig.pump();
    EXPECT_TRUE(rig.output().empty());
}

TEST(InputBackend, RepeatsAndKeysWithoutAName)
{
    InputRig rig;
    auto recorder = rig.record();
    rig.source->press(kKeyboard, KEY_A);
    rig.source->key(kKeyboard, KEY_A, 2);
    rig.source->release(kKeyboard, KEY_A);
    rig.source->tap(kKeyboard, KEY_PRINT);  // not a key of the program: straight through, unseen
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_A down", "KEY_A repeat", "KEY_A up", "KEY_PRINT down", "KEY_PRINT up"}));
    ASSERT_EQ(recorder->seen.size(), 3u);
    EXPECT_TRUE(recorder->seen[1].isAutoRepeat);
}
TEST(InputBackend, AfterLostEventsTheKeysThatFollowAreTakenAndTheStateThereIsMadeGood)
{
    // What a reader gets after a loss: SYN_DROPPED, then whole packets; here B typed right after it, released
    // before the loop reads (a keyboard typed on as it is opened: the clock switch empties its queue).
    struct Case {
        const char* what;
        std::uint16_t seenDown;  // pressed before the loss, as the program saw
        std::uint16_t lostUp;    // released in the loss
        std::uint16_t lostDown;  // pressed in the loss and still held
        Strings output;
    };
    const Case cases[] = {
        {"nothing else", 0, 0, 0, {"KEY_B down", "KEY_B up"}},
        {"a release lost", KEY_A, KEY_A, 0, {"KEY_A down", "KEY_A up", "KEY_B down", "KEY_B up"}},
        {"a press lost", 0, 0, KEY_D, {"KEY_D down", "KEY_B down", "KEY_B up"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InputRig rig;
        auto recorder = rig.record();
        if (c.seenDown) rig.source->press(kKeyboard, c.seenDown);
        if (c.lostUp) rig.source->releaseSilently(kKeyboard, c.lostUp, false);
        if (c.lostDown) rig.source->holdSilently(kKeyboard, c.lostDown);
        const auto report = testing::event(EV_SYN, SYN_REPORT, 0);
        testing::writeEvents(rig.source->testFd(kKeyboard),
                             {testing::event(EV_SYN, SYN_DROPPED, 0), testing::event(EV_KEY, KEY_B, 1), report,
                              testing::event(EV_KEY, KEY_B, 0), report});
        rig.pump();
        EXPECT_EQ(rig.output(), c.output);
    }
}


TEST(InputBackend, GrabsOnlyWhenNoKeyIsDown)
{
    InputRig rig;
    rig.source->holdSilently(kKeyboard, KEY_LEFTCTRL);
    auto recorder = rig.record();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    // Its release goes to the desktop, which had the press; then the keyboard is ours.
    rig.source->releaseSilently(kKeyboard, KEY_LEFTCTRL, true);
    rig.pump();
    EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));
    EXPECT_TRUE(recorder->seen.empty());
    EXPECT_TRUE(rig.output().empty());
    rig.source->tap(kKeyboard, KEY_A);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_A down", "KEY_A up"}));
}

TEST(InputBackend, WithoutAnOutputKeyboardNothingIsGrabbed)
{
    InputRig rig(InputRig::Setup{.withOutput = false});
    EXPECT_FALSE(rig.backend->hasOutput());
    EXPECT_EQ(rig.backend->createTap(
                  KeyEventType::keyDown, [](KeyEvent&) { return TapResult::pass; }, TapPlacement::headInsert),
              nullptr);
    rig.backend->setKeyMapping(capsToF19());
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    EXPECT_FALSE(rig.backend->post({{KEY_A, true, 0}}));
}

TEST(InputBackend, UnplugDuringAHoldReleasesEverythingItPressed)
{
    InputRig rig;
    auto recorder =
        rig.record([](KeyEvent& e) { return e.type == KeyEventType::keyUp ? TapResult::swallow : TapResult::pass; });
    auto reports = std::make_shared<std::vector<HidKeyReport>>();
    rig.backend->setObservingKeys(true);
    auto sub = rig.backend->keyReports().subscribe([reports](const HidKeyReport& r) { reports->push_back(r); });
    rig.source->press(kKeyboard, KEY_LEFTSHIFT);
    rig.source->press(kKeyboard, KEY_A);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTSHIFT down", "KEY_A down"}));
    recorder->seen.clear();
    rig.source->unplug(kKeyboard, true);
    rig.pump();
    auto out = rig.output();
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out, (Strings{"KEY_A up", "KEY_LEFTSHIFT up"}));
    EXPECT_EQ(rig.backend->keyboardCount(), 0u);
    // The taps and the physical-key observer hear the releases too.
    EXPECT_EQ(recorder->seen.size(), 2u);
    ASSERT_EQ(reports->size(), 4u);
    EXPECT_EQ(reports->at(2).value + reports->at(3).value, 0);
    sub.dispose();

    // Plugged in again on the same node, then a late removal of the old keyboard: the new one stays.
    rig.source->addNode(kKeyboard, true);
    rig.pump();
    ASSERT_EQ(rig.backend->keyboardCount(), 1u);
    rig.source->announceChange(kKeyboard, false);
    rig.pump();
    EXPECT_EQ(rig.backend->keyboardCount(), 1u);
}

TEST(InputBackend, RawReportsComeBeforeTheMapping)
{
    InputRig rig;
    rig.backend->setKeyMapping(capsToF19());
    rig.backend->setObservingKeys(true);
    std::vector<HidKeyReport> reports;
    auto sub = rig.backend->keyReports().subscribe([&](const HidKeyReport& r) { reports.push_back(r); });
    rig.source->tap(kKeyboard, KEY_CAPSLOCK);
    rig.source->press(kKeyboard, KEY_RIGHTSHIFT);
    rig.pump();
    EXPECT_EQ(reports, (std::vector<HidKeyReport>{
                           {7, HidUsage::capsLock, 1}, {7, HidUsage::capsLock, 0}, {7, HidUsage::rightShift, 1}}));
    sub.dispose();
}

TEST(InputBackend, NewKeyboardsAreRetriedWhileTheirPermissionsSettle)
{
    InputRig rig;
    auto recorder = rig.record();
    rig.source->addNode("/dev/input/event7", true, 3);
    rig.source->addNode("/dev/input/event8", true, -1);
    rig.pump();
    EXPECT_EQ(rig.backend->keyboardCount(), 1u);
    for (int i = 0; i < 3; ++i) {
        rig.clock->advanceBy(rx::milliseconds(100));
        rig.pump();
    }
    EXPECT_EQ(rig.backend->keyboardCount(), 2u);
    EXPECT_TRUE(rig.source->isGrabbed("/dev/input/event7"));
    for (int i = 0; i < 20; ++i) {
        rig.clock->advanceBy(rx::milliseconds(100));
        rig.pump();
    }
    const int attempts = rig.source->openAttempts("/dev/input/event8");
    EXPECT_GE(attempts, 10);
    EXPECT_LE(attempts, 12);
    rig.clock->advanceBy(rx::seconds(2));
    rig.pump();
    EXPECT_EQ(rig.source->openAttempts("/dev/input/event8"), attempts);  // given up after a second
    // The mapping holds for a keyboard that arrives after it was set.
    rig.backend->setKeyMapping(capsToF19());
    rig.source->addNode("/dev/input/event9", true);
    rig.pump();
    recorder->seen.clear();
    rig.source->tap("/dev/input/event9", KEY_CAPSLOCK);
    rig.pump();
    ASSERT_FALSE(recorder->seen.empty());
    EXPECT_EQ(recorder->seen[0].keyCode, kF19);
}

TEST(InputBackend, LightsOfTheOutputShowOnTheKeyboardsAndAnswerTheLockState)
{
    InputRig rig;
    auto recorder = rig.record();
    EXPECT_EQ(rig.backend->capsLockLight(), std::nullopt);
    rig.source->setCapsLed(kKeyboard, false);
    EXPECT_EQ(rig.backend->capsLockLight(), false);
    testing::readEvents(rig.source->testFd(kKeyboard));
    testing::writeEvents(rig.outputTestEnd.get(),
                         {testing::event(EV_LED, LED_CAPSL, 1), testing::event(EV_SYN, SYN_REPORT, 0)});
    rig.pump();
    EXPECT_EQ(rig.backend->capsLockLight(), true);
    bool lit = false;
    for (const auto& ev : testing::readEvents(rig.source->testFd(kKeyboard)))
        if (ev.type == EV_LED && ev.code == LED_CAPSL) lit = ev.value == 1;
    EXPECT_TRUE(lit);
    // And the taps see the lock in the flags.
    rig.source->tap(kKeyboard, KEY_A);
    rig.pump();
    ASSERT_FALSE(recorder->seen.empty());
    EXPECT_EQ(recorder->seen[0].flags, EventFlags::maskAlphaShift);
}

TEST(InputBackend, PostedStrokesCarryExactlyTheirModifiers)
{
    InputRig rig;
    auto recorder = rig.record();
    // Nothing held: the modifiers go down and up around the key.
    rig.backend->post({{KEY_C, true, EvdevStroke::ctrl}, {KEY_C, false, EvdevStroke::ctrl}});
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTCTRL down", "KEY_C down", "KEY_C up", "KEY_LEFTCTRL up"}));

    // The user holds Shift: it is lifted for the stroke (after a guard tap, as nothing came between its press
    // and this release) and pressed again right after it, as the user still holds it.
    rig.source->press(kKeyboard, KEY_LEFTSHIFT);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTSHIFT down"}));
    rig.backend->post({{KEY_HOME, true, 0}, {KEY_HOME, false, 0}});
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_UNKNOWN down", "KEY_UNKNOWN up", "KEY_LEFTSHIFT up", "KEY_HOME down",
                                     "KEY_HOME up", "KEY_LEFTSHIFT down"}));
    // Released with nothing since we pressed it again, it gets a guard tap: the user typed no lone Shift.
    rig.source->release(kKeyboard, KEY_LEFTSHIFT);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_UNKNOWN down", "KEY_UNKNOWN up", "KEY_LEFTSHIFT up"}));

    // A stroke that names a modifier the user holds keeps it.
    rig.source->press(kKeyboard, KEY_LEFTSHIFT);
    rig.pumpAfterPause();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTSHIFT down"}));
    rig.backend->post({{KEY_HOME, true, EvdevStroke::shift}, {KEY_HOME, false, EvdevStroke::shift}});
    rig.pumpAfterPause();
    EXPECT_EQ(rig.output(), (Strings{"KEY_HOME down", "KEY_HOME up"}));

    // Posting is never seen by the taps.
    EXPECT_EQ(recorder->seen.size(), 3u);
    rig.source->release(kKeyboard, KEY_LEFTSHIFT);
    rig.pumpAfterPause();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTSHIFT up"}));
}

TEST(InputBackend, APostedReleaseInALaterBatchPressesNoModifierAgain)
{
    InputRig rig;
    auto recorder = rig.record();
    // Press and release posted apart, as an action posts them: the modifier comes back between the two, and
    // the release must not press it again (applications would see a lone Ctrl tap).
    rig.backend->post({{KEY_LEFT, true, EvdevStroke::ctrl}});
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTCTRL down", "KEY_LEFT down", "KEY_LEFTCTRL up"}));
    rig.backend->post({{KEY_LEFT, false, EvdevStroke::ctrl}});
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFT up"}));
    // A release of a key that is not down writes nothing.
    rig.backend->post({{KEY_LEFT, false, EvdevStroke::ctrl}});
    rig.pump();
    EXPECT_EQ(rig.output(), Strings{});
}

TEST(InputBackend, AFailingOutputLetsEveryKeyboardGo)
{
    ::signal(SIGPIPE, SIG_IGN);
    InputRig rig;
    auto recorder = rig.record();
    EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));
    rig.outputTestEnd.reset();
    rig.source->tap(kKeyboard, KEY_A);
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    EXPECT_FALSE(recorder->taps[0]->isEnabled());
}

TEST(InputBackend, ReleaseAndUngrabLetsGoForGood)
{
    InputRig rig;
    auto recorder = rig.record();
    rig.source->press(kKeyboard, KEY_LEFTALT);
    rig.pump();
    rig.output();
    rig.backend->releaseAndUngrab();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTALT up"}));
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    recorder->taps[0]->setEnabled(true);
    rig.backend->setKeyMapping(capsToF19());
    rig.pump();
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    EXPECT_FALSE(rig.backend->post({{KEY_A, true, 0}}));
}

TEST(InputBackend, AnInactiveSessionHoldsNoKeyboardAndGetsThemBackWhenActive)
{
    auto active = std::make_shared<std::atomic<bool>>(true);
    InputRig rig(InputRig::Setup{.sessionActive = active});
    auto recorder = rig.record();
    rig.source->press(kKeyboard, KEY_LEFTSHIFT);
    rig.source->press(kKeyboard, KEY_A);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_LEFTSHIFT down", "KEY_A down"}));
    recorder->seen.clear();

    active->store(false);
    rig.backend->followSession();
    rig.pump();
    auto out = rig.output();
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out, (Strings{"KEY_A up", "KEY_LEFTSHIFT up"}));
    EXPECT_EQ(recorder->seen.size(), 2u) << "the taps hear the releases: no hold outlives the switch";
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    EXPECT_EQ(rig.backend->keyboardCount(), 0u);
    pollfd output{rig.outputTestEnd.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&output, 1, 0), 1);
    EXPECT_TRUE(output.revents & POLLHUP) << "the virtual keyboard is destroyed";
    rig.source->addNode("/dev/input/event9", true);
    rig.pump();
    EXPECT_EQ(rig.backend->keyboardCount(), 0u) << "a keyboard plugged in meanwhile is not opened";

    // Keys held across the switch are not replayed; the keyboard is grabbed once they are up, as at start.
    active->store(true);
    rig.backend->followSession();
    rig.pump();
    EXPECT_EQ(rig.backend->keyboardCount(), 1u);
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    rig.source->release(kKeyboard, KEY_A);
    rig.source->release(kKeyboard, KEY_LEFTSHIFT);
    rig.pump();
    EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));
    rig.source->tap(kKeyboard, KEY_B);
    rig.pump();
    EXPECT_EQ(rig.output(), (Strings{"KEY_B down", "KEY_B up"}));
    EXPECT_EQ(recorder->seen.size(), 4u);
}

TEST(InputBackend, TheStallWatchdogLooksOnlyWhileThereIsWork)
{
    InputRig rig;
    auto recorder = rig.record();
    rig.pump();
    rig.clock->advanceBy(rx::seconds(5));
    EXPECT_EQ(rig.clock->pendingCount(), 0u) << "an idle loop arms nothing";

    rig.source->tap(kKeyboard, KEY_A);
    rig.pump();
    EXPECT_EQ(rig.clock->pendingCount(), 1u) << "a round of work arms it";
    rig.source->tap(kKeyboard, KEY_B);
    rig.pump();
    EXPECT_EQ(rig.clock->pendingCount(), 1u) << "once";
    rig.clock->advanceBy(rx::seconds(1));
    EXPECT_EQ(rig.clock->pendingCount(), 0u) << "its look found the loop waiting, and it rests";
    EXPECT_FALSE(rig.backend->isStalled());
    EXPECT_EQ(recorder->seen.size(), 4u);
}

TEST(InputBackend, StallWatchdogLetsGoAndTheGuardianGrabsAgain)
{
    InputRig rig(InputRig::Setup{.ownThread = true});
    std::promise<void> entered;
    std::promise<void> proceed;
    auto proceedFuture = proceed.get_future().share();
    bool first = true;
    auto tap = rig.backend->createTap(
        KeyEventType::keyDown,
        [&](KeyEvent&) {
            if (first) {
                first = false;
                entered.set_value();
                proceedFuture.wait();
            }
            return TapResult::pass;
        },
        TapPlacement::headInsert);
    ASSERT_TRUE(waitUntilTaken(rig));
    rig.source->press(kKeyboard, KEY_LEFTSHIFT);  // not a key-down: passes, held on the output
    rig.source->press(kKeyboard, KEY_A);
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    rig.clock->advanceBy(rx::milliseconds(900));
    EXPECT_TRUE(rig.source->isGrabbed(kKeyboard));
    rig.clock->advanceBy(rx::milliseconds(400));
    EXPECT_FALSE(rig.source->isGrabbed(kKeyboard));
    EXPECT_TRUE(rig.backend->isStalled());
    EXPECT_FALSE(tap->isEnabled());
    proceed.set_value();

    // The release of Shift, which the output held, came out when the keyboard was let go.
    tap->setEnabled(true);
    ASSERT_TRUE(rig.source->waitForGrab(kKeyboard, false));
    rig.source->release(kKeyboard, KEY_A);
    rig.source->release(kKeyboard, KEY_LEFTSHIFT);
    ASSERT_TRUE(rig.source->waitForGrab(kKeyboard, true));
    EXPECT_FALSE(rig.backend->isStalled());
    rig.backend->stop();
    auto out = rig.output();
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], "KEY_LEFTSHIFT down");
    EXPECT_EQ(out[1], "KEY_LEFTSHIFT up");
    EXPECT_EQ(std::count(out.begin(), out.end(), "KEY_A down"), 0);
}

}  // namespace
}  // namespace vandrel
