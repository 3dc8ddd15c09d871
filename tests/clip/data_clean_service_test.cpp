// The clip cleaner on a private store with virtual time: which clips a history sheds, rows shared between
// boards, and which files of the clip folder go.
#include "clip/data_clean_service.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "clip/clip_rig.h"
#include "core/log_capture.h"

namespace vandrel::test {
namespace {

using Clock = fs::file_time_type::clock;

std::vector<std::int64_t> timesOf(const std::vector<VDClip>& clips)
{
    std::vector<std::int64_t> times;
    for (const auto& clip : clips) times.push_back(clip.updateTime);
    return times;
}

std::vector<VDClip> historyAt(std::initializer_list<std::int64_t> times)
{
    std::vector<VDClip> history;
    for (const auto t : times) {
        VDClip clip;
        clip.savedHash = "clip" + std::to_string(history.size());
        clip.updateTime = t;
        history.push_back(clip);
    }
    return history;
}

TEST(DataCleanServiceTest, KeepsTheNewestClipsAndEveryClipOfTheBoundarySecond)
{
    using D = DataCleanService;
    EXPECT_EQ(timesOf(D::overflowingClips(historyAt({10, 20, 20, 30}), 3)), std::vector<std::int64_t>{10});
    EXPECT_EQ(timesOf(D::overflowingClips(historyAt({10, 20, 20, 20}), 3)), std::vector<std::int64_t>{10});
    EXPECT_TRUE(D::overflowingClips(historyAt({20, 20, 20, 20}), 3).empty());
    EXPECT_TRUE(D::overflowingClips(historyAt({10, 20, 30}), 3).empty());
    // Out of order, as a history may be after clock changes.
    EXPECT_EQ(timesOf(D::overflowingClips(historyAt({30, 10, 25, 5}), 2)), (std::vector<std::int64_t>{10, 5}));
    // A size below one keeps the newest clip.
    EXPECT_EQ(timesOf(D::overflowingClips(historyAt({10, 20}), 0)), std::vector<std::int64_t>{10});
    EXPECT_EQ(timesOf(D::overflowingClips(historyAt({10, 20}), -4)), std::vector<std::int64_t>{10});
}

struct CleanRig {
    ClipRig rig{false};
    fs::file_time_type fileNow = Clock::now();
    std::shared_ptr<DataCleanService> cleaner;
    std::vector<VDClipboard> boards{{0, 3}, {1, 3}, {2, 3}};
    ScopedLogCapture logged;

    CleanRig()
    {
        DataCleanService::Options o;
        o.scheduler = rig.clock;
        o.clipboards = [this] { return boards; };
        o.clipFolder = rig.clipFolder();
        o.imageCache = rig.images;
        o.fileNow = [this] { return fileNow; };
        cleaner = DataCleanService::make(o);
        Realm& r = rig.realm();
        r.write([&] {
            for (const auto& b : boards) VDClipboard::add(r, b);
        });
    }

    // A clip with a payload file, written long ago.
    VDClip clip(const std::string& key, std::int64_t time)
    {
        VDClip c;
        c.savedHash = key;
        c.updateTime = time;
        c.dataPath = (rig.clipFolder() / (upperUuid() + ".data")).string();
        c.thumbnailPath = key;
        writeFile(c.dataPath, std::chrono::hours(1));
        return c;
    }

    void append(std::int64_t board, const VDClip& c)
    {
        Realm& r = rig.realm();
        r.write([&] { VDClipboard{board, 3}.appendToHistory(r, c); });
    }

    void writeFile(const fs::path& path, Clock::duration age)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "payload";
        fs::last_write_time(path, fileNow - age);
    }

    static std::string upperUuid()
    {
        static int n = 0;
        char text[40];
        std::snprintf(text, sizeof text, "0000%04X-1111-2222-3333-44445555AAAA", ++n);
        return text;
    }

