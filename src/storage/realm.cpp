#include "storage/realm.h"

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <mutex>
#include <set>
#include <stdexcept>

#include "core/app_info.h"
#include "core/dispatch_queues.h"
#include "core/private_files.h"
#include "core/set_aside_files.h"
#include "storage/realm_sql.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

constexpr int kBusyTimeoutMs = 5000;

struct Registry {
    std::mutex mutex;
    std::vector<RealmObjectSchema> schemas;
    RealmMigrationBlock migrationBlock;
    RealmConfiguration defaultConfiguration;

    // Launch checks run one file at a time, and once per file.
    std::mutex launchMutex;
    std::set<fs::path> checkedFiles;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

// Bumped to make every thread drop its cached connections on its next open.
std::atomic<std::uint64_t> connectionEpoch{0};

struct ThreadConnections {
    std::uint64_t epoch = 0;
    std::vector<std::shared_ptr<Realm>> realms;
};
thread_local ThreadConnections threadConnections;

std::vector<RealmObjectSchema> schemasOf(const RealmConfiguration& configuration)
{
    if (!configuration.objectTypes.empty()) return configuration.objectTypes;
    return Realm::registeredObjectSchemas();
}

bool isDamage(const SQLite::Exception& e)
{
    const int code = e.getErrorCode() & 0xff;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

std::string timestamp()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

constexpr const char* kAsideMark = ".corrupt-";
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

// Renames the file, with its write-ahead log and shared-memory index, to "<name>.corrupt-<timestamp>".
// The data stays on disk for the user or a later repair; only the name changes.
void moveAside(const fs::path& file, const std::string& reason)
{
    const std::string base = file.string() + kAsideMark + timestamp();
    fs::path target = base;
    for (int n = 1; fs::exists(target) || fs::exists(target.string() + "-wal"); ++n) {
        target = base + "-" + std::to_string(n);
    }
    fs::rename(file, target);
    for (const char* suffix : kCompanionSuffixes) {
        const fs::path companion = file.string() + suffix;
        std::error_code ec;
        if (fs::exists(companion, ec)) fs::rename(companion, target.string() + suffix);
    }
    log.error("Database file cannot be used, moved aside ->",
              std::vector<std::string>{file.string(), target.string(), reason});
    SetAsideFiles::report({SetAsideFile::Kind::database, file, target, reason});
}

// Why an existing file cannot be used as it is, or nothing when it can. Failures other than damage
// (a locked or unreadable file) are thrown: moving such a file aside would be wrong.
std::optional<std::string> inspect(const fs::path& file, std::uint64_t schemaVersion)
{
    try {
        SQLite::Database db(file, SQLite::OPEN_READWRITE, kBusyTimeoutMs);
        SQLite::Statement check(db, "PRAGMA quick_check");
        if (!check.executeStep()) return "integrity check gave no answer";
        const std::string verdict = check.getColumn(0).getString();
        if (verdict != "ok") return "damaged: " + verdict;
        const auto version = static_cast<std::uint64_t>(realm_sql::integerPragma(db, "user_version"));
        if (version > schemaVersion) {
            return "schema version " + std::to_string(version) + " is newer than " + std::to_string(schemaVersion);
        }
        return std::nullopt;
    } catch (const SQLite::Exception& e) {
        if (isDamage(e)) return std::string(e.what());
        throw;
    }
}

void createTables(SQLite::Database& db, const std::vector<RealmObjectSchema>& schemas, std::uint64_t schemaVersion)
{
    db.exec("BEGIN IMMEDIATE");
    try {
        for (const auto& schema : schemas) {
            for (const auto& statement : schema.createStatements) db.exec(statement);
        }
        db.exec("PRAGMA user_version = " + std::to_string(schemaVersion));
        db.exec("COMMIT");
    } catch (...) {
        try {
            db.exec("ROLLBACK");
        } catch (const std::exception&) {
            // Already rolled back by SQLite.
        }
        throw;
    }
}

void compactIfWanted(SQLite::Database& db, const RealmConfiguration& configuration)
{
    if (!configuration.shouldCompactOnLaunch) return;
    const auto pageSize = static_cast<std::uint64_t>(realm_sql::integerPragma(db, "page_size"));
    const auto pageCount = static_cast<std::uint64_t>(realm_sql::integerPragma(db, "page_count"));
    const auto freePages = static_cast<std::uint64_t>(realm_sql::integerPragma(db, "freelist_count"));
    const std::uint64_t total = pageCount * pageSize;
    const std::uint64_t used = (pageCount - std::min(freePages, pageCount)) * pageSize;
    if (!configuration.shouldCompactOnLaunch(total, used)) return;
    try {
        db.exec("VACUUM");
        // Fold the rewritten pages back so the file itself shrinks now.
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const std::exception& e) {
        log.error("Database compaction failed ->", e.what());
    }
}

// A file that opens but cannot be brought to our shape.
class UnusableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Failures of the surroundings (locks, permissions, a full disk) rather than of the file's content.
bool isEnvironmentFailure(const SQLite::Exception& e)
{
    switch (e.getErrorCode() & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
        case SQLITE_FULL:
        case SQLITE_READONLY:
        case SQLITE_NOMEM:
        case SQLITE_PERM:
        case SQLITE_INTERRUPT:
            return true;
        default:
            return false;
    }
}

// Brings the file to the current schema: a new file gets the tables, an older one is migrated, a
// current one gets the tables of classes registered since it was made.
void bringUpToDate(const fs::path& file, const RealmConfiguration& configuration,
                   const std::vector<RealmObjectSchema>& schemas)
{
    // The file will hold clipboard text: made for the owner only before SQLite would make it with the
    // umask's mode (its -wal and -shm files take the file's mode).
    if (auto error = createPrivateFile(file)) throw std::runtime_error(*error);
    SQLite::Database db(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, kBusyTimeoutMs);
    const auto version = static_cast<std::uint64_t>(realm_sql::integerPragma(db, "user_version"));
    bool anyTable = false;
    for (const auto& schema : schemas) anyTable = anyTable || realm_sql::tableExists(db, schema.className);

    if (version < configuration.schemaVersion && (version > 0 || anyTable)) {
        log.info("Database migration ->", std::vector<std::uint64_t>{version, configuration.schemaVersion});
        try {
            RealmMigration::perform(db, schemas, configuration.migrationBlock, version, configuration.schemaVersion);
        } catch (const SQLite::Exception& e) {
            if (isEnvironmentFailure(e)) throw;
            throw UnusableFile(std::string("migration failed: ") + e.what());
        } catch (const std::exception& e) {
            throw UnusableFile(std::string("migration failed: ") + e.what());
        }
    } else {
        createTables(db, schemas, std::max(version, configuration.schemaVersion));
    }
    // Only now: switching an older file to WAL rewrites its header, and a failed migration must leave it
    // exactly as it was.
    db.exec("PRAGMA journal_mode = WAL");
    compactIfWanted(db, configuration);
}

// The database holds clipboard history: it is readable by its owner only, whatever the umask. A new file is
// made that way before SQLite opens it (its journal files take the database's mode); an existing one is
// tightened.
void makePrivate(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const fs::path path = file.string() + suffix;
        std::error_code ec;
        if (!fs::exists(path, ec)) continue;
        const auto perms = fs::status(path, ec).permissions();
        if (ec || (perms & (fs::perms::group_all | fs::perms::others_all)) == fs::perms::none) continue;
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
        if (ec) log.warning("Cannot make the database file private ->", path.string());
    }
}

// The checks of the first open of a file in this process.
void launchCheck(const RealmConfiguration& configuration)
{
    const fs::path& file = configuration.fileURL;
    const auto schemas = schemasOf(configuration);
    if (auto error = createPrivateFolder(file.parent_path())) throw std::runtime_error(*error);

    std::error_code ec;
    if (fs::exists(file, ec) && fs::file_size(file, ec) > 0) {
        if (auto problem = inspect(file, configuration.schemaVersion)) moveAside(file, *problem);
    }
    const auto bring = [&] {
        makePrivate(file);
        bringUpToDate(file, configuration, schemas);
    };
    try {
        bring();
    } catch (const UnusableFile& e) {
        moveAside(file, e.what());
        bring();
    } catch (const SQLite::Exception& e) {
        if (!isDamage(e)) throw;
        moveAside(file, e.what());
        bring();
    }
}

}  // namespace

