// The capture service on the simulated desktop with virtual time: what makes a clip, what does not, and
// what the clip holds.
#include "clip/clip_service.h"

#include <gtest/gtest.h>

#include <fstream>

#include "clip/clip_rig.h"
#include "clip/clip_utils.h"
#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "platform/sim/sim_thumbnail_maker.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using test::ClipRig;
using test::modeOf;
using test::textItem;

PasteboardData pngOf(int width, int height)
{
    const QByteArray bytes = SimThumbnailMaker::image(width, height);
    return PasteboardData(bytes.begin(), bytes.end());
}

TEST(ClipServiceTest, FirstPollCapturesWhatThePasteboardHoldsAndKeepsItPrivate)
{
    ClipRig rig(false);
    rig.copyText("before launch");
    rig.service->startMonitoring();
    rig.advance(249);
    EXPECT_TRUE(rig.clips.empty());
    rig.advance(1);
    ASSERT_EQ(rig.texts(), std::vector<std::string>{"before launch"});

    const VDClip& clip = rig.clips[0].first;
    EXPECT_EQ(clip.primaryType, PasteboardTypes::string);
    EXPECT_EQ(clip.updateTime, rig.now);
    EXPECT_EQ(clip.dataHash, std::to_string(rig.service->clipData(clip)->hash()));
    EXPECT_EQ(rig.clips[0].second, (VDClipboard{0, 3}));
    // A random key is a UUID, and the payload file is named by another.
    EXPECT_EQ(clip.savedHash.size(), 36u);
    EXPECT_NE(clip.dataPath.find(rig.clipFolder().string()), std::string::npos);
    EXPECT_EQ(fs::path(clip.dataPath).extension(), ".data");
    EXPECT_EQ(modeOf(clip.dataPath), 0600u);
    EXPECT_EQ(modeOf(rig.clipFolder()), 0700u);
    EXPECT_EQ(modeOf(rig.folder / Realm::kFileName), 0600u);
}

TEST(ClipServiceTest, TwoChangesInOneTickMakeOneClipOfTheLatest)
{
    ClipRig rig;
    rig.advance(500);
    rig.copyText("first");
    rig.copyAndPoll("second");
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"second"});
    rig.advance(1000);
    EXPECT_EQ(rig.clips.size(), 1u);
}

TEST(ClipServiceTest, ABorrowedChangeMakesNoClipNowOrLater)
{
    ClipRig rig;
    rig.advance(500);
    std::function<void()> done;
    rig.service->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> completion) {
        done = std::move(completion);
        rig.copyText("our own write");
    });
    EXPECT_EQ(rig.service->passNewClipCreatedCount(), 1);
    rig.advance(250);
    EXPECT_TRUE(rig.clips.empty());
    rig.copyText("written later in the borrow");
    done();
    done();  // a second call ends nothing more
    EXPECT_EQ(rig.service->passNewClipCreatedCount(), 0);
    EXPECT_EQ(rig.service->cachedChangeCount.value(), rig.general().changeCount());
    rig.advance(1000);
    EXPECT_TRUE(rig.clips.empty());

    rig.service->endBorrowing();  // unmatched: the count stays at zero
    EXPECT_EQ(rig.service->passNewClipCreatedCount(), 0);
    rig.copyAndPoll("the user's");
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"the user's"});
}

TEST(ClipServiceTest, OverloadSeesAChangeWithinMillisecondsAndEndsAfterHalfASecond)
{
    ClipRig rig;
    rig.advance(500);
    rig.service->isOverload.accept(true);
    rig.advance(10);
    rig.copyText("fast");
    rig.advance(3);
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"fast"});

    // Nobody calls stopOverload: 500 ms after the true value the poll is back to 250 ms.
    rig.advance(600 - 13);  // t = 1100 ms, the last normal tick was at 1000 ms
    rig.copyText("slow");
    rig.advance(100);
    EXPECT_EQ(rig.clips.size(), 1u);
    rig.advance(100);  // the tick at 1250 ms
    EXPECT_EQ(rig.clips.size(), 2u);

    // stopOverload ends a window early.
    rig.service->isOverload.accept(true);
    rig.service->stopOverload();
    rig.advance(10);
    rig.copyText("after stop");
    rig.advance(10);
    EXPECT_EQ(rig.clips.size(), 2u);
}

