// Stored clips and clipboards: round trips, history order, deletion, trimming on the database queue, and
// a file of schema version 0.
#include <SQLiteCpp/Statement.h>
#include <gtest/gtest.h>

#include <random>

#include "clip/realm_migration_handlers.h"
#include "clip/vd_clip.h"
#include "clip/vd_clipboard.h"
#include "core/dispatch_queues.h"
#include "storage/realm_sql.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

VDClip makeClip(const std::string& key, std::int64_t time)
{
    return {"/cache/clip/" + key + ".data", "text of " + key, "hash" + key, key, "public.utf8-plain-text", time,
            std::to_string(time),           "colorCode"};
}

std::vector<std::string> keys(const std::vector<VDClip>& clips)
{
    std::vector<std::string> out;
    for (const auto& c : clips) out.push_back(c.savedHash);
    return out;
}

class ClipStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("vandrel-clips-" + std::to_string(std::random_device()()));
        fs::create_directories(folder_);
        RealmMigrationHandlers::registerWithRealm();
        Realm::setCustomConfig(folder_);
        Realm::forgetOpenedFiles();
    }
    void TearDown() override
    {
        DispatchQueues::realm()->sync([] {});
        realm_.reset();
        Realm::forgetOpenedFiles();
        fs::remove_all(folder_);
    }
    Realm& realm()
    {
        if (!realm_) {
            auto opened = Realm::open();
            if (!opened) throw std::runtime_error(opened.error().what());
            realm_ = *opened;
        }
        return *realm_;
    }

    fs::path folder_;
    std::shared_ptr<Realm> realm_;
};

TEST_F(ClipStoreTest, ClipRoundTripsAndUpdateReplacesEveryProperty)
{
    VDClip clip = makeClip("123", 1700000000);
    clip.stringData = std::string(100000, 'a') + "'\"";
    clip.stringData[10] = '\0';
    realm().write([&] { VDClip::add(realm(), clip); });
    EXPECT_EQ(VDClip::object(realm(), "123"), clip);
    EXPECT_EQ(VDClip::object(realm(), "nope"), std::nullopt);

    VDClip changed = makeClip("123", 5);
    changed.typeForVD = "";
    realm().write([&] { VDClip::add(realm(), changed); });
    EXPECT_EQ(VDClip::objects(realm()), std::vector<VDClip>{changed});
    EXPECT_THROW(realm().write([&] { VDClip::add(realm(), clip, RealmUpdatePolicy::error); }), std::exception);
    EXPECT_EQ(VDClip::object(realm(), "123"), changed);
}

TEST_F(ClipStoreTest, HistoryKeepsAppendOrderAndLosesDeletedClips)
{
    const VDClipboard board{1, 3};
    const VDClipboard other{2, 3};
    realm().write([&] {
        VDClipboard::add(realm(), board, RealmUpdatePolicy::error);
        VDClipboard::add(realm(), other);
        board.appendToHistory(realm(), makeClip("c1", 30));
        board.appendToHistory(realm(), makeClip("c2", 10));  // append order, not time order
        board.appendToHistory(realm(), makeClip("c3", 20));
        other.appendToHistory(realm(), makeClip("c3", 20));
    });
    EXPECT_EQ(keys(board.clipHistory(realm())), (std::vector<std::string>{"c1", "c2", "c3"}));
    EXPECT_EQ(board.lastClip(realm())->savedHash, "c3");
    EXPECT_EQ(VDClipboard::objects(realm()), (std::vector<VDClipboard>{board, other}));

    realm().write([&] {
        EXPECT_TRUE(VDClip::remove(realm(), "c2"));
        EXPECT_FALSE(VDClip::remove(realm(), "c2"));
        VDClip::add(realm(), makeClip("c1", 99));  // re-stored in place
        board.appendToHistory(realm(), makeClip("c4", 40));
        VDClipboard::add(realm(), VDClipboard{1, 7});  // the board's size only; its history stays
    });
    const auto history = board.clipHistory(realm());
    EXPECT_EQ(keys(history), (std::vector<std::string>{"c1", "c3", "c4"}));
    EXPECT_EQ(history[0].updateTime, 99);
    EXPECT_EQ(VDClipboard::object(realm(), 1)->maxHistorySize, 7);
    EXPECT_EQ(keys(other.clipHistory(realm())), std::vector<std::string>{"c3"});

    // A board that is not stored takes no clips.
    EXPECT_EQ(VDClipboard({9, 3}).lastClip(realm()), std::nullopt);
    EXPECT_THROW(realm().write([&] { VDClipboard{9, 3}.appendToHistory(realm(), makeClip("c9", 1)); }), std::exception);
    EXPECT_EQ(VDClip::object(realm(), "c9"), std::nullopt);
}

