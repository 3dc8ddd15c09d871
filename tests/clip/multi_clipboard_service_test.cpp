// The extra clipboards on the simulated desktop with virtual time: the capture service, the paste service and
// the extra-clipboard service wired as the program wires them, an application that copies its selection when
// the copy stroke comes, and a fake keyboard for Caps and the paste key.
#include "clip/multi_clipboard_service.h"

#include <gtest/gtest.h>

#include <map>

#include "clip/clip_rig.h"
#include "clip/clip_utils.h"
#include "clip/data_clean_service.h"
#include "clip/paste_service.h"
#include "core/log_capture.h"
#include "platform/sim/sim_thumbnail_maker.h"

namespace vandrel::test {
namespace {

struct MultiRig {
    std::shared_ptr<ClipConveyor> conveyor = ClipConveyor::make();
    std::shared_ptr<MultiClipboardService> multi;
    ClipRig rig{false, [this](ClipService::Options& o) {
                    o.clipConveyor = conveyor;
                    o.activeClipboard = [this] { return multi ? multi->activeClipboardRecord() : std::nullopt; };
                    o.companions = {[this] { multi->startMonitoring(); }};
                }};
    std::shared_ptr<PasteService> paste;
    ScopedLogCapture logged;

    // The frontmost application: copies (or cuts) its selection when the stroke comes, if it has one.
    std::optional<std::string> selection;
    std::vector<std::string> posted;
    std::vector<std::string> pastedTexts;  // the pasteboard's text when each paste stroke came

    // The frontmost application's terminal keys, when it is a terminal.
    std::optional<TerminalClipboardKeys> terminal;
    bool capsDown = false;
    rx::PublishSubject<int> capsUp;
    // The keys withheld, with what decides each key-down.
    std::multimap<std::int64_t, std::function<bool(const KeyEvent&)>> blocked;

    explicit MultiRig(const std::function<void(MultiClipboardService::Options&)>& configure = {})
    {
        PasteService::Options po;
        po.general = rig.pasteboards->general();
        po.settings = rig.settings;
        po.clipService = rig.service;
        po.globalScheduler = rig.clock;
        po.postKeys = [this](const VDActionPtr& a) { onPost(a); };
        po.selection = rig.pasteboards->selection();
        po.frontmostTerminalKeys = [this] { return terminal; };
        paste = PasteService::make(po);

        auto mo = baseOptions();
        mo.postKeys = [this](const VDActionPtr& a) { onPost(a); };
        mo.frontmostApplication = [] {
            RunningApplication app;
            app.localizedName = "Editor";
            app.bundleIdentifier = "org.example.editor";
            return std::optional<RunningApplication>(app);
        };
        mo.selection = rig.pasteboards->selection();
        mo.frontmostTerminalKeys = [this] { return terminal; };
        mo.keyInput.isCapsDown = [this] { return capsDown; };
        mo.keyInput.onCapsUp = [this](std::function<void()> f) { return capsUp.subscribe([f](int) { f(); }); };
        mo.keyInput.blockKeydown = [this](const VDKey& key, std::function<bool(const KeyEvent&)> when) {
            const auto entry = blocked.emplace(key.keybit(), std::move(when));
            return std::function<void()>([this, entry] { blocked.erase(entry); });
        };
        if (configure) configure(mo);
        multi = MultiClipboardService::make(mo);
        rig.service->startMonitoring();
    }

    // The service lets its keys go as it ends, into the map above.
    ~MultiRig() { multi.reset(); }

    // Another service on the same desktop, without key input.
    MultiClipboardService::Options baseOptions()
    {
        MultiClipboardService::Options mo;
        mo.clipService = rig.service;
        mo.pasteService = paste;
        mo.general = rig.pasteboards->general();
        mo.mainScheduler = rig.clock;
        mo.clipScheduler = rig.clock;
        mo.globalScheduler = rig.clock;
        mo.databaseScheduler = rig.clock;
        mo.clipConveyor = conveyor;
        return mo;
    }

