#include "engine/input_observer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/log_capture.h"
#include "core/popup_msg.h"
#include "engine/key_remap.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

// Every subject's events, in publishing order, as "<subject>: <event>".
class Published {
public:
    explicit Published(InputObserver& o)
    {
        const std::pair<const char*, const rx::PublishSubject<KeyEvent>*> subjects[] = {
            {"keydown", &o.keydown},
            {"keyup", &o.keyup},
            {"keydownWithoutCaps", &o.keydownWithoutCaps},
            {"keyupWithoutCaps", &o.keyupWithoutCaps},
            {"keydownWithCaps", &o.keydownWithCaps},
            {"keyupWithCaps", &o.keyupWithCaps},
            {"flagsChanged", &o.flagsChanged},
            {"capsDown", &o.capsDown},
            {"capsUp", &o.capsUp},
            {"capsTap", &o.capsTap},
        };
        for (const auto& [name, subject] : subjects) {
            std::string label = name;
            subject
                ->subscribe(
                    [this, label](const KeyEvent& e) { events_.push_back(label + ": " + Scenario::describe(e)); })
                .disposed(bag_);
        }
    }
    std::string take()
    {
        std::string out;
        for (const auto& e : events_) out += (out.empty() ? "" : ", ") + e;
        events_.clear();
        return out;
    }

private:
    std::vector<std::string> events_;
    rx::DisposeBag bag_;
};

struct InputObserverTest : ::testing::Test {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    std::shared_ptr<VandrelState> state = std::make_shared<VandrelState>(clock);
    std::shared_ptr<InputObserver> observer = InputObserver::make({sim, state, clock, clock, nullptr});
    Scenario s{*sim, clock};
    Published published{*observer};

    void SetUp() override
    {
        KeyRemap::remap(*sim);
        ASSERT_TRUE(observer->startMonitoring());
        clock->runDue();
    }

    std::string run(std::string_view steps)
    {
        s.clear();
        s.run(steps);
        return s.passed();
    }
};

TEST_F(InputObserverTest, CapsTapUnderThresholdPublishesTapBeforeRelease)
{
    std::vector<bool> heldSeenByCapsDown;
    observer->capsDown.subscribe([&](const KeyEvent&) { heldSeenByCapsDown.push_back(state->isCapsDown()); });
    EXPECT_EQ(run("capslock down, wait 0.29"), "");
    EXPECT_TRUE(state->isCapsDown());
    EXPECT_EQ(heldSeenByCapsDown, std::vector<bool>{false});
    EXPECT_EQ(run("capslock up"), "");
    EXPECT_FALSE(state->isCapsDown());
    EXPECT_EQ(published.take(),
              "flagsChanged: capslock down [caps], capsDown: capslock down [caps], flagsChanged: capslock up, "
              "capsTap: capslock up, capsUp: capslock up");
}

TEST_F(InputObserverTest, LongHoldOrActionInHoldEndsWithoutTap)
{
    run("capslock down, wait 0.3, capslock up");
    EXPECT_EQ(published.take(),
              "flagsChanged: capslock down [caps], capsDown: capslock down [caps], flagsChanged: capslock up, "
              "capsUp: capslock up");

    // The deliverer marks the hold as having run an action.
    observer->keydownWithCaps.subscribe([&](const KeyEvent&) { state->setHasRunAnyVdrAction(true); });
    run("capslock down, j tap, capslock up");
    EXPECT_EQ(published.take().find("capsTap"), std::string::npos);
}

TEST_F(InputObserverTest, CapsAutoRepeatIsSwallowedSilently)
{
    run("capslock down, wait 0.2");
    const auto pressedAt = state->lastPressedTime();
    published.take();
    EXPECT_EQ(run("capslock repeat 3"), "");
    EXPECT_EQ(published.take(), "");
    EXPECT_EQ(state->lastPressedTime(), pressedAt);
    run("wait 0.05, capslock up");  // 0.25 s after the first press: still a tap
    EXPECT_NE(published.take().find("capsTap"), std::string::npos);
}

TEST_F(InputObserverTest, KeysWhileCapsHeldAreWithheldAndPublishedWithCaps)
{
    EXPECT_EQ(run("capslock down, a down, a up, shift down, shift up, capslock up"), "");
    EXPECT_EQ(published.take(),
              "flagsChanged: capslock down [caps], capsDown: capslock down [caps], keydown: a down [caps], "
              "keydownWithCaps: a down [caps], keyup: a up, keyupWithCaps: a up, flagsChanged: shift flags "
              "[shift+caps], flagsChanged: shift flags [caps], flagsChanged: capslock up, capsUp: capslock up");

    // Behaviour block: the key is still withheld but not offered for delivery. Either way a hold in which
    // another key went down, quick and with no action run, is no tap.
    state->setKeyEventBehavior(VdrKeyEventBehavior::block);
    EXPECT_EQ(run("capslock down, a down, a up, capslock up"), "");
    EXPECT_EQ(published.take(),
              "flagsChanged: capslock down [caps], capsDown: capslock down [caps], keydown: a down [caps], "
              "keyup: a up, keyupWithCaps: a up, flagsChanged: capslock up, capsUp: capslock up");
}

