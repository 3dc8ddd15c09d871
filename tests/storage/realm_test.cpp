// The object database: launch checks (compaction, unusable files, migration) and the three ways to write.
#include "storage/realm.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "core/dispatch_queues.h"
#include "core/file_helpers.h"
#include "core/log_capture.h"
#include "core/set_aside_files.h"
#include "storage/realm_sql.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<test::LogCapture::Entry>;

Lines find(const test::ScopedLogCapture& logs, std::string_view text, std::optional<LogLevel> level = {})
{
    Lines out;
    for (const auto& e : logs->entries()) {
        if (e.message.find(text) != std::string::npos && (!level || e.level == *level)) out.push_back(e);
    }
    return out;
}

// "Note" is a stored class of the test's own. Its version 0 shape was (name, body, flag).
constexpr const char* kNoteTable = R"(CREATE TABLE IF NOT EXISTS "Note" ("name" TEXT NOT NULL PRIMARY KEY,
    "body" TEXT NOT NULL DEFAULT '', "label" TEXT NOT NULL DEFAULT 'none', "size" INTEGER NOT NULL DEFAULT 7))";

struct Note {
    std::string name;
    std::string body;
    std::optional<Note> resolve(Realm& realm) const
    {
        auto q = realm.statement(R"(SELECT "body" FROM "Note" WHERE "name" = ?)");
        q->bind(1, name);
        if (!q->executeStep()) return std::nullopt;
        return Note{name, q->getColumn(0).getString()};
    }
};

void addNote(Realm& realm, const std::string& name, const std::string& body = "")
{
    realm.requireWriteTransaction();
    auto insert = realm.statement(R"(INSERT INTO "Note" ("name", "body") VALUES (?, ?))");
    insert->bind(1, name);
    insert->bind(2, body);
    insert->exec();
}

std::vector<std::string> notes(Realm& realm, const char* column = "name")
{
    auto q = realm.statement(std::string("SELECT \"") + column + "\" FROM \"Note\" ORDER BY rowid");
    std::vector<std::string> out;
    while (q->executeStep()) out.push_back(q->getColumn(0).getString());
    return out;
}

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void drainDatabaseQueue()
{
    DispatchQueues::realm()->sync([] {});
}

class RealmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("vandrel-realm-" + std::to_string(std::random_device()()));
        fs::create_directories(folder_);
        Realm::registerObjectSchema({"Note", {kNoteTable}});
        Realm::registerMigrationBlock([this](RealmMigration& migration, std::uint64_t oldVersion) {
            migrations_.push_back(oldVersion);
            if (failMigration_) throw std::runtime_error("cannot migrate");
            migration.enumerateObjects("Note", [](const RealmObject& oldObject, RealmObject& newObject) {
                newObject.set("label", std::string(oldObject.boolValue("flag") ? "yes" : "no"));
            });
        });
        Realm::setCustomConfig(folder_);
        Realm::forgetOpenedFiles();
    }
    void TearDown() override
    {
        drainDatabaseQueue();
        realm_.reset();
        Realm::forgetOpenedFiles();
        fs::remove_all(folder_);
    }

    fs::path file() const { return folder_ / "default.realm"; }
    Realm& realm()
    {
        if (!realm_) {
            auto opened = Realm::open();
            if (!opened) throw std::runtime_error(opened.error().what());
            realm_ = *opened;
        }
        return *realm_;
    }
    std::vector<fs::path> movedAside() const
    {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().filename().string().starts_with("default.realm.corrupt-")) out.push_back(entry.path());
        }
        return out;
    }
    void writeVersion0File()
    {
        SQLite::Database db(file(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(R"(CREATE TABLE "Note" ("name" TEXT PRIMARY KEY, "body" TEXT, "flag" INTEGER);
                   INSERT INTO "Note" VALUES ('a', 'first', 1), ('b', NULL, 0);
                   CREATE TABLE "Unrelated" ("x" INTEGER); INSERT INTO "Unrelated" VALUES (42);)");
    }

    fs::path folder_;
    std::shared_ptr<Realm> realm_;
    test::ScopedLogCapture capture_;
    std::vector<std::uint64_t> migrations_;
    bool failMigration_ = false;
};

TEST(RealmCompactionRule, CompactsOnlyFilesOver100MiBLessThanHalfUsed)
{
    constexpr std::uint64_t MiB = 1024 * 1024;
    test::ScopedLogCapture capture;
    EXPECT_TRUE(Realm::shouldCompactOnLaunch(200 * MiB, 60 * MiB));
    EXPECT_FALSE(Realm::shouldCompactOnLaunch(200 * MiB, 100 * MiB));  // exactly half
    EXPECT_TRUE(Realm::shouldCompactOnLaunch(200 * MiB, 100 * MiB - 1));
    EXPECT_FALSE(Realm::shouldCompactOnLaunch(100 * MiB, 0));  // exactly 100 MiB
    EXPECT_TRUE(Realm::shouldCompactOnLaunch(100 * MiB + 1, 0));
    EXPECT_FALSE(Realm::shouldCompactOnLaunch(0, 0));

    const auto lines = find(capture, "Realm should compact on lacunch -> [totalBytes, usedBytes]", LogLevel::warning);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].context, "[209715200, 62914560]");
}

