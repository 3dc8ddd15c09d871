#include "engine/vandrel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/defaults_keys.h"
#include "engine/engine_fixture.h"
#include "engine/window_binding_service.h"
#include "model/key_scheme_store.h"

namespace vandrel::test {
namespace {

using B = BuiltInVDAction;
using P = VDAtomicActionParam;

struct VandrelTest : EngineTest {
    // A stored custom scheme "Mine": Caps+D moves down twice, a Caps tap sends Escape, Caps+F is unbound.
    void storeMine()
    {
        auto mine = VDKeyScheme::make("Mine", "", VDKeySchemeType::custom,
                                      {VDKeySetting::make(VDKey(2, {57}), B::moveDownN(), {P::times(2)}),
                                       VDKeySetting::make(VDKey::tapCapslock(), B::tapCapsSendInputEsc())});
        ASSERT_TRUE(KeySchemeStore::write(*mine, *settings));
        settings->set(DefaultsKeys::hotkey_currentKeyScheme, std::string("Mine"));
    }

    // The taps (after the event deliverer) come before the stored bindings are restored.
    inline static const std::vector<std::string> startLines{"vandrel init start", "monitoring START",
                                                            "install event delever START",
                                                            "restore window bindings START", "vandrel init end"};
    std::vector<std::string> startLinesLogged() const
    {
        auto all = infoLines();
        std::erase_if(all, [](const std::string& line) { return std::ranges::count(startLines, line) == 0; });
        return all;
    }

    VDKeySchemePtr active() const { return core->keyService->activeKeyScheme.value(); }
};

TEST_F(VandrelTest, StartRestoresTheStoredSchemeAndRunsCapsCombinations)
{
    storeMine();
    makeCore().start();
    EXPECT_EQ(startLinesLogged(), startLines);
    clock->runDue();

    ASSERT_NE(active(), nullptr);
    EXPECT_EQ(active()->name.value(), "Mine");

    // Caps+D: withheld from the applications, its action runs on the key-event queue with its parameters.
    scenario.clear();
    scenario.run("capslock down, d tap");
    EXPECT_EQ(scenario.posted(), "");  // queued, not run yet
    clock->runDue();
    EXPECT_EQ(scenario.posted(), "down down, down up, down down, down up");
    EXPECT_EQ(scenario.passed(), "");
    EXPECT_TRUE(core->state->hasRunAnyVdrAction());
    EXPECT_EQ(core->state->lastExecAction(), B::moveDownN());
    run("capslock up");
    EXPECT_FALSE(core->state->hasRunAnyVdrAction());

    // Unbound: a warning, nothing runs.
    EXPECT_EQ(run("capslock down, f tap, wait 0.5, capslock up"), "");
    EXPECT_TRUE(logged->contains(LogLevel::warning, "There is no action for keyId: 10003"));
    EXPECT_EQ(core->state->lastExecAction(), B::moveDownN());

    // A Caps tap runs the tap binding.
    EXPECT_EQ(run("capslock tap"), "esc down, esc up");
    // A fast combination released before the queue ran its key is still no tap.
    EXPECT_EQ(run("capslock down, d tap, capslock up"), "down down, down up, down down, down up");
    EXPECT_FALSE(core->state->hasRunAnyVdrAction());
    EXPECT_EQ(run("capslock tap"), "esc down, esc up");

    // Shift + Caps tap toggles the lock through the hidden key.
    ASSERT_EQ(sim->keyboard().capsLockLockState(), false);
    run("shift down, capslock tap, shift up");
    drainMainQueue();
    EXPECT_EQ(sim->keyboard().capsLockLockState(), true);
    EXPECT_EQ(core->state->lastExecAction(), B::toggleCapslock());
}

TEST_F(VandrelTest, KeyOnlyActionsNeverWaitForTheMainQueueAndOthersStillDo)
{
    // A main queue that never runs while the test does not say so: a GUI thread that is busy.
    const auto main = rx::VirtualTimeScheduler::make();
    int shown = 0;
    makeCore([&](Vandrel::Options& options) {
        options.mainScheduler = main;
        options.services.showCheatSheet = [&] { ++shown; };
    }).start();
    clock->runDue();

    // Caps+S moves left without the main queue.
    EXPECT_EQ(run("capslock down, s tap, capslock up"), "left down, left up");
    EXPECT_EQ(core->state->lastExecAction(), B::moveLeftN());
    // Caps+Shift+/ (the cheat sheet) shows something: it waits for the main queue.
    run("capslock down, shift down, slash tap, shift up, capslock up");
    EXPECT_EQ(core->state->lastExecAction(), B::showCheatSheet());
    drainMainQueue();
    EXPECT_EQ(shown, 0);
    main->runDue();
    drainMainQueue();
    EXPECT_EQ(shown, 1);
}

TEST_F(VandrelTest, DeliveredOnTheTapThreadAnActionPostsBeforeTheTapReturns)
{
    makeCore([](Vandrel::Options& options) { options.deliverOnTapThread = true; }).start();
    clock->runDue();
    scenario.clear();
    // No queue has run: the stroke was posted inside the tap, before the next key was handled.
    scenario.run("capslock down, s tap, capslock up, x tap");
    EXPECT_EQ(scenario.posted(), "left down, left up");
    EXPECT_EQ(scenario.passed(), "x down, x up");
    // The hold ran an action, so its quick release was no tap; a quick hold alone is.
    EXPECT_FALSE(core->state->hasRunAnyVdrAction());
    scenario.clear();
    scenario.run("capslock tap");
    EXPECT_EQ(scenario.posted(), "esc down, esc up");
}

TEST_F(VandrelTest, OnTheTapThreadAChordIsNoTapAndKeysWaitBehindAMainThreadAction)
{
    // The GUI thread: its jobs run when the test says.
    auto main = rx::VirtualTimeScheduler::make();
    VandrelServices services;
    services.copyToExtraClipboard = [this](int, bool) {
        for (auto type : {KeyEventType::keyDown, KeyEventType::keyUp})
            sim->keyboard().postEvent({type, 8, EventFlags::maskCommand});
    };
    makeCore([&](Vandrel::Options& options) {
        options.deliverOnTapThread = true;
        options.mainScheduler = main;
        options.services = services;
    }).start();
    clock->runDue();
    main->runDue();

    struct Case {
        const char* steps;
        const char* posted;
        bool locked;
    };
    const Case chords[]{
        {"capslock down, wait 0.05, z tap, wait 0.1, capslock up", "", false},
        {"shift down, capslock down, wait 0.05, z tap, wait 0.1, capslock up, shift up", "", false},
        {"capslock down, wait 0.05, shift tap, wait 0.1, capslock up", "", false},
        // The lock turns over on the key path itself, before the main thread runs anything.
        {"shift down, capslock tap, shift up", "", true},
        {"capslock tap", "esc down, esc up", true},
    };
    for (const auto& c : chords) {
        SCOPED_TRACE(c.steps);
        scenario.clear();
        scenario.run(c.steps);
        EXPECT_EQ(scenario.posted(), c.posted);
        EXPECT_EQ(sim->keyboard().capsLockLockState(), c.locked);
    }

    // Caps+C copies on the main thread, which is busy for 300 ms; Caps+S and X wait behind its Command+C.
    scenario.clear();
    scenario.run("capslock down, c tap, s tap, capslock up, x tap, wait 0.3");
    EXPECT_EQ(scenario.posted(), "");
    EXPECT_EQ(scenario.passed(), "");
    main->runDue();
    EXPECT_EQ(scenario.posted(), "c down [cmd], c up [cmd], left down, left up");
    EXPECT_EQ(scenario.passed(), "x down [caps], x up [caps]");
}

TEST_F(VandrelTest, RenamingAndRemovingTheActiveSchemeKeepKeysWorking)
{
    storeMine();
    makeCore().start();
    clock->runDue();
    auto mine = active();
    ASSERT_EQ(mine->name.value(), "Mine");

    mine->name.accept("Renamed");
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_currentKeyScheme), "Renamed");
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"), "down down, down up, down down, down up");