TEST_F(InputObserverTest, KeysWithoutCapsPass)
{
    EXPECT_EQ(run("a down, a up, shift down, shift up"), "a down, a up, shift flags [shift], shift flags");
    EXPECT_EQ(published.take(),
              "keydownWithoutCaps: a down, keydown: a down, keyup: a up, keyupWithoutCaps: a up, "
              "flagsChanged: shift flags [shift], flagsChanged: shift flags");

    // Pressed during the hold, released after it: the release arrives with held false and passes.
    EXPECT_EQ(run("capslock down, a down, capslock up, a up"), "a up");
}

TEST_F(InputObserverTest, BlockedKeyDownsAreWithheldUntilTheReturnedFunctionRuns)
{
    auto unblock = observer->blockKeydown(VDKey(0, {}));
    auto unblockShiftB = observer->blockKeydown(VDKey(11, {56}));
    EXPECT_EQ(run("a down"), "");
    EXPECT_EQ(published.take(), "keydownWithoutCaps: a down, keydown: a down");
    EXPECT_EQ(run("a up, b tap"), "a up, b down, b up");
    EXPECT_EQ(run("shift down, b tap, shift up"), "shift flags [shift], b up [shift], shift flags");
    unblock();
    EXPECT_EQ(run("a tap"), "a down, a up");
    observer.reset();
    unblockShiftB();  // after the observer is gone: nothing happens
}

TEST_F(InputObserverTest, BlockAllWithholdsEverythingAndStillPublishes)
{
    observer->setIsBlockAllKeyEventBubbling(true);
    EXPECT_EQ(run("a tap, shift tap, capslock tap"), "");
    EXPECT_EQ(published.take(),
              "keydownWithoutCaps: a down, keydown: a down, keyup: a up, keyupWithoutCaps: a up, "
              "flagsChanged: shift flags [shift], flagsChanged: shift flags, flagsChanged: capslock down [caps], "
              "capsDown: capslock down [caps], flagsChanged: capslock up, capsTap: capslock up, capsUp: capslock up");
    observer->setIsBlockAllKeyEventBubbling(false);
    EXPECT_EQ(run("a tap"), "a down, a up");
}

TEST_F(InputObserverTest, SecondProxyReleaseStillPublishesTheRelease)
{
    run("capslock down, capslock up");
    published.take();
    EXPECT_EQ(run("capslock up"), "");
    EXPECT_EQ(published.take(), "flagsChanged: capslock up, capsTap: capslock up, capsUp: capslock up");
    run("wait 0.5, capslock up");
    EXPECT_EQ(published.take(), "flagsChanged: capslock up, capsUp: capslock up");
}

TEST_F(InputObserverTest, ReleaseOfAKeyPressedBeforeCapsReachesApplications)
{
    // Auto-repeats in the hold stay withheld; the release goes out and is published as in any hold.
    EXPECT_EQ(run("a down, capslock down, a repeat 2, a up"), "a down, a up");
    EXPECT_NE(published.take().find("keyup: a up, keyupWithCaps: a up"), std::string::npos);
    run("capslock up");

    // A modifier goes out as applications knew it, without the Caps bit the subscribers see.
    EXPECT_EQ(run("shift down, capslock down, shift up, capslock up"), "shift flags [shift], shift flags");
    EXPECT_NE(published.take().find("flagsChanged: shift flags [caps]"), std::string::npos);

    // Also while everything is withheld.
    run("ctrl down");
    observer->setIsBlockAllKeyEventBubbling(true);
    EXPECT_EQ(run("ctrl up, ctrl down, ctrl up"), "ctrl flags");

    // A press that was withheld keeps its release withheld in the next hold.
    observer->setIsBlockAllKeyEventBubbling(false);
    EXPECT_EQ(run("capslock down, shift down, capslock up, shift up"), "shift flags");
    EXPECT_EQ(run("capslock down, shift down, shift up, capslock up"), "");
}

TEST_F(InputObserverTest, GuardianReenablesTapsAndDropsHeldForTheKeyUpTap)
{
    test::ScopedLogCapture logs;
    run("capslock down");
    sim->keyboard().disableTaps(KeyEventType::keyDown);
    clock->advanceBy(rx::seconds(2));
    EXPECT_TRUE(state->isCapsDown());
    EXPECT_TRUE(logs->contains(LogLevel::debug, "isKeydownEventTapEnabled ->"));

    sim->keyboard().disableTaps(KeyEventType::keyUp);
    sim->keyboard().disableTaps(KeyEventType::flagsChanged);
    clock->advanceBy(rx::seconds(1.9));
    EXPECT_TRUE(state->isCapsDown());
    clock->advanceBy(rx::seconds(0.1));
    EXPECT_FALSE(state->isCapsDown());
    EXPECT_TRUE(logs->contains(LogLevel::debug, "isKeyupEventTapEnabled ->"));
    EXPECT_TRUE(logs->contains(LogLevel::debug, "isFlagsChangedEventTapEnabled ->"));
    EXPECT_EQ(run("a tap, shift tap"), "a down, a up, shift flags [shift], shift flags");  // working again
}

