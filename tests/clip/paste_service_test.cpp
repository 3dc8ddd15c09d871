// The paste service over the simulated desktop: what reaches the pasteboard, when the paste stroke is
// posted, and what happens to the pasted clip.
#include "clip/paste_service.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "clip/clip_rig.h"
#include "clip/clip_utils.h"
#include "core/defaults_keys.h"
#include "platform/event_tap.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_keyboard.h"
#include "support/hostile_files.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using test::ClipRig;
using test::textItem;

class PasteServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        paste = PasteService::make(rig.pasteOptions([this](const VDActionPtr& action) { posted.push_back(action); }));
        rig.advance(500);
    }

    // A clip of rich content captured and filed in the system history.
    VDClip capturedClip()
    {
        PasteboardItem item = textItem("plain words");
        item.setString(PasteboardTypes::html, "<b>plain words</b>");
        item.setData(PasteboardTypes::png, {1, 2, 3});
        rig.own({item});
        rig.advance(250);
        EXPECT_FALSE(rig.clips.empty());
        VDClip clip = rig.clips.back().first;
        rig.storeInHistory(clip);
        rig.clips.clear();
        return clip;
    }

    ClipRig rig;
    std::vector<VDActionPtr> posted;
    std::shared_ptr<PasteService> paste;
};

TEST_F(PasteServiceTest, AClipIsPastedWithAllItsTypesAndTheStrokeFollowsLater)
{
    const VDClip clip = capturedClip();
    rig.copyAndPoll("user's own");
    rig.clips.clear();

    EXPECT_TRUE(paste->paste(clip, false));
    EXPECT_EQ(rig.general().types(),
              (std::vector<PasteboardType>{PasteboardTypes::string, PasteboardTypes::html, PasteboardTypes::png}));
    EXPECT_TRUE(posted.empty());
    rig.advance(49);
    EXPECT_TRUE(posted.empty());
    rig.advance(1);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0], ClipUtils::cmdV());
    EXPECT_TRUE(VDClip::object(rig.realm(), clip.savedHash));
}

// Two pastes in a row: the second stroke waits until the target has the first paste, as GTK drops a paste asked
// for while another is on its way; for half a second at most.
TEST_F(PasteServiceTest, APasteStrokeWaitsUntilTheTargetHasThePasteBeforeIt)
{
    const int insert = std::chrono::duration_cast<std::chrono::milliseconds>(PasteService::kInsertTime).count();
    for (const auto& [fetchAt, secondAt] : {std::pair{100, 100 + insert}, std::pair{0, 500}}) {
        SCOPED_TRACE(fetchAt);
        posted.clear();
        paste->copyToPasteboard(std::string("pasted board"));
        paste->pasteNow();
        paste->pasteNow();
        EXPECT_EQ(posted.size(), 1u);
        if (fetchAt) {
            rig.advance(fetchAt);
            rig.generalBoard().fetchStringByTarget();
        }
        rig.advance(secondAt - fetchAt - 1);
        EXPECT_EQ(posted.size(), 1u);
        rig.advance(1);
        EXPECT_EQ(posted.size(), 2u);
        rig.advance(3000);
    }
}

// Keys typed after a paste's trigger land after the pasted text: they wait until the target fetched it (GTK
// does so only when it handles the stroke) and had time to insert it, or for the barrier's bound. A key held
// since before goes up when the hands let it go, unless keys typed after the trigger wait: then behind them.
TEST_F(PasteServiceTest, KeysTypedAfterThePasteWaitUntilTheTargetHasTheContent)
{
    const int insert = std::chrono::duration_cast<std::chrono::milliseconds>(PasteService::kInsertTime).count();
    const struct {
        const char* name;
        bool now;     // pasteNow: the content is on the pasteboard already
        int fetchAt;  // ms after the trigger; 0: never
        int keysAt;
        bool releasedFirst;  // the key held since before goes up 30 ms in, before anything is typed
    } cases[] = {
        {"a target fetching late", false, 230, 230 + insert, false},
        {"a stroke posted at once", true, 80, 80 + insert, false},
        {"a target that never fetches", false, 0, 500, false},
        {"a key let go before anything is typed", false, 0, 500, true},
    };
    const std::string typed = "x down, x up, y down, y up, z down, z up";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimKeyboard keyboard(rig.clock);
        keyboard.press(0);  // A, down before the trigger
        keyboard.clearEvents();
        const auto trigger = rig.clock->now();
        const auto at = [&](int ms) { rig.clock->advanceTo(trigger + std::chrono::milliseconds(ms)); };
        const auto passed = [&] { return Scenario::describe(keyboard.passedEvents()); };
        paste->copyToPasteboard(std::string("pasted board"));
        const OrderBarrier::Scope scope(keyboard.openOrderBarrier());
        c.now ? paste->pasteNow() : paste->paste();
        if (!c.releasedFirst) keyboard.typeText("xyz");
        at(30);
        keyboard.release(0);
        if (c.releasedFirst) keyboard.typeText("xyz");
        if (c.fetchAt) {
            at(c.fetchAt);
            EXPECT_EQ(rig.generalBoard().fetchStringByTarget(), "pasted board");
        }
        at(c.keysAt - 1);
        EXPECT_EQ(passed(), c.releasedFirst ? "a up" : "");
        at(c.keysAt);
        EXPECT_EQ(passed(), c.releasedFirst ? "a up, " + typed : typed + ", a up");
        at(3000);
    }
}