    void onPost(const VDActionPtr& action)
    {
        if (action == ClipUtils::cmdC() || action == ClipUtils::cmdX()) {
            posted.push_back(action == ClipUtils::cmdC() ? "copy" : "cut");
            if (selection) rig.copyText(*selection);
        } else if (action == ClipUtils::cmdV()) {
            posted.push_back("paste");
            pastedTexts.push_back(terminal == TerminalClipboardKeys::selection ? primary() : text());
        } else {
            posted.push_back("?");
        }
    }

    std::string text() { return rig.general().string(PasteboardTypes::string).value_or("<empty>"); }
    std::string primary() { return rig.pasteboards->selection()->string(PasteboardTypes::string).value_or("<empty>"); }
    // The frontmost application pastes: it fetches the clipboard's (or, by Shift+Insert, PRIMARY's) text.
    std::string targetFetches()
    {
        auto& board = terminal == TerminalClipboardKeys::selection ? *rig.pasteboards->selectionBoard()
                                                                   : *rig.pasteboards->generalBoard();
        return board.fetchStringByTarget().value_or("<empty>");
    }
    void advance(int ms) { rig.advance(ms); }
    void settle() { advance(20000); }

    std::vector<std::string> history(std::int64_t id) const
    {
        std::vector<std::string> out;
        for (const auto& clip : multi->clipHistory(id)) out.push_back(clip.stringData);
        return out;
    }

    // The application's selection copied into the board, then nothing selected any more.
    void copyInto(std::int64_t id, const std::string& text)
    {
        selection = text;
        multi->copyToClipboard(id, false);
        settle();
        selection.reset();
    }

    // The user copies in another application, and the capture service files it under the system board.
    void userCopies(const std::string& text)
    {
        rig.copyAndPoll(text);
        advance(100);
    }

    void releaseCaps()
    {
        if (!capsDown) return;
        capsDown = false;
        capsUp.onNext(0);
    }

    // Ctrl+V typed now; whether it was withheld.
    bool pressPasteKey()
    {
        KeyEvent event;
        event.keyCode = 9;
        event.flags = EventFlags::maskControl;
        event.timestamp = rig.clock->now();
        const auto [first, last] = blocked.equal_range(VDKey(9, {59}).keybit());
        for (auto it = first; it != last; ++it)
            if (it->second(event)) return true;
        return false;
    }