TEST_F(RealmTest, FirstOpenOfALaunchChecksTheFileOnceAndEachThreadGetsItsOwnConnection)
{
    EXPECT_EQ(realm_sql::integerPragma(realm().database(), "user_version"), 1);
    EXPECT_EQ(notes(realm()).size(), 0u);
    EXPECT_TRUE(migrations_.empty()) << "a new file needs no migration";

    std::shared_ptr<Realm> other;
    std::string wrongThread;
    std::thread([&] {
        other = *Realm::open();
        try {
            realm().database();
        } catch (const RealmError& e) {
            wrongThread = e.what();
        }
    }).join();
    EXPECT_NE(other, realm_);
    EXPECT_EQ(*Realm::open(), realm_);
    EXPECT_NE(wrongThread.find("incorrect thread"), std::string::npos);
    EXPECT_EQ(find(capture_, "Realm should compact on lacunch").size(), 1u);

    other.reset();
    realm_.reset();
    Realm::forgetOpenedFiles();  // a new launch
    SQLite::Statement mode(realm().database(), "PRAGMA journal_mode");
    ASSERT_TRUE(mode.executeStep());
    EXPECT_EQ(mode.getColumn(0).getString(), "wal");
    EXPECT_EQ(find(capture_, "Realm should compact on lacunch").size(), 2u);
    EXPECT_TRUE(find(capture_, "", LogLevel::error).empty());
}

TEST_F(RealmTest, CompactionRuleSeesTheFileSizesAndItsAnswerDecides)
{
    realm().write([&] {
        for (int i = 0; i < 400; ++i) addNote(realm(), "n" + std::to_string(i), std::string(4000, 'x'));
    });
    realm().write([&] { realm().database().exec(R"(DELETE FROM "Note" WHERE "name" != 'n0')"); });
    realm_.reset();

    std::vector<std::pair<std::uint64_t, std::uint64_t>> asked;
    bool answer = false;
    auto config = Realm::defaultConfiguration();
    config.shouldCompactOnLaunch = [&](std::uint64_t total, std::uint64_t used) {
        asked.emplace_back(total, used);
        return answer;
    };
    auto pagesAtLaunch = [&] {
        Realm::forgetOpenedFiles();
        return realm_sql::integerPragma((*Realm::open(config))->database(), "page_count");
    };
    const auto before = pagesAtLaunch();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, static_cast<std::uint64_t>(before) * 4096);
    EXPECT_LT(asked[0].second * 4, asked[0].first) << "most pages are free after the delete";

    answer = true;
    EXPECT_LT(pagesAtLaunch() * 4, before);
    EXPECT_EQ(notes(**Realm::open(config)), std::vector<std::string>{"n0"});
}