TEST(ClipServiceTest, AnEmptyStringAloneMakesNoClipButWithRichTextItDoes)
{
    ClipRig rig;
    rig.advance(500);
    rig.copyAndPoll("");
    EXPECT_TRUE(rig.clips.empty());

    PasteboardItem item = textItem("");
    item.setData(PasteboardTypes::rtf, {'{', '}'});
    rig.own({item});
    rig.advance(250);
    ASSERT_EQ(rig.clips.size(), 1u);
    EXPECT_EQ(rig.clips[0].first.primaryType, PasteboardTypes::string);
}

TEST(ClipServiceTest, SettingsDecideKeysAndDuplicates)
{
    {
        ClipRig rig;  // defaults: every copy is a clip of its own
        rig.advance(500);
        rig.copyAndPoll("same");
        rig.copyAndPoll("same");
        ASSERT_EQ(rig.clips.size(), 2u);
        EXPECT_NE(rig.clips[0].first.savedHash, rig.clips[1].first.savedHash);
        EXPECT_EQ(rig.clips[0].first.dataHash, rig.clips[1].first.dataHash);
    }
    {
        ClipRig rig;  // overwrite: the key is the content hash
        rig.settings->set(DefaultsKeys::clip_isOverwriteSameHistory, true);
        rig.advance(500);
        rig.copyAndPoll("same");
        rig.copyAndPoll("same");
        ASSERT_EQ(rig.clips.size(), 2u);
        EXPECT_EQ(rig.clips[0].first.savedHash, rig.clips[0].first.dataHash);
        EXPECT_EQ(rig.clips[0].first.savedHash, rig.clips[1].first.savedHash);
    }
    {
        ClipRig rig;  // overwrite without copies of the same: stored content is not captured again
        rig.settings->set(DefaultsKeys::clip_isOverwriteSameHistory, true);
        rig.settings->set(DefaultsKeys::clip_isCopySameHistory, false);
        rig.advance(500);
        rig.copyAndPoll("same");
        ASSERT_EQ(rig.clips.size(), 1u);
        rig.storeInHistory(rig.clips[0].first);
        rig.copyAndPoll("same");
        EXPECT_EQ(rig.clips.size(), 1u);
        rig.copyAndPoll("other");
        EXPECT_EQ(rig.clips.size(), 2u);
    }
}

TEST(ClipServiceTest, WhileAnotherConveyorIsActiveCopiesGoThereAndMakeNoClip)
{
    ClipRig rig;
    rig.advance(500);
    auto hotstring = ClipConveyor::make();
    std::vector<std::string> received;
    hotstring->pasteboardItemsConveyor.subscribe(
        [&](const ClipConveyor::ItemsDelivery& d) { received.push_back(*ClipUtils::getString(d.first)); });
    auto back = rig.service->switchConveyorTo(hotstring);
    ASSERT_TRUE(back);
    EXPECT_FALSE(rig.service->switchConveyorTo(ClipConveyor::make()));  // already switched

    rig.copyAndPoll("selected text");
    EXPECT_EQ(received, std::vector<std::string>{"selected text"});
    EXPECT_TRUE(rig.clips.empty());

    back();
    rig.copyAndPoll("a copy");
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"a copy"});
    EXPECT_EQ(received.size(), 1u);
}

TEST(ClipServiceTest, PasswordManagerContentIsNeverCaptured)
{
    ClipRig rig;
    rig.advance(500);
    PasteboardItem secret = textItem("hunter2");
    secret.setString(PasteboardTypes::concealed, "secret");
    rig.own({secret});
    rig.advance(250);
    EXPECT_TRUE(rig.clips.empty());
    // The copy itself still travels (to restore the user's clipboard later), but nothing reaches the disk.
    EXPECT_EQ(rig.copies.size(), 1u);
    EXPECT_FALSE(fs::exists(rig.clipFolder()) && !fs::is_empty(rig.clipFolder()));

    PasteboardItem hinted = textItem("not secret");
    hinted.setString(PasteboardTypes::concealed, "public");
    rig.own({hinted});
    rig.advance(250);
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"not secret"});
}