    bool logs(LogLevel level, const std::string& message) const
    {
        for (const auto& e : logged->entries())
            if (e.level == level && e.message == message) return true;
        return false;
    }
};

TEST(MultiClipboardServiceTest, BuildsThreeBoardsOnAFreshStoreAndKeepsAStoredSize)
{
    MultiRig fresh;
    ASSERT_EQ(fresh.multi->clipboardTable().size(), 3u);
    for (std::int64_t id = 0; id <= 2; ++id) EXPECT_EQ(fresh.multi->clipboard(id), (VDClipboard{id, 3}));
    EXPECT_FALSE(fresh.multi->isInMemory());

    {
        Realm& r = fresh.rig.realm();
        r.write([&] { VDClipboard::add(r, VDClipboard{1, 5}); });
    }
    auto second = MultiClipboardService::make(fresh.baseOptions());
    EXPECT_EQ(second->clipboard(1), (VDClipboard{1, 5}));
    EXPECT_EQ(second->clipboard(2), (VDClipboard{2, 3}));
}

TEST(MultiClipboardServiceTest, TheBoardsAreReadOnFirstUseSoACopyRightAfterStartIsKept)
{
    // The program makes the service before it takes the keyboards: nothing is read then.
    const auto file = std::filesystem::temp_directory_path() / ("vandrel-boards-" + std::to_string(::getpid()));
    MultiRig rig([&file](MultiClipboardService::Options& o) { o.realmConfiguration.fileURL = file; });
    EXPECT_FALSE(std::filesystem::exists(file));
    rig.copyInto(1, "right after start");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(rig.multi->clipboard(1), (VDClipboard{1, 3}));
    EXPECT_EQ(rig.history(1), std::vector<std::string>{"right after start"});
    rig.multi->pasteLastFromClipboard(1, false);
    rig.settle();
    EXPECT_EQ(rig.pastedTexts, std::vector<std::string>{"right after start"});
    Realm::forgetOpenedFiles();
    for (const auto* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file.string() + suffix);
}

TEST(MultiClipboardServiceTest, BoardsLiveInMemoryWhenTheDatabaseDoesNotOpen)
{
    MultiRig rig([](MultiClipboardService::Options& o) {
        o.realmConfiguration = RealmConfiguration{};
        o.realmConfiguration.fileURL = "/proc/vandrel-no-such-folder/default.realm";
    });
    EXPECT_TRUE(rig.multi->isInMemory());
    EXPECT_EQ(rig.multi->clipboard(2), (VDClipboard{2, 3}));
    rig.selection = "kept in memory";
    rig.multi->copyToClipboard(1, false);
    rig.settle();
    EXPECT_EQ(rig.history(1), std::vector<std::string>{"kept in memory"});
    rig.multi->pasteLastFromClipboard(1, true);
    rig.settle();
    EXPECT_EQ(rig.pastedTexts, std::vector<std::string>{"kept in memory"});
}

TEST(MultiClipboardServiceTest, CopyThenPasteThroughAnExtraBoardKeepsTheUsersClipboard)
{
    MultiRig rig;
    rig.userCopies("the user's text");
    rig.settle();
    ASSERT_EQ(rig.history(0), std::vector<std::string>{"the user's text"});

    rig.selection = "selected words";
    rig.multi->copyToClipboard(1, false);
    EXPECT_TRUE(rig.multi->isCopying(1));
    rig.settle();
    EXPECT_EQ(rig.posted, std::vector<std::string>{"copy"});
    EXPECT_EQ(rig.history(1), std::vector<std::string>{"selected words"});
    EXPECT_EQ(rig.history(0), std::vector<std::string>{"the user's text"});
    EXPECT_FALSE(rig.multi->isCopying(1));
    EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());
    EXPECT_EQ(rig.multi->activeClipboard.value(), 0);
    EXPECT_EQ(rig.text(), "the user's text");

    rig.selection.reset();
    rig.multi->pasteLastFromClipboard(1, false);
    rig.settle();
    EXPECT_EQ(rig.posted, (std::vector<std::string>{"copy", "paste"}));
    EXPECT_EQ(rig.pastedTexts, std::vector<std::string>{"selected words"});
    EXPECT_EQ(rig.text(), "the user's text");
    EXPECT_EQ(rig.rig.service->passNewClipCreatedCount(), 0);
    // Neither the paste's write nor the restore made a clip.
    EXPECT_EQ(rig.history(0), std::vector<std::string>{"the user's text"});
    EXPECT_EQ(rig.history(1), std::vector<std::string>{"selected words"});

    // Capture goes on afterwards.
    rig.userCopies("later");
    rig.settle();
    EXPECT_EQ(rig.history(0), (std::vector<std::string>{"the user's text", "later"}));
}

TEST(MultiClipboardServiceTest, ACutIsTheCutStroke)
{
    MultiRig rig;
    rig.selection = "cut me";
    rig.multi->copyToClipboard(2, true);
    rig.settle();
    EXPECT_EQ(rig.posted, std::vector<std::string>{"cut"});
    EXPECT_EQ(rig.history(2), std::vector<std::string>{"cut me"});
}

TEST(MultiClipboardServiceTest, CopyingTheSameTextAgainEndsNormallyWithoutANewEntry)
{
    MultiRig rig;
    rig.selection = "same";
    rig.multi->copyToClipboard(1, false);
    rig.settle();
    const auto first = rig.multi->clipHistory(1);
    ASSERT_EQ(first.size(), 1u);

    rig.selection.reset();
    rig.multi->copyToClipboard(1, false);
    rig.conveyor->vdClipConveyor.onNext({first.front(), VDClipboard{1, 3}});
    rig.advance(99);
    EXPECT_TRUE(rig.multi->isCopying(1));
    rig.advance(2);
    EXPECT_FALSE(rig.multi->isCopying(1));
    EXPECT_FALSE(rig.logs(LogLevel::warning, "copy fail"));
    rig.settle();
    EXPECT_EQ(rig.history(1), std::vector<std::string>{"same"});
}

TEST(MultiClipboardServiceTest, ACopyThatCapturesNothingFailsAfterItsAttempts)
{
    MultiRig rig;
    rig.userCopies("before");
    rig.multi->copyToClipboard(1, false);
    rig.advance(1490);
    EXPECT_TRUE(rig.multi->isCopying(1));
    EXPECT_FALSE(rig.logs(LogLevel::warning, "copy fail"));
    rig.advance(20);
    EXPECT_TRUE(rig.logs(LogLevel::warning, "copy fail"));
    EXPECT_TRUE(rig.logs(LogLevel::warning, "Copy Nothing from Editor(org.example.editor) into extraClipboard 1"));
    EXPECT_FALSE(rig.multi->isCopying(1));
    rig.settle();
    EXPECT_TRUE(rig.history(1).empty());
    EXPECT_EQ(rig.text(), "before");
    EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());
}

