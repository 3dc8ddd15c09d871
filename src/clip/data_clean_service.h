// The clip cleaner: every 30 minutes (the first pass 30 minutes after start) it trims each clipboard's
// history to its size and deletes the payload files that no clip names any more.
//
// Trimming keeps a board's maxHistorySize newest clips by updateTime (at least one), and every clip stored in
// the same second as the oldest one kept. A trimmed clip leaves that board's history; its row, thumbnail and
// payload file go only when no board holds it any more (with overwriting on, one clip can be in several).
// Orphaned files: only regular files named <UUID>.data, at least 60 s old (a new clip's file is written before
// its row reaches the database), that no clip names, neither of the database nor of a copy of it that was set
// aside as unusable (default.realm.corrupt-<time>, read only, and only when there are orphans): such a copy can
// be brought back whole. While a copy cannot be read, every orphan is kept. Anything else in the folder is left
// alone. A payload's temporary files (<UUID>.data.XXXXXX) that a kill left behind go too once 60 s old, at start
// as well. Likewise the thumbnails (<key>.png in the image cache's folder) that no clip names. A trimmed clip's
// payload is deleted only when it is such a file inside the clip folder: a row's path is never trusted.
//
// Threads: a pass runs on the cleaner's own scheduler; trimming is written on the database scheduler, file
// deletions go to the global scheduler.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "clip/clip_image_cache.h"
#include "clip/vd_clipboard.h"
#include "rx/disposable.h"
#include "rx/scheduler.h"
#include "storage/realm.h"

namespace vandrel {

class DataCleanService : public std::enable_shared_from_this<DataCleanService> {
    struct Passkey {};

public:
    static constexpr rx::Duration kInterval = std::chrono::seconds(1800);
    static constexpr std::chrono::seconds kYoungFileAge{60};

    // scheduler, clipboards and clipFolder are required.
    struct Options {
        // The cleaner's serial queue: the interval and each pass.
        rx::SchedulerPtr scheduler;
        // Where trims are written (the database queue); null: scheduler.
        rx::SchedulerPtr databaseScheduler;
        // Where files are deleted (the global queue); null: scheduler.
        rx::SchedulerPtr globalScheduler;
        // The boards to trim (the extra-clipboard service's table).
        std::function<std::vector<VDClipboard>()> clipboards;
        std::filesystem::path clipFolder;
        // Thumbnails of deleted clips are removed here; null: none.
        std::shared_ptr<ClipImageCache> imageCache;
        // Empty fileURL: the default configuration.
        RealmConfiguration realmConfiguration;
        // The time files' ages are measured against; null: now.
        std::function<std::filesystem::file_time_type()> fileNow;
    };

    static std::shared_ptr<DataCleanService> make(Options options);
    DataCleanService(Passkey, Options options);

    // (Re)starts the interval; the first pass comes one interval from now. Temporary files go at once.
    void startMonitoring();
    // One pass now, on the calling thread (its writes and deletions are queued).
    void cleanDatas();
    // Trims one board now, on the calling thread.
    void cleanDatas(const VDClipboard& clipboard);

    // The clips to trim of a history: those strictly older than the maxHistorySize-th newest.
    static std::vector<VDClip> overflowingClips(const std::vector<VDClip>& history, std::int64_t maxHistorySize);

private:
    void cleanFiles(Realm& realm);
    void removeTemporaries();
    void cleanThumbnails(Realm& realm);
    RealmExpected<std::shared_ptr<Realm>> openRealm() const;

    const Options options_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