    // Editing the renamed scheme rebuilds the table delivery reads.
    mine->keySettings.accept({VDKeySetting::make(VDKey(2, {57}), B::moveDownN(), {P::times(3)})});
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"),
              "down down, down up, down down, down up, down down, down up");

    core->keyService->removeFromUserDefaults(mine);
    ASSERT_NE(active(), nullptr);
    EXPECT_EQ(active()->name.value(), "Vandrel");
    EXPECT_EQ(active(), core->keyService->availableBuildInKeyScheme().front());            // the installed object
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"), "down down, down up");  // the factory binding
}

TEST_F(VandrelTest, NoStoredSchemesLeavesTheFactorySchemeActiveAndTheStoredNameAlone)
{
    makeCore().start();
    clock->runDue();
    ASSERT_NE(active(), nullptr);
    EXPECT_EQ(active()->name.value(), "Vandrel");
    EXPECT_TRUE(core->inputObserver()->isMonitoring());
    // Installed for vandrel(), its observer becomes the shared one; this test checks that it does.
    installVandrel(core);
    EXPECT_EQ(InputObserver::shared(), core->inputObserver());
    installVandrel(nullptr);
    InputObserver::install(nullptr);
}

TEST_F(VandrelTest, KeyEventsAroundACapsReleaseAreNeverLost)
{
    makeCore().start();
    clock->runDue();
    // Two holds in a row before the key-event queue gets a turn.
    scenario.clear();
    scenario.run(
        "capslock down, d tap, wait 0.01, capslock up, capslock down, d tap, capslock up, wait 0.01, capslock tap");
    clock->runDue();
    EXPECT_EQ(scenario.posted(), "down down, down up, down down, down up, esc down, esc up");
}