// Content over the size limit (a setting, 50 MB unless changed) is skipped with one log line and never read
// again, also when it is copied while the empty clipboard found at start is still read again.
TEST(ClipServiceTest, ContentOverTheSizeLimitIsNotKept)
{
    ClipRig rig;
    EXPECT_EQ(rig.service->itemLimitBytes(), 50 * 1024 * 1024);
    rig.settings->set(DefaultsKeys::clip_maxItemMegabytes, std::int64_t{1});
    test::ScopedLogCapture logged;
    rig.advance(260);
    rig.copyText(std::string(2 * 1024 * 1024, 'x'));
    rig.advance(490);
    EXPECT_TRUE(rig.clips.empty());
    EXPECT_TRUE(rig.copies.empty());  // skipped at the read, not retried
    EXPECT_FALSE(fs::exists(rig.clipFolder()) && !fs::is_empty(rig.clipFolder()));
    std::size_t said = 0;
    for (const auto& e : logged->entries())
        said += e.message == "The clipboard content is larger than the limit (clip_maxItemMegabytes): not kept ->";
    EXPECT_EQ(said, 1u);
    rig.copyAndPoll(std::string(1000, 'y'));
    EXPECT_EQ(rig.clips.size(), 1u);
}

TEST(ClipServiceTest, LongTextIsCutByCharactersInTheRowAndKeptWholeInThePayload)
{
    ClipRig rig;
    rig.advance(500);
    std::string text;
    for (int i = 0; i < ClipService::kStringDataLimit; ++i) text += "\xC3\xA9";  // é, two bytes
    text += "Z";
    rig.copyAndPoll(text);
    ASSERT_EQ(rig.clips.size(), 1u);
    const std::string& row = rig.clips[0].first.stringData;
    EXPECT_EQ(row.size(), 2u * ClipService::kStringDataLimit);
    EXPECT_EQ(row.back(), '\xA9');
    EXPECT_EQ(rig.service->clipData(rig.clips[0].first)->stringValue, text);
}

TEST(ClipServiceTest, OnlyKeptTypesMakeAClipAndTheyComeFromTheCopiedItems)
{
    ClipRig rig;
    rig.advance(500);
    PasteboardItem other;
    other.setData("application/x-private", {1, 2, 3});
    rig.own({other});
    rig.advance(250);
    EXPECT_TRUE(rig.clips.empty());

    PasteboardItem first = textItem("name");
    PasteboardItem second;
    second.setString(PasteboardTypes::html, "<b>name</b>");
    second.setData("application/x-private", {4});
    rig.own({first, second});
    rig.advance(250);
    ASSERT_EQ(rig.clips.size(), 1u);
    const auto data = rig.service->clipData(rig.clips[0].first);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->types, (std::vector<PasteboardType>{PasteboardTypes::string, PasteboardTypes::html}));
    // The items are kept whole, the private type too, so pasting gives back what was copied.
    EXPECT_EQ(data->pasteboardItemsArray(), (std::vector<PasteboardItem>{first, second}));
}

// A change seen while a slow read is in progress makes no second clip of the same copy (a new owner of the
// same content, as a clipboard manager taking over); content that really changed is read once, afterwards.
TEST(ClipServiceTest, ACopyDuringALongReadMakesOneClip)
{
    ClipRig rig;
    rig.advance(500);
    // Fast polling, so the next change is seen while the read still goes on.
    rig.service->isOverload.accept(true);
    rig.generalBoard().failNextReads(2);  // the owner is slow to hand over
    rig.copyText("first");
    rig.advance(10);
    rig.copyText("first");  // a new owner of the same content while the read goes on
    rig.advance(1000);
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"first"});

    rig.service->isOverload.accept(true);
    rig.generalBoard().failNextReads(2);
    rig.copyText("second");
    rig.advance(10);
    rig.copyText("third");
    rig.advance(1000);
    EXPECT_EQ(rig.texts(), (std::vector<std::string>{"first", "third"}));
}