TEST(MultiClipboardServiceTest, EachPasteKeyHeldBackDuringARestorePastesTheUsersContentAfterIt)
{
    MultiRig rig;
    rig.userCopies("user");
    rig.capsDown = true;
    rig.multi->subscribeToRestoreSystemClipboard(rx::Duration::zero());
    EXPECT_EQ(rig.blocked.count(VDKey(9, {59}).keybit()), 1u);
    EXPECT_TRUE(rig.pressPasteKey());
    EXPECT_TRUE(rig.pressPasteKey());
    rig.advance(1000);
    EXPECT_TRUE(rig.posted.empty());

    rig.capsDown = false;
    rig.capsUp.onNext(0);
    rig.settle();
    EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());
    EXPECT_EQ(rig.posted, (std::vector<std::string>{"paste", "paste"}));
    EXPECT_EQ(rig.pastedTexts, (std::vector<std::string>{"user", "user"}));
    EXPECT_TRUE(rig.blocked.empty());

    // A second request while one is pending only runs its callback.
    int called = 0;
    rig.multi->subscribeToRestoreSystemClipboard(rx::Duration::zero());
    rig.multi->subscribeToRestoreSystemClipboard(rx::Duration::zero(), [&] { ++called; });
    EXPECT_EQ(called, 1);
    rig.settle();
    EXPECT_EQ(rig.posted.size(), 2u);
}

TEST(MultiClipboardServiceTest, ACapsReleaseNeverSeenStillRestoresAfterFiveSeconds)
{
    MultiRig rig;
    rig.userCopies("user");
    rig.capsDown = true;  // a stale Caps state: its release never comes
    rig.multi->subscribeToRestoreSystemClipboard(rx::Duration::zero());
    rig.advance(4900);
    EXPECT_TRUE(rig.multi->willRestoreSystemClipboard());
    rig.advance(1000);
    EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());
    EXPECT_TRUE(rig.blocked.empty());
    EXPECT_TRUE(rig.logs(LogLevel::warning, "The Caps release was not seen within 5 s: the clipboard is restored now"));
}

TEST(MultiClipboardServiceTest, PastesAreRefusedWhileABoardIsCopyingAndAnEmptyBoardPastesNothing)
{
    MultiRig rig;
    rig.multi->copyToClipboard(1, false);  // the application copies nothing: stays copying for a while
    rig.multi->pasteLastFromClipboard(2, false);
    EXPECT_TRUE(rig.logs(LogLevel::info, "3. abort to paste, cuase these clipboards are copying ->"));
    rig.settle();

    rig.multi->pasteLastFromClipboard(2, false);
    EXPECT_TRUE(rig.logs(LogLevel::info, "4.3 clipboad.clipHistory is empty, clipboard.id ->"));
    rig.settle();
    EXPECT_EQ(rig.posted, std::vector<std::string>{"copy"});
    EXPECT_EQ(rig.rig.service->passNewClipCreatedCount(), 0);
}