// --- configuration -----------------------------------------------------------------------------------

void Realm::setCustomConfig()
{
    setCustomConfig(AppInfo::supportFolderUrl());
}

void Realm::setCustomConfig(const fs::path& folder)
{
    RealmConfiguration configuration;
    configuration.fileURL = folder / kFileName;
    configuration.schemaVersion = kSchemaVersion;
    {
        std::lock_guard lock(registry().mutex);
        configuration.migrationBlock = registry().migrationBlock;
    }
    configuration.shouldCompactOnLaunch = &Realm::shouldCompactOnLaunch;
    setDefaultConfiguration(std::move(configuration));
}

RealmConfiguration Realm::defaultConfiguration()
{
    std::lock_guard lock(registry().mutex);
    return registry().defaultConfiguration;
}

void Realm::setDefaultConfiguration(RealmConfiguration configuration)
{
    std::lock_guard lock(registry().mutex);
    if (registry().defaultConfiguration.fileURL != configuration.fileURL) ++connectionEpoch;
    registry().defaultConfiguration = std::move(configuration);
}

std::vector<fs::path> Realm::setAsideCopies(const fs::path& file)
{
    std::vector<fs::path> copies;
    std::error_code error;
    fs::directory_iterator entries(file.parent_path(), error);
    if (error) return copies;
    const std::string prefix = file.filename().string() + kAsideMark;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix)) continue;
        bool companion = false;
        for (const char* suffix : kCompanionSuffixes) companion = companion || name.ends_with(suffix);
        if (!companion) copies.push_back(entry.path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

bool Realm::shouldCompactOnLaunch(std::uint64_t totalBytes, std::uint64_t usedBytes)
{
    log.warning("Realm should compact on lacunch -> [totalBytes, usedBytes]",
                std::vector<std::uint64_t>{totalBytes, usedBytes});
    return totalBytes > kCompactionThresholdBytes &&
           static_cast<double>(usedBytes) / static_cast<double>(totalBytes) < 0.5;
}

void Realm::registerObjectSchema(RealmObjectSchema schema)
{
    std::lock_guard lock(registry().mutex);
    for (auto& existing : registry().schemas) {
        if (existing.className == schema.className) {
            existing = std::move(schema);
            return;
        }
    }
    registry().schemas.push_back(std::move(schema));
}

std::vector<RealmObjectSchema> Realm::registeredObjectSchemas()
{
    std::lock_guard lock(registry().mutex);
    return registry().schemas;
}

void Realm::registerMigrationBlock(RealmMigrationBlock block)
{
    std::lock_guard lock(registry().mutex);
    registry().migrationBlock = std::move(block);
}

// --- opening -----------------------------------------------------------------------------------------

RealmExpected<std::shared_ptr<Realm>> Realm::open()
{
    return open(defaultConfiguration());
}

RealmExpected<std::shared_ptr<Realm>> Realm::open(const RealmConfiguration& configuration)
{
    if (configuration.fileURL.empty()) {
        return RealmError("No database is configured: Realm::setCustomConfig() has not been called.");
    }
    ThreadConnections& cache = threadConnections;
    const std::uint64_t epoch = connectionEpoch.load();
    if (cache.epoch != epoch) {
        cache.realms.clear();
        cache.epoch = epoch;
    }
    for (const auto& realm : cache.realms) {
        if (realm->configuration_->fileURL == configuration.fileURL) return realm;
    }

    try {
        {
            Registry& r = registry();
            std::lock_guard lock(r.launchMutex);
            std::error_code ec;
            if (!r.checkedFiles.contains(configuration.fileURL) || !fs::exists(configuration.fileURL, ec)) {
                launchCheck(configuration);
                r.checkedFiles.insert(configuration.fileURL);
            }
        }
        auto db = std::make_unique<SQLite::Database>(configuration.fileURL, SQLite::OPEN_READWRITE, kBusyTimeoutMs);
        // A crash loses at most the transaction it interrupted; NORMAL skips the sync on every commit,
        // which in WAL mode only risks the last commits on power loss, never the file.
        db->exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL");
        std::shared_ptr<Realm> realm(new Realm(configuration, std::move(db)));
        cache.realms.push_back(realm);
        return realm;
    } catch (const std::exception& e) {
        return RealmError(std::string("Cannot open the database ") + configuration.fileURL.string() + ": " + e.what());
    }
}

void Realm::forgetOpenedFiles()
{
    {
        std::lock_guard lock(registry().launchMutex);
        registry().checkedFiles.clear();
    }
    ++connectionEpoch;
    threadConnections.realms.clear();
}

Realm::Realm(RealmConfiguration configuration, std::unique_ptr<SQLite::Database> database)
    : configuration_(std::make_shared<const RealmConfiguration>(std::move(configuration))),
      database_(std::move(database)),
      owner_(std::this_thread::get_id())
{
}

Realm::~Realm() = default;

SQLite::Database& Realm::database()
{
    if (std::this_thread::get_id() != owner_) throw RealmError("Realm accessed from incorrect thread.");
    return *database_;
}

RealmStatement Realm::statement(const std::string& sql)
{
    SQLite::Database& db = database();
    CachedStatement& cached = statements_[sql];
    if (!cached.statement) cached.statement = std::make_unique<SQLite::Statement>(db, sql);
    if (cached.inUse) return RealmStatement(std::make_unique<SQLite::Statement>(db, sql));
    return RealmStatement(*cached.statement, cached.inUse);
}

void Realm::requireWriteTransaction() const
{
    if (!inWriteTransaction_) throw RealmError("Cannot modify stored objects outside of a write transaction.");
}

// --- writing -----------------------------------------------------------------------------------------

void Realm::write(const std::function<void()>& block)
{
    SQLite::Database& db = database();
    if (inWriteTransaction_) throw RealmError("The database is already in a write transaction.");
    // IMMEDIATE takes the write lock up front, so two connections never deadlock upgrading a read.
    db.exec("BEGIN IMMEDIATE");
    inWriteTransaction_ = true;
    try {
        block();
        db.exec("COMMIT");
        inWriteTransaction_ = false;
    } catch (...) {
        inWriteTransaction_ = false;
        if (sqlite3_get_autocommit(db.getHandle()) == 0) {
            try {
                db.exec("ROLLBACK");
            } catch (const std::exception&) {
                // SQLite may have rolled back already; the block's failure is what is reported.
            }
        }
        throw;
    }
}

void Realm::transaction(const std::function<void()>& block)
{
    try {
        write(block);
    } catch (const std::exception& e) {
        log.error(e.what());
    } catch (...) {
        log.error("Unknown error in a database transaction.");
    }
}

void Realm::transaction(std::function<void(Realm&)> block)
{
    enqueueWrite(std::make_shared<const RealmConfiguration>(defaultConfiguration()), std::move(block),
                 [](const RealmError& error) { log.error(error.localizedDescription()); });
}

// Queued writes are committed in groups: the writes waiting when the queue reaches them share one
// transaction, each inside its own savepoint, so a failing write is undone and reported alone. One
// commit per group instead of one per write is what keeps a burst of clips cheap. Writes run in the
// order they were queued.
struct Realm::WriteQueue {
    static constexpr std::size_t kMaxWritesPerCommit = 1000;

    std::mutex mutex;
    std::deque<QueuedWrite> pending;
    bool drainScheduled = false;
};

void Realm::postDrain()
{
    DispatchQueues::realm()->async(&Realm::drainQueuedWrites);
}

Realm::WriteQueue& Realm::writeQueue()
{
    static WriteQueue instance;
    return instance;
}

void Realm::enqueueWrite(std::shared_ptr<const RealmConfiguration> configuration, std::function<void(Realm&)> block,
                         std::function<void(const RealmError&)> fail)
{
    WriteQueue& queue = writeQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.pending.push_back({std::move(configuration), std::move(block), std::move(fail)});
        if (queue.drainScheduled) return;
        queue.drainScheduled = true;
    }
    postDrain();
}