// Each kind of unusable file is kept under another name, and the program goes on with a new one.
TEST_F(RealmTest, UnusableFilesAreMovedAsideAndReplacedByAFreshDatabase)
{
    auto realDatabase = [&](int version, int rows, std::uintmax_t truncateTo) {
        {
            SQLite::Database db(file(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec(kNoteTable);
            SQLite::Transaction transaction(db);
            for (int i = 0; i < rows; ++i) {
                db.exec("INSERT INTO \"Note\" (\"name\", \"body\") VALUES ('n" + std::to_string(i) + "', '" +
                        std::string(3000, 'y') + "')");
            }
            db.exec("PRAGMA user_version = " + std::to_string(version));
            transaction.commit();
        }
        if (truncateTo) fs::resize_file(file(), truncateTo);
    };
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"text", [&] { std::ofstream(file()) << "not a database, but a note the user left here\n"; }},
        {"random bytes",
         [&] {
             std::mt19937 random(7);
             std::ofstream out(file(), std::ios::binary);
             for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(random()));
         }},
        {"header only", [&] { realDatabase(1, 50, 60); }},
        {"truncated", [&] { realDatabase(1, 200, 300 * 1024); }},
        {"newer schema version", [&] { realDatabase(2, 3, 0); }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        realm_.reset();
        Realm::forgetOpenedFiles();
        for (const auto& entry : fs::directory_iterator(folder_)) fs::remove_all(entry.path());
        make();
        const std::string original = readAll(file());
        const std::size_t reported = find(capture_, "moved aside", LogLevel::error).size();

        EXPECT_EQ(realm_sql::integerPragma(realm().database(), "user_version"), 1);
        realm().transaction([&] { addNote(realm(), "new"); });
        EXPECT_EQ(notes(realm()), std::vector<std::string>{"new"}) << "the fresh database takes writes";
        const auto aside = movedAside();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_TRUE(readAll(aside[0]) == original) << "the old file is kept byte for byte";
        EXPECT_EQ(Realm::setAsideCopies(file()), aside);
        EXPECT_EQ(SetAsideFiles::reported().back().copy, aside[0]);
        EXPECT_EQ(SetAsideFiles::reported().back().kind, SetAsideFile::Kind::database);
        EXPECT_EQ(find(capture_, "moved aside", LogLevel::error).size(), reported + 1);
    }
}

TEST_F(RealmTest, OlderFileIsMigratedInPlaceKeepingEveryRow)
{
    writeVersion0File();
    EXPECT_EQ(realm_sql::integerPragma(realm().database(), "user_version"), 1);
    EXPECT_EQ(migrations_, std::vector<std::uint64_t>{0});
    EXPECT_EQ(notes(realm()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(notes(realm(), "body"), (std::vector<std::string>{"first", ""})) << "shared columns are copied";
    EXPECT_EQ(notes(realm(), "label"), (std::vector<std::string>{"yes", "no"})) << "set by the migration block";
    EXPECT_EQ(notes(realm(), "size"), (std::vector<std::string>{"7", "7"})) << "new columns take their defaults";
    EXPECT_EQ(SQLite::Statement(realm().database(), R"(SELECT * FROM "Note")").getColumnCount(), 4)
        << "columns of the old shape are gone";
    {
        SQLite::Statement unrelated(realm().database(), R"(SELECT "x" FROM "Unrelated")");
        ASSERT_TRUE(unrelated.executeStep());
        EXPECT_EQ(unrelated.getColumn(0).getInt(), 42) << "tables of no registered class are left alone";
    }
    EXPECT_TRUE(movedAside().empty());

    realm_.reset();
    Realm::forgetOpenedFiles();
    realm();
    EXPECT_EQ(migrations_.size(), 1u) << "a migrated file is current at the next launch";

    // A migration that fails is rolled back; the old file is kept as it was and a fresh one is made.
    realm_.reset();
    Realm::forgetOpenedFiles();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    writeVersion0File();
    const std::string original = readAll(file());
    failMigration_ = true;
    EXPECT_TRUE(notes(realm()).empty());
    ASSERT_EQ(movedAside().size(), 1u);
    EXPECT_TRUE(readAll(movedAside()[0]) == original);
    const auto errors = find(capture_, "moved aside", LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].context.find("cannot migrate"), std::string::npos);
}

TEST_F(RealmTest, InstanceTransactionCommitsOnTheCallingThreadAndLogsAFailure)
{
    realm().transaction([&] { addNote(realm(), "first"); });
    EXPECT_EQ(notes(realm()), std::vector<std::string>{"first"}) << "done when the call returns";

    realm().transaction([&] {
        addNote(realm(), "second");
        addNote(realm(), "first");  // duplicate primary key
    });
    EXPECT_EQ(notes(realm()), std::vector<std::string>{"first"}) << "the whole transaction rolled back";
    auto errors = find(capture_, "", LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].message.find("UNIQUE"), std::string::npos);

    realm().transaction([&] { realm().write([] {}); });  // nested
    EXPECT_EQ(find(capture_, "already in a write transaction", LogLevel::error).size(), 1u);
    EXPECT_THROW(addNote(realm(), "outside"), RealmError);
}

