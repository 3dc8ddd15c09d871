#include "clip/data_clean_service.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <system_error>

#include "clip/clip_utils.h"
#include "core/log.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

bool isPayloadName(const std::string& name)
{
    return ClipUtils::isPayloadName(name);
}

// Reading a copy is bounded: a lock somebody holds on it, or a huge or looping file, ends the reading, and a
// reading that ends early keeps every file.
constexpr int kCopyBusyTimeoutMs = 500;
constexpr std::chrono::seconds kCopyReadingTime{5};

// The payload names the clips of a database copy name, read without writing to it; absent when it cannot be
// read whole (damaged, not a database, no clip table, too slow).
std::optional<std::vector<std::string>> payloadNamesIn(const fs::path& copy)
{
    try {
        SQLite::Database db(copy, SQLite::OPEN_READONLY, kCopyBusyTimeoutMs);
        auto deadline = std::chrono::steady_clock::now() + kCopyReadingTime;
        sqlite3_progress_handler(
            db.getHandle(), 1000,
            [](void* end) -> int {
                return std::chrono::steady_clock::now() > *static_cast<std::chrono::steady_clock::time_point*>(end);
            },
            &deadline);
        SQLite::Statement rows(db, R"(SELECT "dataPath" FROM "VDClip")");
        std::vector<std::string> names;
        while (rows.executeStep()) names.push_back(fs::path(rows.getColumn(0).getString()).filename().string());
        return names;
    } catch (const std::exception& e) {
        log.warning("A database copy set aside cannot be read; the clip files it may name are kept ->",
                    copy.string() + ": " + e.what());
        return std::nullopt;
    }
}

// The payload names every copy of the database that was set aside still names: a copy brought back needs its
// files. Absent when one of them cannot be read: then no payload may be taken for an orphan.
std::optional<std::set<std::string>> payloadsOfSetAsideCopies(const fs::path& databaseFile)
{
    std::set<std::string> names;
    for (const auto& copy : Realm::setAsideCopies(databaseFile)) {
        auto inCopy = payloadNamesIn(copy);
        if (!inCopy) return std::nullopt;
        names.insert(inCopy->begin(), inCopy->end());
    }
    return names;
}

}  // namespace

std::shared_ptr<DataCleanService> DataCleanService::make(Options options)
{
    return std::make_shared<DataCleanService>(Passkey{}, std::move(options));
}

DataCleanService::DataCleanService(Passkey, Options options) : options_(std::move(options)) {}

void DataCleanService::startMonitoring()
{
    rx::DisposeBag bag;
    std::weak_ptr<DataCleanService> weak = weak_from_this();
    options_.scheduler
        ->schedulePeriodic(kInterval,
                           [weak] {
                               if (auto self = weak.lock()) self->cleanDatas();
                           })
        .disposed(bag);
    disposeBag_ = std::move(bag);
    options_.scheduler->schedule([weak] {
        if (auto self = weak.lock()) self->removeTemporaries();
    });
}

std::vector<VDClip> DataCleanService::overflowingClips(const std::vector<VDClip>& history, std::int64_t maxHistorySize)
{
    // A size below one would leave nothing to compare with: keep at least the newest clip.
    const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(1, maxHistorySize));
    if (history.size() <= keep) return {};
    std::vector<std::int64_t> times;
    for (const auto& clip : history) times.push_back(clip.updateTime);
    std::sort(times.begin(), times.end(), std::greater<>());
    const std::int64_t boundary = times[keep - 1];
    std::vector<VDClip> overflowing;
    for (const auto& clip : history)
        if (clip.updateTime < boundary) overflowing.push_back(clip);
    return overflowing;
}

void DataCleanService::cleanDatas()
{
    std::weak_ptr<DataCleanService> weak = weak_from_this();
    const auto database = options_.databaseScheduler ? options_.databaseScheduler : options_.scheduler;
    for (const auto& clipboard : options_.clipboards()) {
        database->schedule([weak, clipboard] {
            if (auto self = weak.lock()) self->cleanDatas(clipboard);
        });
    }
    auto realm = openRealm();
    if (!realm) {
        log.error("The clip files are not cleaned: the database does not open ->", realm.error().what());
    } else {
        try {
            cleanFiles(**realm);
        } catch (const std::exception& e) {
            log.error("The clip files are not cleaned: the database cannot be read ->", e.what());
        }
    }
    removeTemporaries();
    log.verbose("clip datas was cleaned");
}

