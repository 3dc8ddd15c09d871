// The default layout's extra-clipboard keys through the whole engine on the simulated platform, with the
// clipboard services wired as the program wires them: Caps+C copies the editor's selection into extra
// clipboard 1, Caps+V pastes it back, and the user's own clipboard content is there again afterwards.
#include <gtest/gtest.h>

#include "catalogue/catalogue_fixture.h"
#include "clip/clip_service.h"
#include "clip/multi_clipboard_service.h"
#include "clip/paste_service.h"
#include "clip/realm_migration_handlers.h"

namespace vandrel::test {
namespace {

struct ExtraClipboardWalkTest : EngineTest, TestApplications {
    std::shared_ptr<ClipService> capture;
    std::shared_ptr<PasteService> paste;
    std::shared_ptr<MultiClipboardService> multi;
    // What reached the frontmost application, in order: each paste with the text it fetched, and each key-down
    // that passed.
    std::vector<std::string> received;
    std::shared_ptr<EventTap> letters;

    ExtraClipboardWalkTest()
    {
        RealmMigrationHandlers::registerWithRealm();
        addTo(sim->workspace());
        bringToFront(sim->workspace(), editorId);

        const auto conveyor = ClipConveyor::make();
        ClipService::Options clip;
        clip.pasteboards = std::shared_ptr<PasteboardServer>(sim, &sim->pasteboards());
        clip.clipScheduler = clock;
        clip.mainScheduler = clock;
        clip.settings = settings;
        clip.clipFolder = dir.path().toStdString() + "/cache/clip";
        clip.clipConveyor = conveyor;
        clip.activeClipboard = [this] { return multi ? multi->activeClipboardRecord() : std::nullopt; };
        clip.companions = {[this] { multi->startMonitoring(); }};
        capture = ClipService::make(clip);

        PasteService::Options po;
        po.general = general();
        po.settings = settings;
        po.clipService = capture;
        po.globalScheduler = clock;
        // The frontmost application pastes as the stroke comes: it fetches the clipboard's text.
        po.postKeys = [this](const VDActionPtr& action) {
            action->post();
            received.push_back("paste " + sim->pasteboards().generalBoard()->fetchStringByTarget().value_or(""));
        };
        paste = PasteService::make(po);
        letters = sim->keyboard().createTap(
            KeyEventType::keyDown,
            [this](KeyEvent& event) {
                received.push_back(Scenario::nameOfKeyCode(event.keyCode));
                return TapResult::pass;
            },
            TapPlacement::tailAppend);

        MultiClipboardService::Options mo;
        mo.clipService = capture;
        mo.pasteService = paste;
        mo.general = general();
        mo.mainScheduler = clock;
        mo.clipConveyor = conveyor;
        mo.clipScheduler = clock;
        mo.globalScheduler = clock;
        mo.databaseScheduler = clock;
        mo.keyInput.isCapsDown = [this] { return core->state->isCapsDown(); };
        mo.keyInput.onCapsUp = [this](std::function<void()> f) {
            return core->inputObserver()->capsUp.subscribe([f](const KeyEvent&) { f(); });
        };
        mo.keyInput.blockKeydown = [this](const VDKey& key, std::function<bool(const KeyEvent&)> when) {
            return core->inputObserver()->blockKeydown(key, std::move(when));
        };
        mo.keyInput.openOrderBarrier = [this] { return sim->eventTaps().openOrderBarrier(); };
        multi = MultiClipboardService::make(mo);

        VandrelServices services;
        services.startClipMonitoring = [this] { capture->startMonitoring(); };
        services.copyToExtraClipboard = [this](int n, bool isCut) { multi->copyToClipboard(n, isCut); };
        services.pasteLastFromExtraClipboard = [this](int n, bool plain) { multi->pasteLastFromClipboard(n, plain); };
        makeCore(std::move(services)).start();
        clock->runDue();
    }