void Realm::report(const QueuedWrite& write, const RealmError& error)
{
    // A throwing error handler must not stop the writes queued behind it.
    try {
        write.fail(error);
    } catch (const std::exception& e) {
        log.error("A database error handler failed ->", e.what());
    } catch (...) {
        log.error("A database error handler failed");
    }
}

void Realm::drainQueuedWrites()
{
    WriteQueue& queue = writeQueue();
    // Runs until nothing is waiting, so every job queued after a write finds that write committed.
    for (;;) {
        std::vector<QueuedWrite> batch;
        {
            std::lock_guard lock(queue.mutex);
            const std::size_t count = std::min(queue.pending.size(), WriteQueue::kMaxWritesPerCommit);
            for (std::size_t i = 0; i < count; ++i) {
                batch.push_back(std::move(queue.pending.front()));
                queue.pending.pop_front();
            }
            if (batch.empty()) {
                queue.drainScheduled = false;
                return;
            }
        }
        std::size_t first = 0;
        while (first < batch.size()) {
            // A run of writes to the same file shares a transaction.
            std::size_t end = first + 1;
            while (end < batch.size() && batch[end].configuration->fileURL == batch[first].configuration->fileURL) {
                ++end;
            }
            std::vector<QueuedWrite> group(std::make_move_iterator(batch.begin() + first),
                                           std::make_move_iterator(batch.begin() + end));
            first = end;

            auto opened = Realm::open(*group.front().configuration);
            if (!opened) {
                for (auto& write : group) report(write, opened.error());
                continue;
            }
            (*opened)->runQueuedWrites(group);
        }
    }
}