void DataCleanService::cleanDatas(const VDClipboard& clipboard)
{
    auto realm = openRealm();
    if (!realm) {
        log.error("The clipboard is not trimmed: the database does not open ->", realm.error().what());
        return;
    }
    Realm& r = **realm;
    std::vector<VDClip> deleted;
    try {
        const auto overflowing = overflowingClips(clipboard.clipHistory(r), clipboard.maxHistorySize);
        if (overflowing.empty()) return;
        r.write([&] {
            for (const auto& clip : overflowing) {
                clipboard.removeFromHistory(r, clip.savedHash);
                if (VDClipboard::isInAnyHistory(r, clip.savedHash)) continue;
                VDClip::remove(r, clip.savedHash);
                deleted.push_back(clip);
            }
        });
    } catch (const std::exception& e) {
        log.error("The clipboard is not trimmed ->", e.what());
        return;
    }
    const auto global = options_.globalScheduler ? options_.globalScheduler : options_.scheduler;
    for (const auto& clip : deleted) {
        if (!clip.thumbnailPath.empty() && options_.imageCache) options_.imageCache->removeObject(clip.thumbnailPath);
        if (clip.dataPath.empty()) continue;
        // The row's path is only data: a file elsewhere, or a link out of the folder, stays.
        if (!ClipUtils::isOwnPayload(options_.clipFolder, clip.dataPath)) {
            log.warning("A trimmed clip names a payload outside the clip folder: left in place ->", clip.dataPath);
            continue;
        }
        global->schedule([path = fs::path(clip.dataPath)] { ClipUtils::deleteData(path); });
    }
}

void DataCleanService::cleanFiles(Realm& realm)
{
    std::error_code error;
    fs::directory_iterator entries(options_.clipFolder, error);
    if (error) return;  // no folder yet
    std::set<std::string> live;
    for (const auto& clip : VDClip::objects(realm)) live.insert(fs::path(clip.dataPath).filename().string());
    const auto now = options_.fileNow ? options_.fileNow() : fs::file_time_type::clock::now();
    std::vector<fs::path> orphans;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!isPayloadName(name) || live.count(name) != 0) continue;
        std::error_code statError;
        if (!fs::is_regular_file(fs::symlink_status(entry.path(), statError))) continue;
        const auto written = fs::last_write_time(entry.path(), statError);
        if (statError || now - written < kYoungFileAge) continue;
        orphans.push_back(entry.path());
    }
    if (!orphans.empty()) {
        if (const auto kept = payloadsOfSetAsideCopies(realm.configuration().fileURL))
            std::erase_if(orphans, [&kept](const fs::path& path) { return kept->count(path.filename().string()); });
        else
            orphans.clear();
    }
    const auto global = options_.globalScheduler ? options_.globalScheduler : options_.scheduler;
    for (const auto& path : orphans) {
        log.verbose("Delete diffence .data files -> " + path.string());
        global->schedule([path] { ClipUtils::deleteData(path); });
    }
    cleanThumbnails(realm);
}

void DataCleanService::removeTemporaries()
{
    std::error_code error;
    fs::directory_iterator entries(options_.clipFolder, error);
    if (error) return;
    const auto now = options_.fileNow ? options_.fileNow() : fs::file_time_type::clock::now();
    const auto global = options_.globalScheduler ? options_.globalScheduler : options_.scheduler;
    for (const auto& entry : entries) {
        if (!ClipUtils::isPayloadTemporaryName(entry.path().filename().string())) continue;
        std::error_code statError;
        if (!fs::is_regular_file(fs::symlink_status(entry.path(), statError))) continue;
        const auto written = fs::last_write_time(entry.path(), statError);
        // A younger one may be a payload being written right now.
        if (statError || now - written < kYoungFileAge) continue;
        log.verbose("Delete a temporary clip file left behind ->", entry.path().string());
        global->schedule([path = entry.path()] { ClipUtils::deleteData(path); });
    }
}

void DataCleanService::cleanThumbnails(Realm& realm)
{
    if (!options_.imageCache) return;
    std::error_code error;
    fs::directory_iterator entries(options_.imageCache->folder(), error);
    if (error) return;
    std::set<std::string> live;
    for (const auto& clip : VDClip::objects(realm))
        if (!clip.thumbnailPath.empty()) live.insert(clip.thumbnailPath + ".png");
    const auto now = options_.fileNow ? options_.fileNow() : fs::file_time_type::clock::now();
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".png") || live.count(name) != 0) continue;
        std::error_code statError;
        if (!fs::is_regular_file(fs::symlink_status(entry.path(), statError))) continue;
        const auto written = fs::last_write_time(entry.path(), statError);
        // A new clip's thumbnail is written before its row reaches the database.
        if (statError || now - written < kYoungFileAge) continue;
        log.verbose("Delete a thumbnail no clip names ->", entry.path().string());
        options_.imageCache->removeObject(name.substr(0, name.size() - 4));
    }
}

RealmExpected<std::shared_ptr<Realm>> DataCleanService::openRealm() const
{
    if (options_.realmConfiguration.fileURL.empty()) return Realm::open();
    return Realm::open(options_.realmConfiguration);
}

}  // namespace vandrel