TEST_F(RealmTest, QueuedWritesRunOnTheDatabaseQueueInTheOrderQueued)
{
    realm().write([&] { addNote(realm(), "anchor"); });
    std::vector<std::string> order;
    std::thread::id ranOn;
    for (int i = 0; i < 20; ++i) {
        const std::string name = "n" + std::to_string(i);
        auto step = [&order, &ranOn, name](Realm& r) {
            addNote(r, name);
            order.push_back(name);
            ranOn = std::this_thread::get_id();
        };
        if (i % 2) {
            Realm::transaction(step);
        } else {
            realm().writeAsync(Note{"anchor", ""}, [step](Realm& r, Note&) { step(r); });
        }
    }
    drainDatabaseQueue();
    EXPECT_NE(ranOn, std::this_thread::get_id());
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], "n" + std::to_string(i));
    EXPECT_EQ(notes(realm()).size(), 21u) << "committed before the next job on the queue";
}

TEST_F(RealmTest, WriteAsyncSeesTheObjectAsStoredNowAndSkipsOneDeletedMeanwhile)
{
    realm().write([&] {
        addNote(realm(), "kept", "stored body");
        addNote(realm(), "doomed");
    });
    std::vector<std::string> seen;
    int failures = 0;
    std::mutex gate;  // holds the queue until the deletion is done
    gate.lock();
    DispatchQueues::realm()->async([&] { std::lock_guard wait(gate); });
    for (const char* name : {"kept", "doomed"}) {
        realm().writeAsync(
            Note{name, "stale copy"}, [&](const RealmError&) { ++failures; },
            [&](Realm&, Note& note) { seen.push_back(note.body); });
    }
    std::vector<std::string> listed;
    realm().writeAsync(std::vector<Note>{{"kept", ""}, {"doomed", ""}, {"never", ""}},
                       [&](Realm&, std::vector<Note>& all) {
                           for (const auto& n : all) listed.push_back(n.name);
                       });
    realm().write([&] { realm().database().exec(R"(DELETE FROM "Note" WHERE "name" = 'doomed')"); });
    gate.unlock();
    drainDatabaseQueue();

    EXPECT_EQ(seen, std::vector<std::string>{"stored body"});
    EXPECT_EQ(listed, std::vector<std::string>{"kept"}) << "a list resolves to the objects still stored";
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(find(capture_, "", LogLevel::error).empty());
}