TEST_F(PasteServiceTest, PlainTextLeavesOnlyTheText)
{
    const VDClip clip = capturedClip();
    EXPECT_TRUE(paste->paste(clip, true));
    EXPECT_EQ(rig.general().types(), std::vector<PasteboardType>{PasteboardTypes::string});
    EXPECT_EQ(rig.general().string(PasteboardTypes::string), "plain words");

    // The setting does the same for the clip write, and the recursive lock lets the text write nest.
    rig.settings->set(DefaultsKeys::clip_isPastePlainText, true);
    rig.copyText("other");
    paste->copyToPasteboard(clip);
    EXPECT_EQ(rig.general().types(), std::vector<PasteboardType>{PasteboardTypes::string});
    EXPECT_EQ(rig.general().string(PasteboardTypes::string), "plain words");
}

TEST_F(PasteServiceTest, PasteAndDeleteMakesNoClipOfItsWriteAndDropsThePastedClip)
{
    const VDClip clip = capturedClip();
    rig.settings->set(DefaultsKeys::clip_isPasteAndDeleteHistory, true);
    EXPECT_TRUE(paste->paste(clip, false));
    EXPECT_EQ(rig.service->passNewClipCreatedCount(), 0);
    rig.advance(1000);
    EXPECT_TRUE(rig.clips.empty());
    DispatchQueues::realm()->sync([] {});
    EXPECT_FALSE(VDClip::object(rig.realm(), clip.savedHash));
    EXPECT_TRUE((VDClipboard{0, 3}.clipHistory(rig.realm()).empty()));
    EXPECT_EQ(posted.size(), 1u);
}

TEST_F(PasteServiceTest, DeleteHistoryDropsTheClipAndTheWriteIsCaptured)
{
    const VDClip clip = capturedClip();
    rig.settings->set(DefaultsKeys::clip_isDeleteHistory, true);
    EXPECT_TRUE(paste->paste(clip, false));
    rig.advance(250);
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"plain words"});
    DispatchQueues::realm()->sync([] {});
    EXPECT_FALSE(VDClip::object(rig.realm(), clip.savedHash));
}

TEST_F(PasteServiceTest, AGoneOrUnreadableClipPastesNothing)
{
    VDClip clip = capturedClip();
    rig.copyText("user's own");
    const auto count = rig.general().changeCount();

    VDClip unknown = clip;
    unknown.savedHash = "not stored";
    EXPECT_FALSE(paste->paste(unknown, false));

    // A row's path is data: only a regular file of the clip folder within the item limit is read, and
    // nothing waits on a pipe or reads a device.
    const fs::path outside = rig.folder / "elsewhere.data";
    fs::copy_file(clip.dataPath, outside);
    fs::create_symlink(outside, rig.clipFolder() / "link.data");
    std::ofstream(rig.clipFolder() / "damaged.data") << "damaged";
    auto payloads = test::hostileFiles(rig.clipFolder(), ".data");
    payloads.insert(payloads.end(),
                    {"/dev/zero", outside, rig.clipFolder() / "link.data", rig.clipFolder() / "damaged.data"});
    for (const auto& payload : payloads) {
        SCOPED_TRACE(payload.string());
        VDClip hostile = clip;
        hostile.dataPath = payload.string();
        EXPECT_FALSE(paste->paste(hostile, false));
        paste->copyToPasteboard(hostile);
    }
    rig.advance(1000);
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(rig.general().changeCount(), count);
    EXPECT_EQ(rig.general().string(PasteboardTypes::string), "user's own");
    // Each failed alone.
    EXPECT_TRUE(paste->paste(clip, false));
}

TEST_F(PasteServiceTest, ItemsWithoutTextLeaveThePasteboardAloneInPlainTextMode)
{
    rig.copyText("user's own");
    PasteboardItem image;
    image.setData(PasteboardTypes::png, {1});
    EXPECT_FALSE(paste->copyToPasteboard({image}, true));
    EXPECT_EQ(rig.general().string(PasteboardTypes::string), "user's own");

    PasteboardItem rich = textItem("words");
    rich.setString(PasteboardTypes::rtf, "{words}");
    EXPECT_TRUE(paste->copyToPasteboard({rich}, true));
    EXPECT_EQ(rig.general().types(), std::vector<PasteboardType>{PasteboardTypes::string});
    EXPECT_TRUE(paste->copyToPasteboard({rich, image}, false));
    EXPECT_EQ(rig.general().pasteboardItems(), (std::vector<PasteboardItem>{rich, image}));
}

TEST_F(PasteServiceTest, ATextIsWrittenAsTheOnlyType)
{
    rig.copyText("x");
    const auto before = rig.general().changeCount();
    paste->copyToPasteboard(std::string("typed result"));
    EXPECT_EQ(rig.general().changeCount(), before + 1);
    EXPECT_EQ(rig.general().types(), std::vector<PasteboardType>{PasteboardTypes::string});
    EXPECT_EQ(rig.general().string(PasteboardTypes::string), "typed result");
    paste->paste();
    rig.advance(50);
    EXPECT_EQ(posted.size(), 1u);
}

}  // namespace
}  // namespace vandrel