TEST_F(InputObserverTest, LostCapsReleaseIsRepairedAfterThePhysicalRelease)
{
    test::ScopedLogCapture logs;
    run("capslock down, wait 0.1");
    published.take();
    sim->keyboard().disableTaps(KeyEventType::keyUp);
    EXPECT_EQ(run("capslock up"), "f19 up");  // the disabled tap lets it by untouched
    run("wait 0.05");
    EXPECT_TRUE(state->isCapsDown());
    run("wait 0.05");
    EXPECT_FALSE(state->isCapsDown());
    EXPECT_EQ(published.take(), "flagsChanged: capslock up, capsTap: capslock up, capsUp: capslock up");
    EXPECT_TRUE(logs->contains(LogLevel::info, "have set vandrel.state.isCapsDown by HID event"));

    // A release the tap saw leaves nothing to repair.
    clock->advanceBy(rx::seconds(2));  // the guardian re-enables the key-up tap
    run("capslock down, capslock up, wait 0.2");
    EXPECT_EQ(published.take(),
              "flagsChanged: capslock down [caps], capsDown: capslock down [caps], flagsChanged: capslock up, "
              "capsTap: capslock up, capsUp: capslock up");
}

// Taps of one kind fail, as a keyboard without a working output would.
class FailingTaps final : public EventTapService {
public:
    FailingTaps(EventTapService& inner, KeyEventType failing) : inner_(inner), failing_(failing) {}
    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback, TapPlacement placement) override
    {
        return type == failing_ ? nullptr : inner_.createTap(type, std::move(callback), placement);
    }
    bool postEvent(const KeyEvent& event, EventTapLocation location) override
    {
        return inner_.postEvent(event, location);
    }

private:
    EventTapService& inner_;

public:
    std::optional<KeyEventType> failing_;
};

class PlatformWithFailingTaps final : public Platform {
public:
    explicit PlatformWithFailingTaps(std::shared_ptr<SimPlatform> sim)
        : sim_(std::move(sim)), taps_(sim_->keyboard(), KeyEventType::keyUp)
    {
    }
    FailingTaps& eventTaps() override { return taps_; }
    HidKeyboard& hidKeyboard() override { return sim_->hidKeyboard(); }
    Workspace& workspace() override { return sim_->workspace(); }
    KeyboardLayout& keyboardLayout() override { return sim_->keyboardLayout(); }
    WindowSystem& windowSystem() override { return sim_->windowSystem(); }
    PasteboardServer& pasteboards() override { return sim_->pasteboards(); }
    bool isInputAccessTrusted(bool prompt) override { return sim_->isInputAccessTrusted(prompt); }

private:
    std::shared_ptr<SimPlatform> sim_;
    FailingTaps taps_;
};

TEST(InputObserverStart, FailedTapCreationReleasesTheOthersAndTellsTheUser)
{
    auto clock = rx::VirtualTimeScheduler::make();
    auto sim = SimPlatform::make(clock);
    auto platform = std::make_shared<PlatformWithFailingTaps>(sim);
    std::vector<std::string> popups;
    auto observer = InputObserver::make({platform, std::make_shared<VandrelState>(clock), clock, clock, nullptr,
                                         [&](const std::string& m, double) { popups.push_back(m); }});

    EXPECT_FALSE(observer->startMonitoring());
    EXPECT_FALSE(observer->isMonitoring());
    EXPECT_EQ(sim->keyboard().tapCount(KeyEventType::keyDown), 0u);  // nothing stays grabbed
    EXPECT_EQ(popups.size(), 1u);
    clock->advanceBy(rx::seconds(5));  // no guardian runs

    platform->eventTaps().failing_.reset();  // access granted meanwhile: a later start works
    EXPECT_TRUE(observer->startMonitoring());
    EXPECT_EQ(sim->keyboard().tapCount(KeyEventType::keyUp), 1u);
    observer.reset();
    EXPECT_EQ(sim->keyboard().tapCount(KeyEventType::keyDown), 0u);
}

TEST_F(InputObserverTest, OtherThreadsSwitchBlockingAndStateWhileTheTapsRun)
{
    std::atomic<bool> done{false};
    // The clip service blocks keys, the deliverer marks actions, the recorder switches behaviour and block-all.
    std::thread other([&] {
        while (!done.load()) {
            auto unblock = observer->blockKeydown(VDKey(0, {}));
            state->setHasRunAnyVdrAction(true);
            state->setKeyEventBehavior(VdrKeyEventBehavior::block);
            observer->setIsBlockAllKeyEventBubbling(true);
            unblock();
            state->resetStateWhileCapsUp();
            state->setKeyEventBehavior(VdrKeyEventBehavior::vandrel);
            observer->setIsBlockAllKeyEventBubbling(false);
        }
    });
    for (int i = 0; i < 300; ++i) s.run("a tap, capslock down, a tap, shift tap, capslock up");
    done.store(true);
    other.join();
    EXPECT_FALSE(state->isCapsDown());
    EXPECT_EQ(run("a tap"), "a down, a up");
}

}  // namespace
}  // namespace vandrel