TEST_F(VandrelTest, PauseAppliesFromTheNextHoldAndEachStreamOpensOnItsFirstEventAfterIt)
{
    makeCore().start();
    clock->runDue();

    KeyEventDeliver::setIsPaused(true);
    EXPECT_EQ(run("capslock down, d tap"), "");
    EXPECT_FALSE(core->state->hasRunAnyVdrAction());
    KeyEventDeliver::setIsPaused(false);
    EXPECT_EQ(run("d tap"), "down down, down up");
    KeyEventDeliver::setIsPaused(true);
    EXPECT_EQ(run("d tap"), "down down, down up");  // this stream has passed once: no longer affected
    run("capslock up");                             // dropped: the flag stays, the streams stay as they are
    EXPECT_TRUE(core->state->hasRunAnyVdrAction());
    EXPECT_EQ(run("capslock down, d tap"), "down down, down up");
    KeyEventDeliver::setIsPaused(false);
    run("capslock up");  // the first release after the pause clears the flag and renews
    EXPECT_FALSE(core->state->hasRunAnyVdrAction());
    KeyEventDeliver::setIsPaused(true);
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"), "");
}

TEST_F(VandrelTest, PassThroughRunsNothingAndBlockStillRunsTaps)
{
    makeCore().start();
    clock->runDue();
    core->state->setKeyEventBehavior(VdrKeyEventBehavior::passThrough);
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"), "");
    EXPECT_TRUE(logged->contains(LogLevel::info, "vandrel is blocking"));
    core->state->setKeyEventBehavior(VdrKeyEventBehavior::block);
    EXPECT_EQ(run("capslock down, d tap, wait 0.5, capslock up"), "");
    EXPECT_EQ(run("capslock tap"), "esc down, esc up");
}

TEST_F(VandrelTest, StartRestoresWindowBindingsOnTheirQueueAndStartsTheClipboardServices)
{
    int restored = 0;
    int clipStarts = 0;
    VandrelServices services;
    services.restoreWindowBindings = [&] { ++restored; };
    services.startClipMonitoring = [&] { ++clipStarts; };
    auto& v = makeCore(services);
    v.start();
    EXPECT_EQ(clipStarts, 1);
    EXPECT_EQ(restored, 0);  // queued
    clock->runDue();
    EXPECT_EQ(restored, 1);

    // The window slots' keys come from the factory scheme's table.
    ASSERT_TRUE(v.windowBindingService->activateKey(1));
    EXPECT_EQ(v.windowBindingService->activateKey(1)->id(), "10012");  // Caps + 1
    ASSERT_TRUE(v.windowBindingService->bindKey(1));
    EXPECT_EQ(v.windowBindingService->bindKey(1)->id(), "90012");  // Caps + Option + 1
}

TEST_F(VandrelTest, UnavailableServicesAreLoggedAndSkipped)
{
    makeCore().start();
    clock->runDue();
    EXPECT_TRUE(
        logged->contains(LogLevel::warning, "The clipboard services are not available in this build, not started"));
    EXPECT_TRUE(logged->contains(LogLevel::warning,
                                 "Window binding is not available in this build, stored bindings not restored"));
    EXPECT_EQ(startLinesLogged().back(), "vandrel init end");
    EXPECT_EQ(run("capslock down, d tap, wait 0.01, capslock up"), "down down, down up");
}

TEST_F(VandrelTest, CapsLockLockIsSwitchedOffAtStartAndSecondStartOnlyLogs)
{
    sim->keyboard().setCapsLockLockState(true);
    auto& v = makeCore();
    v.start();
    EXPECT_EQ(sim->keyboard().capsLockLockState(), false);
    logged->clear();
    v.start();
    EXPECT_TRUE(startLinesLogged().empty());
    EXPECT_EQ(logged->count(LogLevel::warning), 1u);
}

TEST_F(VandrelTest, ActionsSeeTheWorkingEnvironmentsTerminalFlag)
{
    sim->workspace().setTerminalLikeApplicationIds({"org.example.Term"});
    RunningApplication term;
    term.bundleIdentifier = "org.example.Term";
    sim->workspace().addApplication(term);
    makeCore().start();
    BuiltInVDAction::selectUpN()->doWithParamSequence({});
    EXPECT_EQ(scenario.posted(), "shift down, up down [shift], up up [shift], shift up");
    scenario.clear();
    sim->workspace().activate(sim->workspace().runningApplications().back().processIdentifier);
    BuiltInVDAction::selectUpN()->doWithParamSequence({});
    EXPECT_EQ(scenario.posted(), "");
}

}  // namespace
}  // namespace vandrel::test
