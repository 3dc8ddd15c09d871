// The capture service: watches the general pasteboard and turns each change into a clip.
//
// Data path:
//   clip queue   where the pasteboard reports its changes (X11 with XFixes), each report queues one look at
//                its change count (reports made before that look starts share it); elsewhere a poll reads the
//                count every 250 ms (every 3 ms for 500 ms after each true value of isOverload). When the count
//                differs from cachedChangeCount the change step records it and, unless the pasteboard is
//                borrowed, shadow-copies the pasteboard's items.
//   shadowCopy   reads the items (on X11 over the pasteboard's own connection, on the calling thread; else
//                the read is handed to the GUI thread) up to the size limit (clip_maxItemMegabytes): larger
//                content is skipped with one log line, unread where the owner tells its size first, and not
//                retried; nor is an owner that does not hand over (the pasteboard warns once per change). A read
//                that fails or finds the clipboard empty is tried 5 times 50 ms apart (on the retry scheduler),
//                each time only while the pasteboard is still at the change it reads for: one change, one look.
//                The copy is delivered on the main scheduler, on the pasteboardItemsConveyor of the conveyor
//                active then, with the active clipboard.
//   store step   items that reach the default conveyor are stored, on the clip queue (not on the GUI thread:
//                decoding a large image for its thumbnail must not stall the desktop): content a password
//                manager marked secret is dropped; the kept types come from the copied items; the snapshot
//                (VDClipData) is archived into <clip folder>/<UPPER-UUID>.data (0600, the folder 0700), its
//                thumbnail or colour swatch goes into the image cache under the clip's savedHash, and the new
//                VDClip is published, on the clip queue, on the vdClipConveyor of the conveyor active then.
//                The database is only read here (the duplicate check); the extra-clipboard service stores.
//
// One copy, one clip: a change seen while the copy of an earlier one is still being read (a slow owner, a
// large item) starts no second read at once; when the read ends the pasteboard is read once more, and that
// content is delivered only when it differs from what was just read (a new owner of the same content, as a
// clipboard manager taking over, makes no second clip). A read that ends after the pasteboard changed again
// (a later copy, or the program's own borrowed write) is not used: the content may be the later change's.
//
// Borrowing: the program's own writes of the pasteboard run inside borrowSystemClipboardWithoutNewClipCreated
// Once; while any borrow is open, changes make no clip, and ending one records the change count left behind.
// The borrow count is atomic: borrowers run on the GUI thread and the clip queue.
//
// Construction wires nothing; startMonitoring() starts the companions (the extra-clipboard service and the
// cleaner, given as start functions) and the pipelines. The first look after it captures what the pasteboard
// holds then.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "clip/clip_conveyor.h"
#include "clip/clip_image_cache.h"
#include "clip/vd_clip_data.h"
#include "core/installed_instance.h"
#include "core/settings_store.h"
#include "platform/pasteboard_server.h"
#include "rx/disposable.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"
#include "storage/realm.h"

namespace vandrel {

class ClipService : public std::enable_shared_from_this<ClipService> {
    struct Passkey {};

public:
    static constexpr const char* kMiddlePasteboardName = "tqm.Vandrel.ClipService.middlePasteboard";
    static constexpr std::int64_t kStringDataLimit = 100000;

    // pasteboards, clipScheduler, mainScheduler, settings and clipFolder are required; the rest have defaults.
    struct Options {
        // The platform's pasteboards: the general one is watched, a named one is the private middle board.
        std::shared_ptr<PasteboardServer> pasteboards;
        // The serial clip-service queue ("tqm.Vandrel.clipService"): poll, change step, store step,
        // publication of new clips.
        rx::SchedulerPtr clipScheduler;
        // The GUI thread: copies of the pasteboard's items are delivered there.
        rx::SchedulerPtr mainScheduler;
        // Where a failed read waits before it is tried again (the global queue); null: clipScheduler.
        rx::SchedulerPtr retryScheduler;
        // The database the duplicate check reads; empty fileURL: the default configuration.
        RealmConfiguration realmConfiguration;
        std::shared_ptr<SettingsStore> settings;
        // Where payload files go (AppInfo::clipCacheFolderUrl()).
        std::filesystem::path clipFolder;
        // Thumbnails and swatches; null: none are kept.
        std::shared_ptr<ClipImageCache> imageCache;
        // The default conveyor, the extra-clipboard service's; null: a new one.
        std::shared_ptr<ClipConveyor> clipConveyor;
        // The extra-clipboard service's active clipboard, read when content is captured; null: none.
        std::function<std::optional<VDClipboard>()> activeClipboard;
        // Started first by startMonitoring(), in order (the extra-clipboard service, then the cleaner).
        std::vector<std::function<void()>> companions;
        // Seconds since 1970 (a clip's updateTime); null: the system clock.
        std::function<std::int64_t()> now;
    };

