// The object database: one SQLite file ("default.realm") holding the clips, clipboards and window
// bindings. Stored classes register their tables here (the subsystems that own them do it at start-up),
// Realm::setCustomConfig() installs the default configuration, and Realm::open() gives the calling
// thread its own connection.
//
// A connection belongs to the thread that opened it; each thread keeps one per file and gets the same
// one back from every open(). The first open of a file in the process checks it: a file that is not a
// database, is damaged or has a newer schema version than ours is moved aside (never deleted; reported to
// SetAsideFiles) and a fresh one is made; an older schema version is migrated; the compaction rule is asked once.
//
// Writes: write() and transaction() run on the calling thread; Realm::transaction(block) and writeAsync()
// queue their work on the database queue "tqm.Vandrel.realm", where it runs in the order queued. Queued
// writes that wait together share one commit, each in its own savepoint, so one failing write is undone
// and reported alone; anything queued on that queue after a write finds it committed.
#pragma once

#include <SQLiteCpp/Database.h>

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "core/log.h"
#include "storage/realm_configuration.h"
#include "storage/realm_error.h"
#include "storage/realm_migration.h"
#include "storage/realm_statement.h"

namespace vandrel {

class Realm;

// A stored value that can be carried to another thread and looked up again there: resolve() gives the
// object as the given database holds it now, or nothing when it was deleted meanwhile.
template <class T>
concept RealmResolvable = requires(const T& object, Realm& realm)
{
    {
        object.resolve(realm)
        } -> std::same_as<std::optional<T>>;
};

namespace realm_detail {
template <RealmResolvable T>
std::optional<T> resolve(Realm& realm, const T& object)
{
    return object.resolve(realm);
}
// A list of objects (a query result) resolves to those still stored, possibly none.
template <RealmResolvable T>
std::optional<std::vector<T>> resolve(Realm& realm, const std::vector<T>& objects)
{
    std::vector<T> alive;
    for (const auto& object : objects) {
        if (auto current = object.resolve(realm)) alive.push_back(std::move(*current));
    }
    return alive;
}
}  // namespace realm_detail

enum class RealmUpdatePolicy {
    error,  // adding a row whose primary key exists fails
    all,    // an existing row with the same primary key has every property replaced
};

class Realm {
public:
    using ErrorHandler = std::function<void(const RealmError&)>;

    static constexpr const char* kFileName = "default.realm";
    static constexpr std::uint64_t kSchemaVersion = 1;
    static constexpr std::uint64_t kCompactionThresholdBytes = 100ull * 1024 * 1024;

    // --- configuration -------------------------------------------------------------------------------

    // Makes "default.realm" in the application data folder (AppInfo::supportFolderUrl), schema version
    // 1, the registered migration block and the compaction rule the default configuration. Register the
    // stored classes and the migration block first.
    static void setCustomConfig();
    // The same with the file in another folder.
    static void setCustomConfig(const std::filesystem::path& folder);

    static RealmConfiguration defaultConfiguration();
    static void setDefaultConfiguration(RealmConfiguration configuration);

    // The compaction rule: logs its warning and answers true exactly when the file is larger than
    // 100 MiB and less than half of it is in use.
    static bool shouldCompactOnLaunch(std::uint64_t totalBytes, std::uint64_t usedBytes);

    // Adds (or replaces, by class name) the tables of a stored class.
    static void registerObjectSchema(RealmObjectSchema schema);
    static std::vector<RealmObjectSchema> registeredObjectSchemas();
    static void registerMigrationBlock(RealmMigrationBlock block);

    // --- opening -------------------------------------------------------------------------------------

    // The calling thread's connection to the default database / the database of configuration.
    static RealmExpected<std::shared_ptr<Realm>> open();
    static RealmExpected<std::shared_ptr<Realm>> open(const RealmConfiguration& configuration);

    // The copies of file that launch checks moved aside ("<name>.corrupt-<time>", without their journal
    // files), in name order; none when the folder cannot be listed.
    static std::vector<std::filesystem::path> setAsideCopies(const std::filesystem::path& file);

    // As at a new launch: the next open of each file checks it again, and every thread drops its cached
    // connections when it next opens one. Cached connections of the calling thread close at once.
    static void forgetOpenedFiles();

    Realm(const Realm&) = delete;
    Realm& operator=(const Realm&) = delete;
    ~Realm();

    const RealmConfiguration& configuration() const { return *configuration_; }

    // The SQLite connection; throws RealmError when used from another thread than the one that opened it.
    SQLite::Database& database();

    // The connection's prepared statement for sql, reset when the result is dropped. Throws like
    // database().
    RealmStatement statement(const std::string& sql);

    bool isInWriteTransaction() const { return inWriteTransaction_; }
    // Throws RealmError outside a write transaction: stored objects change only inside one.
    void requireWriteTransaction() const;

    // --- writing -------------------------------------------------------------------------------------

    // Runs block in a write transaction on the calling thread; commits when it returns, rolls back and
    // rethrows when it throws.
    void write(const std::function<void()>& block);

    // As write(), but a failure is logged at error level and not rethrown.
    void transaction(const std::function<void()>& block);

    // Queues block on the database queue, where it runs in a write transaction of the default database.
    // A failure (opening, the block, the commit) is logged at error level; nothing of the block is
    // written then.
    static void transaction(std::function<void(Realm&)> block);

    // Carries object to the database queue, looks it up again in this database's file there and runs
    // block with it in a write transaction. An object deleted meanwhile is skipped without a report; a
    // failure goes to errorHandler (once) and is not logged.
    template <class T>
    void writeAsync(T object, ErrorHandler errorHandler, std::type_identity_t<std::function<void(Realm&, T&)>> block)
    {
        log.verbose("realm write async");
        enqueueWrite(
            configuration_,
            [object = std::move(object), block = std::move(block)](Realm& realm) {
                auto resolved = realm_detail::resolve(realm, object);
                if (resolved) block(realm, *resolved);
            },
            [errorHandler = std::move(errorHandler)](const RealmError& error) {
                if (errorHandler) errorHandler(error);
            });
    }

    template <class T>
    void writeAsync(T object, std::type_identity_t<std::function<void(Realm&, T&)>> block)
    {
        writeAsync(std::move(object), ErrorHandler{}, std::move(block));
    }

private:
    // One write waiting for the database queue: its block, and where its failure goes.
    struct QueuedWrite {
        std::shared_ptr<const RealmConfiguration> configuration;
        std::function<void(Realm&)> block;
        std::function<void(const RealmError&)> fail;
    };

    Realm(RealmConfiguration configuration, std::unique_ptr<SQLite::Database> database);

    struct WriteQueue;
    static WriteQueue& writeQueue();
    static void enqueueWrite(std::shared_ptr<const RealmConfiguration> configuration, std::function<void(Realm&)> block,
                             std::function<void(const RealmError&)> fail);
    static void postDrain();
    static void drainQueuedWrites();
    static void report(const QueuedWrite& write, const RealmError& error);
    void runQueuedWrites(std::vector<QueuedWrite>& writes);

    struct CachedStatement {
        std::unique_ptr<SQLite::Statement> statement;
        bool inUse = false;
    };

    std::shared_ptr<const RealmConfiguration> configuration_;  // shared with the writes it queues
    std::unique_ptr<SQLite::Database> database_;
    // After the connection: statements must be finalized before it closes.
    std::unordered_map<std::string, CachedStatement> statements_;
    std::thread::id owner_;
    bool inWriteTransaction_ = false;
};

}  // namespace vandrel