TEST_F(RealmTest, QueuedFailuresAreUndoneAloneAndReportedOnce)
{
    realm().write([&] { addNote(realm(), "a"); });
    std::vector<std::string> failures;
    auto collect = [&](const RealmError& e) { failures.push_back(e.localizedDescription()); };
    // Held back so that all of them wait together and share one commit.
    std::mutex gate;
    gate.lock();
    DispatchQueues::realm()->async([&] { std::lock_guard wait(gate); });
    realm().writeAsync(Note{"a", ""}, collect, [](Realm& r, Note&) { addNote(r, "before"); });
    realm().writeAsync(Note{"a", ""}, collect, [](Realm& r, Note&) {
        addNote(r, "b");
        addNote(r, "a");  // duplicate key
    });
    Realm::transaction([](Realm& r) {
        addNote(r, "c");
        throw RealmError("a queued transaction failed");
    });
    realm().writeAsync(Note{"a", ""}, collect, [](Realm& r, Note&) { addNote(r, "after"); });
    gate.unlock();
    drainDatabaseQueue();

    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("UNIQUE"), std::string::npos);
    EXPECT_EQ(notes(realm()), (std::vector<std::string>{"a", "before", "after"}));
    const auto errors = find(capture_, "", LogLevel::error);
    ASSERT_EQ(errors.size(), 1u) << "the writeAsync failure goes to its handler only";
    EXPECT_EQ(errors[0].message, "a queued transaction failed");

    // A database that cannot be opened: the handler hears of it, the static transaction logs it.
    Realm::forgetOpenedFiles();
    fs::remove_all(folder_);
    std::ofstream(folder_) << "a file where the data folder should be";
    bool ran = false;
    realm().writeAsync(Note{"a", ""}, collect, [&](Realm&, Note&) { ran = true; });
    Realm::transaction([&](Realm&) { ran = true; });
    drainDatabaseQueue();
    EXPECT_FALSE(ran);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_NE(failures[1].find("Cannot open the database"), std::string::npos);
    EXPECT_EQ(find(capture_, "Cannot open the database", LogLevel::error).size(), 1u);
}

// A process killed inside a transaction loses that transaction and nothing else.
TEST_F(RealmTest, CrashInsideATransactionLosesOnlyThatTransaction)
{
    drainDatabaseQueue();
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed by a signal" : "exited");
        auto config = Realm::defaultConfiguration();
        config.fileURL = folder_ / (killed ? "killed" : "exited") / "default.realm";
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto opened = Realm::open(config);
            if (!opened) _exit(2);
            Realm& r = **opened;
            for (int i = 0; i < 5; ++i) r.write([&] { addNote(r, "committed" + std::to_string(i)); });
            r.database().exec("PRAGMA cache_size = 2");  // spill the open transaction into the log file
            r.write([&] {
                for (int i = 0; i < 2000; ++i) addNote(r, "lost" + std::to_string(i), std::string(500, 'z'));
                if (!killed) _exit(42);
                if (::write(ready[1], "!", 1) != 1) _exit(3);
                pause();
            });
            _exit(4);
        }
        close(ready[1]);
        int status = 0;
        if (killed) {
            char byte = 0;
            ASSERT_EQ(read(ready[0], &byte, 1), 1);
            kill(child, SIGKILL);
        }
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(ready[0]);
        EXPECT_TRUE(killed ? WIFSIGNALED(status) : WIFEXITED(status) && WEXITSTATUS(status) == 42);

        auto opened = Realm::open(config);
        ASSERT_TRUE(opened) << opened.error().what();
        EXPECT_EQ(notes(**opened),
                  (std::vector<std::string>{"committed0", "committed1", "committed2", "committed3", "committed4"}));
        EXPECT_TRUE(find(capture_, "moved aside").empty());
    }
}

TEST_F(RealmTest, TheDatabaseAndItsFolderAreTheOwnersOnlyWhateverTheUmask)
{
    using test::modeOf;
    const mode_t umask = ::umask(022);
    const fs::path nested = folder_ / "data" / "Vandrel";
    Realm::setCustomConfig(nested);
    Realm::forgetOpenedFiles();
    realm().transaction([&] { addNote(realm(), "clip text"); });
    EXPECT_EQ(modeOf(nested), 0700u);
    EXPECT_EQ(modeOf(nested / "default.realm"), 0600u);
    EXPECT_EQ(modeOf(nested / "default.realm-wal"), 0600u);
    EXPECT_EQ(modeOf(nested / "default.realm-shm"), 0600u);

    // The fresh file that replaces one moved aside as well.
    realm_.reset();
    Realm::forgetOpenedFiles();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(nested / (std::string("default.realm") + suffix));
    std::ofstream(nested / "default.realm") << "not a database";
    ::chmod((nested / "default.realm").c_str(), 0644);
    realm().transaction([&] { addNote(realm(), "again"); });
    ::umask(umask);
    EXPECT_EQ(modeOf(nested / "default.realm"), 0600u);
    EXPECT_EQ(modeOf(nested / "default.realm-wal"), 0600u);
    Realm::setCustomConfig(folder_);
}

}  // namespace
}  // namespace vandrel