    // Items larger than this are not kept (the setting clip_maxItemBytes, in MB).
    std::int64_t itemLimitBytes() const;
    // What an archive's own framing (item types, lengths) may add to the items' bytes.
    static constexpr std::int64_t kArchiveAllowance = 1024 * 1024;
    // The stored snapshot of a clip: its payload file, read only from the clip folder and only when it
    // holds no more than an item may (itemLimitBytes() and kArchiveAllowance); none, logged, otherwise.
    std::optional<VDClipData> clipData(const VDClip& clip) const;

    static std::shared_ptr<ClipService> make(Options options);
    ClipService(Passkey, Options options);
    ~ClipService();

    // The installed instance, or null; install() returns the one it replaces.
    static std::shared_ptr<ClipService> shared();
    static InstalledInstance<ClipService>& installed();
    static std::shared_ptr<ClipService> install(std::shared_ptr<ClipService> service);

    static constexpr rx::Duration normalInterval = std::chrono::milliseconds(250);
    static constexpr rx::Duration overloadInterval = std::chrono::milliseconds(3);
    static constexpr rx::Duration overloadTimeout = std::chrono::milliseconds(500);

    // Last change count taken as seen.
    rx::BehaviorRelay<std::int64_t> cachedChangeCount{0};
    // Names (VDClipData::availableTypesString) of the types that are stored; set before startMonitoring().
    std::vector<std::string> storeTypes = VDClipData::availableTypesString();
    // Where copied items go; the default conveyor unless a service switched to its own.
    rx::BehaviorRelay<std::shared_ptr<ClipConveyor>> activeClipConveyor;
    // True asks for fast polling (500 ms per true value).
    rx::BehaviorRelay<bool> isOverload{false};
    // Input of the store pipeline.
    rx::PublishSubject<ClipConveyor::ItemsDelivery> pasteboardItemsToStore;

    // Call once, at engine start, from any thread.
    void startMonitoring();

    // Takes the given count, or the pasteboard's current one, as seen.
    void recordChangeCount(std::optional<std::int64_t> changeCount = std::nullopt);

    // Opens a borrow and runs block with its completion, which the block calls (now or later) when the
    // program's own pasteboard work is done; the completion ends the borrow once, however often it is called.
    void borrowSystemClipboardWithoutNewClipCreatedOnce(std::function<void(std::function<void()> completion)> block);
    // Records the current change count, then closes one borrow.
    void endBorrowing();
    int passNewClipCreatedCount() const { return passNewClipCreatedCount_.load(); }

    // Copies the general pasteboard's items onto the active conveyor (see above).
    void shadowCopy();

    // Makes conveyor the active one when the default one is active, and returns what switches back; when
    // another service has switched already, logs "Switching conveyor fail" and returns an empty function.
    std::function<void()> switchConveyorTo(std::shared_ptr<ClipConveyor> conveyor);
    void stopOverload() { isOverload.accept(false); }

    // Removes the clip's thumbnail and queues its deletion from the database (its payload file stays until
    // the cleaner finds it orphaned).
    void deleteWith(const VDClip& clip);
    // Removes the thumbnail and payload file of a capture that is not kept (never stored).
    void discardFiles(const VDClip& clip);

    const std::shared_ptr<ClipConveyor>& clipConveyor() const { return defaultConveyor_; }
    const std::shared_ptr<Pasteboard>& generalPasteboard() const { return general_; }

private:
    // The change-count poll, where the pasteboard does not report its changes.
    void pollChanges(rx::DisposeBag& bag);
    // The pasteboard reported a change: look at its count on the clip queue.
    void changeReported();
    void onChange(std::int64_t changeCount);
    // Reads and delivers the pasteboard's items, unless equal to `previous` or, with `changeCount`, read after
    // the pasteboard moved past that count; `ended` gets the last content delivered (or `previous`).
    void copyItems(std::optional<std::vector<PasteboardItem>> previous, std::optional<std::int64_t> changeCount,
                   std::function<void(std::optional<std::vector<PasteboardItem>>)> ended);
    // A capture of a change: one at a time (see above).
    void capture(std::optional<std::vector<PasteboardItem>> previous, std::int64_t changeCount);
    void captureEnded(std::optional<std::vector<PasteboardItem>> read);
    void store(const ClipConveyor::ItemsDelivery& delivery);
    void save(const VDClipData& data, const std::optional<VDClipboard>& clipboard);
    std::vector<PasteboardType> keptTypes(const std::vector<PasteboardItem>& items) const;
    std::optional<VDClipboard> activeClipboard() const;
    RealmExpected<std::shared_ptr<Realm>> openRealm() const;

    const Options options_;
    const std::shared_ptr<Pasteboard> general_;
    const std::shared_ptr<ClipConveyor> defaultConveyor_;
    std::atomic<int> passNewClipCreatedCount_{0};
    std::atomic<bool> lookPending_{false};
    // The private pasteboard the store step reads a snapshot through.
    const std::shared_ptr<Pasteboard> middlePasteboard_;
    std::mutex captureMutex_;
    bool capturing_ = false;
    bool changedWhileCapturing_ = false;
    std::mutex bagMutex_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