TEST(MultiClipboardServiceTest, AClipWhosePayloadIsMissingSaysSoAndTheClipboardComesBack)
{
    MultiRig rig;
    rig.userCopies("user");
    rig.copyInto(1, "doomed");
    const auto clips = rig.multi->clipHistory(1);
    ASSERT_EQ(clips.size(), 1u);
    std::filesystem::remove(clips.front().dataPath);

    // A fresh service has no shadow items, so it pastes from the stored clip.
    auto fresh = MultiClipboardService::make(rig.baseOptions());
    fresh->systemClipboardHistory.accept(rig.multi->clipHistory(0).back());
    fresh->pasteLastFromClipboard(1, false);
    rig.settle();
    EXPECT_TRUE(rig.logs(LogLevel::warning, "6.1 paste by vdclip fail"));
    EXPECT_TRUE(rig.logs(LogLevel::warning, "The clip's payload file is missing ->"));
    EXPECT_EQ(fresh->activeClipboard.value(), 0);
    EXPECT_EQ(rig.text(), "user");  // from the transfer clip
    EXPECT_EQ(rig.rig.service->passNewClipCreatedCount(), 0);
}

TEST(MultiClipboardServiceTest, TheSameClipIntoTheSystemBoardIsDiscarded)
{
    MultiRig rig;
    rig.userCopies("once");
    rig.settle();
    const auto clip = rig.multi->clipHistory(0).back();
    rig.multi->systemClipboardHistory.accept(std::nullopt);
    rig.conveyor->vdClipConveyor.onNext({clip, VDClipboard{0, 3}});
    rig.settle();
    EXPECT_EQ(rig.history(0), std::vector<std::string>{"once"});
    EXPECT_FALSE(rig.multi->systemClipboardHistory.value());
}

// The user's clipboard comes back only once the target has fetched what was pasted (plus a grace for a second
// fetch), or after the time-out when nothing fetches; a fetch before the stroke is not the paste's.
TEST(MultiClipboardServiceTest, TheUsersClipboardComesBackOnlyAfterTheTargetFetchedThePaste)
{
    MultiRig rig;
    rig.userCopies("user");
    rig.copyInto(1, "board one");
    ASSERT_EQ(rig.text(), "user");

    rig.multi->pasteLastFromClipboard(1, false);
    rig.rig.generalBoard().fetchByTarget();  // a clipboard manager copies the new content at once
    rig.advance(1500);
    EXPECT_EQ(rig.text(), "board one");  // a slow target has not pasted yet
    EXPECT_EQ(rig.targetFetches(), "board one");
    rig.advance(200);
    EXPECT_EQ(rig.text(), "board one");  // within the grace
    rig.advance(100);
    EXPECT_EQ(rig.text(), "user");
    EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());

    // Nothing fetches: back after the time-out.
    rig.multi->pasteLastFromClipboard(1, false);
    rig.advance(1900);
    EXPECT_EQ(rig.text(), "board one");
    rig.advance(500);
    EXPECT_EQ(rig.text(), "user");
    EXPECT_TRUE(rig.logs(LogLevel::warning,
                         "No application fetched the pasted content within 2 s: the clipboard is put back anyway"));
    EXPECT_EQ(rig.pastedTexts, (std::vector<std::string>{"board one", "board one"}));
    EXPECT_EQ(rig.history(0), std::vector<std::string>{"user"});
    EXPECT_EQ(rig.rig.service->passNewClipCreatedCount(), 0);
}