namespace {

void execCached(Realm& realm, const std::string& sql)
{
    realm.statement(sql)->exec();
}

std::string describe(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error in a database transaction.";
    }
}

}  // namespace

void Realm::runQueuedWrites(std::vector<QueuedWrite>& writes)
{
    SQLite::Database& db = database();
    std::vector<QueuedWrite*> applied;  // written inside the open transaction, not yet committed
    auto failApplied = [&](const std::string& reason) {
        for (auto* write : applied) report(*write, RealmError(reason));
        applied.clear();
    };

    std::size_t next = 0;
    while (next < writes.size()) {
        try {
            execCached(*this, "BEGIN IMMEDIATE");
        } catch (const std::exception& e) {
            for (; next < writes.size(); ++next) report(writes[next], RealmError(e.what()));
            return;
        }
        inWriteTransaction_ = true;
        for (; next < writes.size(); ++next) {
            QueuedWrite& write = writes[next];
            std::exception_ptr failure;
            try {
                execCached(*this, "SAVEPOINT queued_write");
                write.block(*this);
                execCached(*this, "RELEASE queued_write");
                applied.push_back(&write);
            } catch (...) {
                failure = std::current_exception();
            }
            if (!failure) continue;
            const std::string reason = describe(failure);
            report(write, RealmError(reason));
            if (sqlite3_get_autocommit(db.getHandle()) != 0) {
                // SQLite gave up the whole transaction (a full disk, an I/O error): the writes before
                // this one are gone too. Start a new transaction for the rest.
                failApplied(reason);
                ++next;
                break;
            }
            try {
                execCached(*this, "ROLLBACK TO queued_write");
                execCached(*this, "RELEASE queued_write");
            } catch (const std::exception& e) {
                failApplied(e.what());
                if (sqlite3_get_autocommit(db.getHandle()) == 0) db.tryExec("ROLLBACK");
                ++next;
                break;
            }
        }
        inWriteTransaction_ = false;
        if (sqlite3_get_autocommit(db.getHandle()) != 0) continue;
        try {
            execCached(*this, "COMMIT");
            applied.clear();
        } catch (const std::exception& e) {
            db.tryExec("ROLLBACK");
            failApplied(e.what());
        }
    }
}

}  // namespace vandrel
