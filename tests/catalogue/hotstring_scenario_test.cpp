// Hotstrings through the whole engine on the simulated desktop, with the setting on: the user types into an
// editor, holds Caps and presses Tab, and the clipboard services as the program wires them (capture, paste,
// extra clipboards, hotstrings) select, copy, evaluate and paste, then put the user's clipboard back.
#include <gtest/gtest.h>

#include "catalogue/catalogue_fixture.h"
#include "clip/clip_service.h"
#include "clip/hotstring_service.h"
#include "clip/multi_clipboard_service.h"
#include "clip/paste_service.h"
#include "clip/realm_migration_handlers.h"
#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"

namespace vandrel::test {
namespace {

constexpr std::uint16_t kLeft = 123, kRight = 124, kC = 8, kV = 9;

// The frontmost editor: one line and a selection, driven by what the program posts (read back after every
// millisecond of virtual time, as an application handles its input queue).
class FakeEditor {
public:
    FakeEditor(SimPlatform& sim) : sim_(sim) {}

    std::string line;
    std::size_t selectionStart = std::string::npos;  // npos: the caret at the end, nothing selected

    std::string selected() const { return selectionStart == std::string::npos ? "" : line.substr(selectionStart); }

    void pump()
    {
        const auto posted = sim_.keyboard().postedEvents();
        for (; seen_ < posted.size(); ++seen_) {
            const KeyEvent& e = posted[seen_].event;
            if (e.type != KeyEventType::keyDown) continue;
            const bool cmd = (e.flags & EventFlags::maskCommand) != 0;
            const bool shift = (e.flags & EventFlags::maskShift) != 0;
            if (e.keyCode == kLeft && cmd && shift) {
                selectionStart = 0;
            } else if (e.keyCode == kC && cmd) {
                if (selectionStart == std::string::npos) continue;
                auto& board = *sim_.pasteboards().general();
                board.clearContents();
                board.setString(selected(), PasteboardTypes::string);
            } else if (e.keyCode == kV && cmd) {
                const auto text = sim_.pasteboards().general()->string(PasteboardTypes::string).value_or("");
                pastes.push_back(text);
                line = line.substr(0, selectionStart == std::string::npos ? line.size() : selectionStart) + text;
                selectionStart = std::string::npos;
            } else if (e.keyCode == kRight && !cmd && !shift) {
                selectionStart = std::string::npos;
            }
        }
    }

    std::vector<std::string> pastes;

private:
    SimPlatform& sim_;
    std::size_t seen_ = 0;
};

struct HotstringScenarioTest : EngineTest, TestApplications {
    std::shared_ptr<ClipConveyor> conveyor = ClipConveyor::make();
    std::shared_ptr<ClipService> clip;
    std::shared_ptr<PasteService> paste;
    std::shared_ptr<MultiClipboardService> multi;
    std::shared_ptr<HotstringService> hotstrings;
    FakeEditor editor{*sim};