// A paste made while Caps is held: the user's clipboard waits to come back until Caps goes up, and whatever
// happens meanwhile it comes back exactly once, making no clip.
TEST(MultiClipboardServiceTest, APasteWhileCapsIsHeldPutsTheUsersClipboardBackOnce)
{
    const struct {
        const char* name;
        // Runs with the board's text on the clipboard and the restore pending.
        std::function<void(MultiRig&)> whilePending;
        // The restore was done before Caps went up: the release then writes nothing.
        bool restoredBeforeCapsUp;
        std::vector<std::string> posted;
    } cases[] = {
        {"stopping the program puts it back at once",
         [](MultiRig& rig) {
             rig.multi->finishPendingRestore();
             EXPECT_EQ(rig.text(), "user");
             EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());
         },
         true,
         {"paste"}},
        {"a second paste only posts the stroke, and the restore waits for its fetch too",
         [](MultiRig& rig) {
             EXPECT_EQ(rig.targetFetches(), "board two");
             rig.advance(1000);
             rig.multi->pasteLastFromClipboard(2, false);
             rig.releaseCaps();
             rig.advance(1000);
             EXPECT_EQ(rig.text(), "board two");
             EXPECT_EQ(rig.targetFetches(), "board two");
             rig.advance(300);
             EXPECT_EQ(rig.text(), "user");
         },
         false,
         {"paste", "paste"}},
        {"a repeated paste writes the clipboard again only when the plain-text flag changes",
         [](MultiRig& rig) {
             const auto written = rig.rig.general().changeCount();
             rig.multi->pasteLastFromClipboard(2, false);
             rig.advance(100);
             EXPECT_EQ(rig.rig.general().changeCount(), written);
             rig.multi->pasteLastFromClipboard(2, true);
             rig.advance(100);
             EXPECT_GT(rig.rig.general().changeCount(), written);
         },
         false,
         {"paste", "paste", "paste"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MultiRig rig;
        rig.userCopies("user");
        rig.copyInto(2, "board two");
        rig.posted.clear();
        rig.capsDown = true;
        rig.multi->pasteLastFromClipboard(2, false);
        rig.advance(100);
        EXPECT_EQ(rig.text(), "board two");
        EXPECT_TRUE(rig.multi->willRestoreSystemClipboard());
        c.whilePending(rig);

        const auto written = rig.rig.general().changeCount();
        rig.releaseCaps();
        rig.settle();
        if (c.restoredBeforeCapsUp) {
            EXPECT_EQ(rig.rig.general().changeCount(), written);
        }
        EXPECT_EQ(rig.text(), "user");
        EXPECT_FALSE(rig.multi->willRestoreSystemClipboard());
        EXPECT_EQ(rig.posted, c.posted);
        EXPECT_EQ(rig.pastedTexts, std::vector<std::string>(c.posted.size(), "board two"));
        EXPECT_EQ(rig.history(0), std::vector<std::string>{"user"});
        EXPECT_EQ(rig.rig.service->passNewClipCreatedCount(), 0);
    }
}

// A restore the desktop clipboard refuses (another application took it a moment before) is tried again, still
// pending (the late copy makes no clip); after the last try it ends as any other; a paste meanwhile takes it over.
TEST(MultiClipboardServiceTest, ARefusedRestoreIsTriedAgainAndEndsAsAnyOtherAfterTheLastTry)
{
    const struct {
        int refusals;
        std::function<void(MultiRig&)> whileTryIsDue;
        std::vector<std::string> pastedTexts;  // the last one: the paste key held back meanwhile
    } cases[] = {
        {1,
         [](MultiRig& rig) {
             rig.rig.copyText("late answer");
             rig.rig.service->isOverload.accept(true);  // seen at once, as the X server reports it
         },
         {"board one", "user"}},
        {MultiClipboardService::kRestoreAttempts, [](MultiRig&) {}, {"board one", "board one"}},
        {1,
         [](MultiRig& rig) {
             rig.multi->pasteLastFromClipboard(2, false);
             rig.advance(150);
             EXPECT_EQ(rig.targetFetches(), "board two");
         },
         {"board one", "board two", "user"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusals);
        MultiRig rig;
        rig.userCopies("user");
        rig.copyInto(1, "board one");
        rig.copyInto(2, "board two");
        rig.logged->clear();
        rig.multi->pasteLastFromClipboard(1, false);
        rig.rig.generalBoard().refuseWrites(c.refusals);
        rig.pressPasteKey();
        const std::string retry =
            "The desktop clipboard refused the user's content: the restore is tried again in 100 ms";
        for (int i = 0; i < 500 && !rig.logs(LogLevel::warning, retry); ++i) rig.advance(10);
        c.whileTryIsDue(rig);
        rig.settle();
        EXPECT_EQ(rig.pastedTexts, c.pastedTexts);
        const bool refused = c.refusals == MultiClipboardService::kRestoreAttempts;
        EXPECT_NE(rig.logs(LogLevel::info, "restore done"), refused);
        EXPECT_EQ(rig.logs(LogLevel::error,
                           "The user's clipboard content could not be put back: the desktop "
                           "clipboard refused it 3 times"),
                  refused);
        rig.userCopies("later");
        rig.settle();
        EXPECT_EQ(rig.history(0), (std::vector<std::string>{"user", "later"}));
    }
}

// In a terminal without clipboard keys (xterm) no copy stroke goes out: the copy is its PRIMARY selection, and
// the paste goes through PRIMARY (Shift+Insert), the user's PRIMARY and clipboard put back after the fetch.
TEST(MultiClipboardServiceTest, ATerminalWithoutClipboardKeysCopiesAndPastesThroughPrimary)
{
    MultiRig rig;
    rig.userCopies("user");
    auto& primary = *rig.rig.pasteboards->selection();
    primary.clearContents();
    primary.writeObjects({textItem("selected in the terminal")});
    rig.terminal = TerminalClipboardKeys::selection;

    rig.multi->copyToClipboard(1, false);
    rig.settle();
    EXPECT_TRUE(rig.posted.empty());
    EXPECT_EQ(rig.history(1), std::vector<std::string>{"selected in the terminal"});
    EXPECT_EQ(rig.history(0), std::vector<std::string>{"user"});
    EXPECT_EQ(rig.text(), "user");

    primary.clearContents();
    primary.writeObjects({textItem("the user's selection")});
    rig.multi->pasteLastFromClipboard(1, false);
    rig.advance(300);
    EXPECT_EQ(rig.targetFetches(), "selected in the terminal");
    rig.advance(300);
    EXPECT_EQ(rig.posted, std::vector<std::string>{"paste"});
    EXPECT_EQ(rig.pastedTexts, std::vector<std::string>{"selected in the terminal"});
    EXPECT_EQ(rig.primary(), "the user's selection");
    EXPECT_EQ(rig.text(), "user");
    EXPECT_EQ(rig.history(0), std::vector<std::string>{"user"});
}

// The same image copied three times is one clip with one thumbnail and one payload; a cleaning pass then
// removes only files no clip names (here a thumbnail left by a crash).
TEST(MultiClipboardServiceTest, RepeatedCopiesOfOneImageLeaveOneThumbnailAfterACleaningPass)
{
    MultiRig rig;
    const QByteArray png = SimThumbnailMaker::image(300, 100);
    PasteboardItem picture;
    picture.setData(PasteboardTypes::png, PasteboardData(png.begin(), png.end()));
    for (int i = 0; i < 3; ++i) {
        rig.rig.own({picture});
        rig.advance(250);
        rig.settle();
    }
    ASSERT_EQ(rig.multi->clipHistory(0).size(), 1u);
    rig.rig.images->setObject(png, "LEFT-BY-A-CRASH");

    auto files = [](const std::filesystem::path& folder) {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) n += entry.is_regular_file();
        return n;
    };
    DataCleanService::Options clean;
    clean.scheduler = rig.rig.clock;
    clean.clipboards = [&] { return rig.multi->clipboardTable(); };
    clean.clipFolder = rig.rig.clipFolder();
    clean.imageCache = rig.rig.images;
    clean.fileNow = [] { return std::filesystem::file_time_type::clock::now() + std::chrono::minutes(2); };
    DataCleanService::make(clean)->cleanDatas();
    rig.settle();
    EXPECT_EQ(files(rig.rig.images->folder()), 1u);
    EXPECT_EQ(files(rig.rig.clipFolder()), 1u);
    EXPECT_TRUE(rig.rig.images->object(rig.multi->clipHistory(0).back().thumbnailPath));
}

}  // namespace
}  // namespace vandrel::test