TEST(ClipServiceTest, AnOwnerThatFailsToHandOverIsRetriedFiveTimes)
{
    ClipRig rig;
    rig.advance(500);
    rig.copyText("slow owner");
    rig.generalMemory().failNextReads(5);
    rig.advance(250);
    rig.advance(5 * 50);
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"slow owner"});

    rig.copyText("dead owner");
    rig.generalMemory().failNextReads(6);
    rig.advance(250 + 6 * 50);
    EXPECT_EQ(rig.clips.size(), 1u);
    // The change stays recorded: it is not tried again.
    rig.advance(1000);
    EXPECT_EQ(rig.clips.size(), 1u);

    // An owner whose transfer timed out is not asked again, and costs no error line.
    test::ScopedLogCapture logged;
    rig.copyText("stuck owner");
    rig.generalMemory().failNextReads(1, true);
    rig.advance(250 + 6 * 50);
    EXPECT_EQ(rig.clips.size(), 1u);
    EXPECT_EQ(logged->count(LogLevel::error), 0u);
}

TEST(ClipServiceTest, ADatabaseThatDoesNotOpenDropsTheCaptureOnly)
{
    ClipRig rig;
    rig.advance(500);
    auto configuration = Realm::defaultConfiguration();
    const auto kept = configuration;
    configuration.fileURL = rig.folder / "not-a-folder" / "default.realm";
    fs::create_directories(rig.folder);
    std::ofstream(rig.folder / "not-a-folder") << "a file where the folder should be";
    Realm::setDefaultConfiguration(configuration);
    rig.copyAndPoll("lost");
    EXPECT_TRUE(rig.clips.empty());

    Realm::setDefaultConfiguration(kept);
    rig.copyAndPoll("kept");
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"kept"});
}

TEST(ClipServiceTest, AClipFolderThatCannotBeMadeDropsTheCapture)
{
    ClipRig rig(false);
    fs::create_directories(rig.clipFolder().parent_path());
    std::ofstream(rig.clipFolder()) << "in the way";
    rig.service->startMonitoring();
    rig.copyAndPoll("nowhere to go");
    EXPECT_TRUE(rig.clips.empty());
}

TEST(ClipServiceTest, ImagesAndColourCodesGetTheirPictureUnderTheClipsKey)
{
    ClipRig rig;
    rig.advance(500);
    PasteboardItem picture;
    picture.setData(PasteboardTypes::png, pngOf(400, 200));
    rig.own({picture});
    rig.advance(250);
    rig.copyAndPoll("#1A2B3C");
    ASSERT_EQ(rig.clips.size(), 2u);

    const VDClip& image = rig.clips[0].first;
    EXPECT_EQ(image.primaryType, PasteboardTypes::png);
    EXPECT_EQ(image.thumbnailPath, image.savedHash);
    const auto thumbnail = rig.images->object(image.thumbnailPath);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(*thumbnail, "thumbnail 64x32");
    EXPECT_EQ(modeOf(rig.images->folder() / (image.savedHash + ".png")), 0600u);
    EXPECT_EQ(modeOf(rig.images->folder()), 0700u);

    const VDClip& colour = rig.clips[1].first;
    EXPECT_EQ(colour.typeForVD, "colorCode");
    const auto swatch = rig.images->object(colour.thumbnailPath);
    ASSERT_TRUE(swatch);
    EXPECT_EQ(*swatch, "swatch 20 #1A2B3C");

    rig.storeInHistory(image);
    rig.service->deleteWith(image);
    DispatchQueues::realm()->sync([] {});
    EXPECT_FALSE(rig.images->object(image.thumbnailPath));
    EXPECT_FALSE(VDClip::object(rig.realm(), image.savedHash));
}

// A pasteboard that tells of its changes is never polled: a change is captured at once, a burst makes one
// clip of the latest, a borrowed change makes none, and nothing is scheduled while the clipboard rests.
TEST(ClipServiceTest, APasteboardThatReportsChangesIsNeverPolled)
{
    ClipRig rig(false);
    rig.generalBoard().reportChanges(true);
    rig.copyText("there at start");
    rig.service->startMonitoring();
    rig.clock->runDue();
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"there at start"});
    EXPECT_EQ(rig.clock->pendingCount(), 0u);

    rig.copyText("one");
    rig.copyText("two");
    rig.clock->runDue();
    EXPECT_EQ(rig.texts(), (std::vector<std::string>{"there at start", "two"}));

    rig.service->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
        rig.copyText("the program's own");
        rig.clock->runDue();
        done();
    });
    rig.service->isOverload.accept(true);
    rig.advance(10000);
    EXPECT_EQ(rig.clips.size(), 2u);
    EXPECT_EQ(rig.clock->pendingCount(), 0u);
}
}  // namespace
}  // namespace vandrel