    HotstringScenarioTest()
    {
        settings->set(DefaultsKeys::experimental_hotstring, true);
        BuiltInVDAction::registerAll();
        RealmMigrationHandlers::registerWithRealm();
        addTo(sim->workspace());

        ClipService::Options capture;
        capture.pasteboards = std::shared_ptr<PasteboardServer>(sim, &sim->pasteboards());
        capture.clipScheduler = clock;
        capture.mainScheduler = clock;
        capture.settings = settings;
        capture.clipFolder = std::filesystem::path(dir.path().toStdString()) / "clip";
        capture.clipConveyor = conveyor;
        capture.activeClipboard = [this] { return multi ? multi->activeClipboardRecord() : std::nullopt; };
        capture.companions = {[this] { multi->startMonitoring(); }};
        clip = ClipService::make(capture);

        PasteService::Options pasting;
        pasting.general = sim->pasteboards().general();
        pasting.settings = settings;
        pasting.clipService = clip;
        pasting.globalScheduler = clock;
        paste = PasteService::make(pasting);

        MultiClipboardService::Options boards;
        boards.clipService = clip;
        boards.pasteService = paste;
        boards.general = sim->pasteboards().general();
        boards.mainScheduler = clock;
        boards.clipScheduler = clock;
        boards.globalScheduler = clock;
        boards.databaseScheduler = clock;
        boards.clipConveyor = conveyor;
        boards.keyInput.isCapsDown = [this] { return core && core->state->isCapsDown(); };
        boards.keyInput.onCapsUp = [this](std::function<void()> f) {
            return core->inputObserver()->capsUp.subscribe([f](const KeyEvent&) { f(); });
        };
        multi = MultiClipboardService::make(boards);

        // Answers at once as the evaluator process would (which the hotstring tests run for real).
        Hotstring::Options evaluator;
        evaluator.evaluator = [](const std::string& key, std::function<void(Hotstring::Evaluation)> done) {
            if (key == "12*3") return done({"36", {}, {}});
            done({std::nullopt, "ReferenceError: " + key + " is not defined", "ReferenceError"});
        };
        HotstringService::Options options;
        options.clipService = clip;
        options.pasteService = paste;
        options.hotstring = std::make_shared<Hotstring>(evaluator);
        options.globalScheduler = clock;
        options.clipScheduler = clock;
        options.restoreSystemClipboard = [this](rx::Duration wait, std::function<void()> callback) {
            multi->subscribeToRestoreSystemClipboard(wait, std::move(callback));
        };
        hotstrings = HotstringService::make(options);

        VandrelServices services;
        services.startClipMonitoring = [this] { clip->startMonitoring(); };
        services.expandHotstring = [this] { hotstrings->expandHotstring(); };
        makeCore(std::move(services)).start();
        clock->runDue();
        TestApplications::bringToFront(sim->workspace(), editorId);
        clock->runDue();
    }
    ~HotstringScenarioTest() override
    {
        DispatchQueues::realm()->sync([] {});
    }

    void pass(int ms)
    {
        for (int i = 0; i < ms; ++i) {
            clock->advanceBy(std::chrono::milliseconds(1));
            editor.pump();
        }
    }

    void userCopies(const std::string& text)
    {
        auto& board = *sim->pasteboards().general();
        board.clearContents();
        board.setString(text, PasteboardTypes::string);
        pass(300);
    }

    // The user types the text into the editor (it reaches the application untouched).
    void type(const std::string& text)
    {
        scenario.clear();
        sim->keyboard().typeText(text);
        EXPECT_NE(scenario.passed(), "");
        editor.line += text;
    }

    std::string general() const
    {
        return sim->pasteboards().general()->string(PasteboardTypes::string).value_or("<no text>");
    }
};

TEST_F(HotstringScenarioTest, CapsTabReplacesTheTypedExpressionWithItsResult)
{
    userCopies("the user's clipboard");
    type("12*3 =");

    scenario.clear();
    scenario.run("capslock down, tab tap");
    pass(200);
    EXPECT_EQ(scenario.passed(), "") << "the combination reached no application";
    EXPECT_EQ(scenario.posted(),
              "cmd down, shift down, left down [shift+cmd], left up [shift+cmd], cmd up, shift up, "  // select
              "cmd down, c down [cmd], c up [cmd], cmd up, "                                          // copy
              "cmd down, v down [cmd], v up [cmd], cmd up");                                          // paste
    EXPECT_EQ(editor.pastes, std::vector<std::string>{"12*3 =36"});
    EXPECT_EQ(editor.line, "12*3 =36");

    scenario.run("capslock up");
    pass(2500);  // this board tells no fetches: the restore comes after the paste's time-out
    EXPECT_EQ(general(), "the user's clipboard") << "the user's clipboard is back";
    const auto history = multi->clipHistory(MultiClipboardService::kSystemId);
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().stringData, "the user's clipboard") << "neither the line nor its result became a clip";
    EXPECT_EQ(clip->passNewClipCreatedCount(), 0);
}

TEST_F(HotstringScenarioTest, TextWithoutAnExpressionIsLeftAsTypedWithNothingSelected)
{
    userCopies("the user's clipboard");
    type("see you");
    scenario.clear();
    scenario.run("capslock down, tab tap");
    pass(200);
    EXPECT_NE(scenario.posted().find("c up [cmd], cmd up, right down, right up"), std::string::npos)
        << scenario.posted();
    scenario.run("capslock up");
    pass(1000);
    EXPECT_EQ(editor.line, "see you");
    EXPECT_EQ(editor.selected(), "");
    EXPECT_TRUE(editor.pastes.empty());
    EXPECT_EQ(general(), "the user's clipboard");
}

}  // namespace
}  // namespace vandrel::test