// Trimming as the cleaner does it: a query result of clips deleted on the database queue.
TEST_F(ClipStoreTest, WriteAsyncDeletesTheClipsOfAResultThatStillExist)
{
    const VDClipboard board{0, 3};
    realm().write([&] {
        VDClipboard::add(realm(), board);
        for (int i = 1; i <= 4; ++i) board.appendToHistory(realm(), makeClip("k" + std::to_string(i), i));
    });
    const std::vector<VDClip> overflowing = {*VDClip::object(realm(), "k1"), *VDClip::object(realm(), "k2")};
    realm().write([&] { VDClip::remove(realm(), "k2"); });
    std::size_t resolved = 99;
    realm().writeAsync(overflowing, [&](Realm& r, std::vector<VDClip>& clips) {
        resolved = clips.size();
        for (const auto& c : clips) VDClip::remove(r, c.savedHash);
    });
    DispatchQueues::realm()->sync([] {});
    EXPECT_EQ(resolved, 1u);
    EXPECT_EQ(keys(board.clipHistory(realm())), (std::vector<std::string>{"k3", "k4"}));
}

// A file of the version that keyed clips by their content hash and flagged colour codes.
TEST_F(ClipStoreTest, Version0FileOpensWithSavedHashAndTypeForVD)
{
    {
        SQLite::Database db(folder_ / "default.realm", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(R"(
            CREATE TABLE "VDClip" ("dataHash" TEXT NOT NULL PRIMARY KEY, "dataPath" TEXT NOT NULL,
                "stringData" TEXT NOT NULL, "primaryType" TEXT NOT NULL, "updateTime" INTEGER NOT NULL,
                "thumbnailPath" TEXT NOT NULL, "isColorCode" INTEGER NOT NULL);
            CREATE TABLE "VDClipboard" ("id" INTEGER NOT NULL PRIMARY KEY, "maxHistorySize" INTEGER NOT NULL);
            CREATE TABLE "VDClipboard_clipHistory" ("clipboard" INTEGER NOT NULL, "position" INTEGER NOT NULL,
                "clip" TEXT NOT NULL, PRIMARY KEY ("clipboard", "position"));
            INSERT INTO "VDClip" VALUES
                ('-4411', '/c/A.data', 'hello', 'public.utf8-plain-text', 1600000000, '', 0),
                ('9001', '/c/B.data', '#ff0000', 'public.utf8-plain-text', 1600000005, '1600000005', 1);
            INSERT INTO "VDClipboard" VALUES (0, 3), (1, 3);
            INSERT INTO "VDClipboard_clipHistory" VALUES (0, 0, '9001'), (0, 1, '-4411'), (1, 0, '9001');)");
    }
    EXPECT_EQ(realm_sql::integerPragma(realm().database(), "user_version"), 1);
    EXPECT_EQ(
        VDClip::objects(realm()),
        (std::vector<VDClip>{{"/c/A.data", "hello", "-4411", "-4411", "public.utf8-plain-text", 1600000000, "", ""},
                             {"/c/B.data", "#ff0000", "9001", "9001", "public.utf8-plain-text", 1600000005,
                              "1600000005", "colorCode"}}));
    EXPECT_EQ(keys(VDClipboard{0, 3}.clipHistory(realm())), (std::vector<std::string>{"9001", "-4411"}));
    EXPECT_EQ(keys(VDClipboard{1, 3}.clipHistory(realm())), std::vector<std::string>{"9001"});

    // The histories follow the clips' new key: deleting a clip still takes it out of them.
    realm().write([&] { VDClip::remove(realm(), "9001"); });
    EXPECT_EQ(keys(VDClipboard{0, 3}.clipHistory(realm())), std::vector<std::string>{"-4411"});
    EXPECT_TRUE((VDClipboard{1, 3}.clipHistory(realm()).empty()));
}

}  // namespace
}  // namespace vandrel