    std::vector<std::string> keys(std::int64_t board)
    {
        std::vector<std::string> out;
        for (const auto& c : VDClipboard{board, 3}.clipHistory(rig.realm())) out.push_back(c.savedHash);
        return out;
    }
};

TEST(DataCleanServiceTest, TrimsEachBoardAndDeletesARowOnlyWhenNoBoardHoldsIt)
{
    CleanRig c;
    const auto shared = c.clip("shared", 10);
    c.append(1, shared);
    for (int i = 0; i < 3; ++i) c.append(1, c.clip("one" + std::to_string(i), 20 + i));
    c.append(2, shared);  // with overwriting on, the same row is in board 2 too
    const auto gone = c.clip("old", 5);
    c.append(0, gone);
    for (int i = 0; i < 3; ++i) c.append(0, c.clip("sys" + std::to_string(i), 20 + i));

    c.cleaner->cleanDatas();
    c.rig.advance(1);
    EXPECT_EQ(c.keys(1), (std::vector<std::string>{"one0", "one1", "one2"}));
    EXPECT_EQ(c.keys(2), std::vector<std::string>{"shared"});
    EXPECT_TRUE(VDClip::object(c.rig.realm(), "shared"));
    EXPECT_TRUE(fs::exists(shared.dataPath));
    EXPECT_EQ(c.keys(0), (std::vector<std::string>{"sys0", "sys1", "sys2"}));
    EXPECT_FALSE(VDClip::object(c.rig.realm(), "old"));
    EXPECT_FALSE(fs::exists(gone.dataPath));
}

// A row's payload path is data: a trimmed clip naming a file outside the clip folder, or a link in it that
// points out, leaves that file in place.
TEST(DataCleanServiceTest, ATrimmedClipNamingAFileOutsideTheFolderLeavesIt)
{
    CleanRig c;
    const fs::path outside = c.rig.folder / "elsewhere" / (CleanRig::upperUuid() + ".data");
    c.writeFile(outside, std::chrono::hours(1));
    const fs::path link = c.rig.clipFolder() / (CleanRig::upperUuid() + ".data");
    fs::create_directories(link.parent_path());
    fs::create_symlink(outside, link);
    auto hostile = c.clip("hostile", 1);
    hostile.dataPath = outside.string();
    auto linked = c.clip("linked", 2);
    fs::remove(linked.dataPath);
    linked.dataPath = link.string();
    c.append(0, hostile);
    c.append(0, linked);
    for (int i = 0; i < 3; ++i) c.append(0, c.clip("new" + std::to_string(i), 20 + i));

    c.cleaner->cleanDatas();
    c.rig.advance(1);
    EXPECT_EQ(c.keys(0), (std::vector<std::string>{"new0", "new1", "new2"}));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
}

TEST(DataCleanServiceTest, DeletesOnlyOldStrayPayloadFiles)
{
    CleanRig c;
    const auto live = c.clip("live", 10);
    c.append(0, live);
    const fs::path folder = c.rig.clipFolder();
    const fs::path stray = folder / (CleanRig::upperUuid() + ".data");
    const fs::path young = folder / (CleanRig::upperUuid() + ".data");
    const fs::path lower = folder / "0000abcd-1111-2222-3333-44445555aaaa.data";
    const fs::path foreign = folder / "notes.txt";
    const fs::path nearMiss = folder / (CleanRig::upperUuid() + ".data.bak");
    const fs::path subfolder = folder / (CleanRig::upperUuid() + ".data");
    // Temporary files of payloads being written, left by a kill, and a name that is none.
    const fs::path temporary = folder / (CleanRig::upperUuid() + ".data.a1B2c3");
    const fs::path youngTemporary = folder / (CleanRig::upperUuid() + ".data.Zz9yY8");
    const fs::path notTemporary = folder / (CleanRig::upperUuid() + ".data.a1B2c3d");
    c.writeFile(temporary, std::chrono::minutes(5));
    c.writeFile(youngTemporary, std::chrono::seconds(30));
    c.writeFile(notTemporary, std::chrono::hours(5));
    c.writeFile(stray, std::chrono::minutes(5));
    c.writeFile(young, std::chrono::seconds(30));
    c.writeFile(lower, std::chrono::minutes(5));
    c.writeFile(foreign, std::chrono::hours(5));
    c.writeFile(nearMiss, std::chrono::hours(5));
    fs::create_directories(subfolder / "inside");

    // Temporary files go at start already, the rest with the first pass.
    c.cleaner->startMonitoring();
    c.rig.advance(1);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(fs::exists(stray));
    c.cleaner->cleanDatas();
    c.rig.advance(1);
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_FALSE(fs::exists(lower));
    EXPECT_TRUE(fs::exists(young));
    EXPECT_TRUE(fs::exists(live.dataPath));
    EXPECT_TRUE(fs::exists(foreign));
    EXPECT_TRUE(fs::exists(nearMiss));
    EXPECT_TRUE(fs::exists(subfolder / "inside"));
    EXPECT_TRUE(fs::exists(youngTemporary));
    EXPECT_TRUE(fs::exists(notTemporary));

    c.fileNow += std::chrono::minutes(1);
    c.cleaner->cleanDatas();
    c.rig.advance(1);
    EXPECT_FALSE(fs::exists(young));
    EXPECT_FALSE(fs::exists(youngTemporary));
}

// A database set aside as unusable can be brought back whole while it exists: the payloads it names stay, and
// while one cannot be read no payload goes at all.
TEST(DataCleanServiceTest, PayloadsADatabaseSetAsideNamesStayAndAnUnreadableOneKeepsThemAll)
{
    CleanRig c;
    const auto payload = [&] {
        const fs::path path = c.rig.clipFolder() / (CleanRig::upperUuid() + ".data");
        c.writeFile(path, std::chrono::minutes(5));
        return path;
    };
    const auto pass = [&] {
        c.cleaner->cleanDatas();
        c.rig.advance(1);
    };
    const fs::path named = payload();
    const fs::path copy = c.rig.folder / "default.realm.corrupt-20240102-030405";
    SQLite::Database(copy, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
        .exec(R"(CREATE TABLE "VDClip" ("dataPath" TEXT); INSERT INTO "VDClip" VALUES ('/old/)" +
              named.filename().string() + "')");
    fs::path orphan = payload();
    pass();
    EXPECT_TRUE(fs::exists(named));
    EXPECT_FALSE(fs::exists(orphan));

    const fs::path unreadable = copy.string() + "-1";
    std::ofstream(unreadable) << "not a database";
    orphan = payload();
    pass();
    EXPECT_TRUE(fs::exists(orphan));

    fs::remove(copy);
    fs::remove(unreadable);
    pass();
    EXPECT_FALSE(fs::exists(named));
    EXPECT_FALSE(fs::exists(orphan));
}

TEST(DataCleanServiceTest, PassesComeEveryHalfHourAndCopeWithAMissingFolder)
{
    CleanRig c;
    ASSERT_FALSE(fs::exists(c.rig.clipFolder()));
    auto passes = [&] {
        int n = 0;
        for (const auto& e : c.logged->entries())
            if (e.message == "clip datas was cleaned") ++n;
        return n;
    };
    c.cleaner->startMonitoring();
    c.rig.advance(1799 * 1000);
    EXPECT_EQ(passes(), 0);
    c.rig.advance(1000);
    EXPECT_EQ(passes(), 1);
    // Starting again counts from zero.
    c.rig.advance(1000 * 1000);
    c.cleaner->startMonitoring();
    c.rig.advance(1000 * 1000);
    EXPECT_EQ(passes(), 1);
    c.rig.advance(800 * 1000);
    EXPECT_EQ(passes(), 2);
}

}  // namespace
}  // namespace vandrel::test