    std::shared_ptr<Pasteboard> general() { return sim->pasteboards().general(); }
    std::string text() { return general()->string(PasteboardTypes::string).value_or("<empty>"); }
    void copyInTheEditor(const std::string& text)
    {
        general()->clearContents();
        general()->setString(text, PasteboardTypes::string);
    }
    void advance(int ms) { clock->advanceBy(std::chrono::milliseconds(ms)); }
    // Keys in, then what the actions queued on the main queue.
    void keys(std::string_view steps)
    {
        scenario.run(steps);
        clock->runDue();
        drainMainQueue();
    }
};

TEST_F(ExtraClipboardWalkTest, CopyAndPasteThroughExtraClipboardOneKeepTheUsersClipboard)
{
    copyInTheEditor("the user's text");
    advance(300);
    scenario.clear();

    keys("capslock down, c tap");
    const std::string copyStroke = "cmd down, c down [cmd], c up [cmd], cmd up";
    EXPECT_EQ(scenario.posted(), copyStroke);
    copyInTheEditor("selected words");  // the editor answers the copy stroke
    keys("capslock up");
    advance(3000);
    EXPECT_EQ(text(), "the user's text");
    ASSERT_EQ(multi->clipHistory(1).size(), 1u);
    EXPECT_EQ(multi->clipHistory(1).front().stringData, "selected words");

    keys("capslock down, v tap");
    advance(60);
    const std::string pasteStroke = "cmd down, v down [cmd], v up [cmd], cmd up";
    EXPECT_EQ(scenario.posted(), copyStroke + ", " + pasteStroke);
    EXPECT_EQ(text(), "selected words");  // what the editor pastes
    keys("capslock up");
    advance(3000);
    EXPECT_EQ(text(), "the user's text");
    EXPECT_EQ(scenario.passed(), "");
    EXPECT_EQ(capture->passNewClipCreatedCount(), 0);
    ASSERT_EQ(multi->clipHistory(0).size(), 1u);
    EXPECT_EQ(multi->clipHistory(0).front().stringData, "the user's text");

    // The user's own paste keys during a restore: each pastes the user's content once it is back, in the order
    // stroked, before the keys typed after them.
    received.clear();
    keys("capslock down, v tap, capslock up");
    advance(60);
    EXPECT_EQ(received, std::vector<std::string>{"paste selected words"});
    scenario.clear();
    received.clear();
    keys("ctrl down, v tap, ctrl up, wait 0.03, ctrl down, v tap, ctrl up, x tap, y tap, z tap");
    EXPECT_EQ(scenario.passed(), "ctrl flags [ctrl], v up [ctrl], ctrl flags");  // the rest waits behind it
    advance(3000);
    EXPECT_EQ(scenario.posted(), pasteStroke + ", " + pasteStroke);
    EXPECT_EQ(received, (std::vector<std::string>{"paste the user's text", "paste the user's text", "x", "y", "z"}));
    EXPECT_EQ(text(), "the user's text");
}

TEST_F(ExtraClipboardWalkTest, CutAndPlainPasteThroughExtraClipboardTwoInATerminal)
{
    bringToFront(sim->workspace(), emulatorId);
    clock->runDue();
    copyInTheEditor("the user's text");
    advance(300);
    scenario.clear();

    keys("capslock down, cmd down, x tap, cmd up");
    // The key poster turns the cut idiom into the terminal's copy (Ctrl+Shift+C).
    EXPECT_EQ(scenario.posted(), "cmd down, x down [cmd], x up [cmd], cmd up");
    copyInTheEditor("terminal line");
    keys("capslock up");
    advance(3000);
    ASSERT_EQ(multi->clipHistory(2).size(), 1u);
    EXPECT_EQ(text(), "the user's text");

    scenario.clear();
    keys("capslock down, opt down, cmd down, v tap, cmd up, opt up");
    advance(60);
    EXPECT_EQ(scenario.posted(), "cmd down, v down [cmd], v up [cmd], cmd up");
    EXPECT_EQ(general()->types(), std::vector<PasteboardType>{PasteboardTypes::string});
    EXPECT_EQ(text(), "terminal line");
    keys("capslock up");
    advance(3000);
    EXPECT_EQ(text(), "the user's text");
    EXPECT_TRUE(multi->clipHistory(1).empty());
}

}  // namespace
}  // namespace vandrel::test
