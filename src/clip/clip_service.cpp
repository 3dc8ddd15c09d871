#include "clip/clip_service.h"

#include <QUuid>
#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "clip/clip_utils.h"
#include "core/defaults_keys.h"
#include "core/installed_instance.h"
#include "core/log.h"
#include "rx/operators.h"

namespace vandrel {

namespace {

struct GetPasteboardItemsFail : std::runtime_error {
    GetPasteboardItemsFail() : std::runtime_error("The pasteboard gave no items (getPasteboardItemsFail)") {}
};
// Read again like a failed read (a copy in a terminal empties the clipboard first, and its content comes a
// moment later), but no error when it stays empty: nobody owns the clipboard.
struct PasteboardEmpty : std::runtime_error {
    PasteboardEmpty() : std::runtime_error("The pasteboard is empty") {}
};

std::string upperUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::string describe(const VDClipData& data)
{
    std::string out = "types: ";
    for (const auto& type : data.types) out += type + " ";
    out += "| text bytes: " + std::to_string(data.stringValue.size());
    if (data.image) out += " | image bytes: " + std::to_string(data.image->size());
    return out;
}

}  // namespace

std::shared_ptr<ClipService> ClipService::make(Options options)
{
    if (!options.clipConveyor) options.clipConveyor = ClipConveyor::make();
    return std::make_shared<ClipService>(Passkey{}, std::move(options));
}

ClipService::ClipService(Passkey, Options options)
    : activeClipConveyor(options.clipConveyor),
      options_(std::move(options)),
      general_(options_.pasteboards->general()),
      defaultConveyor_(options_.clipConveyor),
      middlePasteboard_(options_.pasteboards->named(kMiddlePasteboardName))
{
}

ClipService::~ClipService()
{
    if (general_->reportsChanges()) general_->setChangeHandler(nullptr);
}

InstalledInstance<ClipService>& ClipService::installed()
{
    static InstalledInstance<ClipService> slot;
    return slot;
}

std::shared_ptr<ClipService> ClipService::shared()
{
    return installed().get();
}

std::shared_ptr<ClipService> ClipService::install(std::shared_ptr<ClipService> service)
{
    return installed().set(std::move(service));
}

void ClipService::startMonitoring()
{
    log.info("startMonitoring");
    rx::DisposeBag bag;
    for (const auto& companion : options_.companions)
        if (companion) companion();

    std::weak_ptr<ClipService> weak = weak_from_this();
    const auto clip = options_.clipScheduler;
    // The first look compares against a count no pasteboard has, so it captures what is there at start.
    cachedChangeCount.accept(-1);
    if (general_->reportsChanges()) {
        // The pasteboard tells of each change: no poll, nothing runs while the clipboard rests.
        general_->setChangeHandler([weak] {
            if (auto self = weak.lock()) self->changeReported();
        });
        changeReported();
    } else {
        pollChanges(bag);
    }

    (pasteboardItemsToStore.asObservable() | rx::observeOn(clip))
        .subscribe([weak](const ClipConveyor::ItemsDelivery& d) {
            if (auto self = weak.lock()) self->store(d);
        })
        .disposed(bag);
    defaultConveyor_->pasteboardItemsConveyor
        .subscribe([weak](const ClipConveyor::ItemsDelivery& d) {
            if (auto self = weak.lock()) self->pasteboardItemsToStore.onNext(d);
        })
        .disposed(bag);

    std::lock_guard lock(bagMutex_);
    disposeBag_ = std::move(bag);
}

void ClipService::pollChanges(rx::DisposeBag& bag)
{
    std::weak_ptr<ClipService> weak = weak_from_this();
    const auto clip = options_.clipScheduler;
    auto normal = rx::interval(normalInterval, clip) | rx::map([](std::int64_t) { return true; });
    auto overload =
        isOverload.asObservable() | rx::filter([](bool on) { return on; }) | rx::flatMap([clip, weak](bool) {
            return rx::interval(overloadInterval, clip) | rx::take(overloadTimeout, clip) |
                   rx::filter([weak](std::int64_t) {
                       auto self = weak.lock();
                       return self && self->isOverload.value();
                   }) |
                   rx::map([](std::int64_t) { return true; });
        });
    auto changes = rx::merge(normal, overload) | rx::map([weak](bool) -> std::int64_t {
                       auto self = weak.lock();
                       return self ? self->general_->changeCount() : -1;
                   }) |
                   rx::withLatestFrom(cachedChangeCount.asObservable(),
                                      [](std::int64_t now, std::int64_t seen) { return std::make_pair(now, seen); }) |
                   rx::filter([](const std::pair<std::int64_t, std::int64_t>& counts) {
                       return counts.first >= 0 && counts.first != counts.second;
                   });
    changes
        .subscribe([weak](const std::pair<std::int64_t, std::int64_t>& counts) {
            if (auto self = weak.lock()) self->onChange(counts.first);
        })
        .disposed(bag);
}

void ClipService::changeReported()
{
    // One look on the clip queue answers every report made before it starts: a burst makes one capture.
    if (lookPending_.exchange(true)) return;
    std::weak_ptr<ClipService> weak = weak_from_this();
    options_.clipScheduler->schedule([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->lookPending_.store(false);
        const std::int64_t now = self->general_->changeCount();
        if (now >= 0 && now != self->cachedChangeCount.value()) self->onChange(now);
    });
}

void ClipService::onChange(std::int64_t changeCount)
{
    recordChangeCount(changeCount);
    const int borrowed = passNewClipCreatedCount_.load();
    if (borrowed >= 1) {
        log.info("prevent to create clip, passNewClipCreatedCount ->", borrowed);
        return;
    }
    // No lock is held around the copy: reading the desktop clipboard waits for the GUI thread, which starts
    // copies of its own (a paste's shadow copy), so a lock held across the read could deadlock the two. The
    // pasteboard and the conveyors are safe to use from both at once.
    if (activeClipConveyor.value() == defaultConveyor_) log.debug("start to create a clip data");
    // Otherwise a service switched to its own conveyor (the hotstring service) and gets the copy.
    {
        std::lock_guard lock(captureMutex_);
        if (capturing_) {
            changedWhileCapturing_ = true;
            log.debug("The clipboard changed while it is read: read again when that read ends");
            return;
        }
        capturing_ = true;
    }
    capture(std::nullopt, changeCount);
}

void ClipService::capture(std::optional<std::vector<PasteboardItem>> previous, std::int64_t changeCount)
{
    std::weak_ptr<ClipService> weak = weak_from_this();
    copyItems(std::move(previous), changeCount, [weak](std::optional<std::vector<PasteboardItem>> read) {
        if (auto self = weak.lock()) self->captureEnded(std::move(read));
    });
}

void ClipService::captureEnded(std::optional<std::vector<PasteboardItem>> read)
{
    {
        std::lock_guard lock(captureMutex_);
        if (!changedWhileCapturing_) {
            capturing_ = false;
            return;
        }
        changedWhileCapturing_ = false;
    }
    // This runs where the read ended (on the GUI thread); the next read starts where reads start, on the clip queue.
    std::weak_ptr<ClipService> weak = weak_from_this();
    options_.clipScheduler->schedule([weak, read = std::move(read)]() mutable {
        if (auto self = weak.lock()) self->capture(std::move(read), self->general_->changeCount());
    });
}

void ClipService::recordChangeCount(std::optional<std::int64_t> changeCount)
{
    log.debug("recordChangeCount ->", changeCount ? std::to_string(*changeCount) : std::string("nil"));
    cachedChangeCount.accept(changeCount ? *changeCount : general_->changeCount());
}

void ClipService::borrowSystemClipboardWithoutNewClipCreatedOnce(
    std::function<void(std::function<void()> completion)> block)
{
    const int count = ++passNewClipCreatedCount_;
    log.debug("borrowSystemClipboard start, borrowing count ->", count);
    std::weak_ptr<ClipService> weak = weak_from_this();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> completion = [weak, ended] {
        if (ended->exchange(true)) return;
        if (auto self = weak.lock()) self->endBorrowing();
    };
    if (block) block(std::move(completion));
}

void ClipService::endBorrowing()
{
    recordChangeCount();
    int count = passNewClipCreatedCount_.load();
    // Never below zero: an unmatched end must not make the next borrow ineffective.
    while (count > 0 && !passNewClipCreatedCount_.compare_exchange_weak(count, count - 1)) {
    }
    log.debug("borrowSystemClipboard end, borrowing count ->", std::max(count - 1, 0));
}

void ClipService::shadowCopy()
{
    copyItems(std::nullopt, std::nullopt, nullptr);
}

void ClipService::copyItems(std::optional<std::vector<PasteboardItem>> previous,
                            std::optional<std::int64_t> changeCount,
                            std::function<void(std::optional<std::vector<PasteboardItem>>)> ended)
{
    auto general = general_;
    const std::int64_t limit = itemLimitBytes();
    auto source = rx::Observable<std::vector<PasteboardItem>>::create(
        [general, limit, changeCount](rx::Observer<std::vector<PasteboardItem>> observer) -> rx::Disposable {
            // A read for a change the pasteboard has moved past (a retry, or a read the owner changed under)
            // would look at the later change, which its own look reads: it ends here, quietly, and is not retried.
            const auto movedOn = [&] {
                if (!changeCount || general->changeCount() == *changeCount) return false;
                log.debug("Shadow copy:", "the clipboard changed again; its own look reads it");
                observer.completed();
                return true;
            };
            if (movedOn()) return {};
            log.debug("Shadow copy:", "START");
            const auto read = general->boundedItems(limit);
            if (movedOn()) return {};
            if (read.stalled) {
                // The pasteboard said so once; asking again before it changes gives nothing.
                log.debug("Shadow copy:", "the owner does not hand over its content");
                observer.completed();
                return {};
            }
            if (read.skippedBytes > 0) {
                // Not an error: trying again would only read the same content.
                log.warning("The clipboard content is larger than the limit (clip_maxItemMegabytes): not kept ->",
                            std::to_string(read.skippedBytes / (1024 * 1024)) + " MB");
                observer.completed();
                return {};
            }
            const auto& items = read.items;
            if (items && !items->empty()) {
                observer.next(copy(*items));
                log.debug("Shadow copy:", "END");
                observer.completed();
            } else if (items) {
                observer.error(std::make_exception_ptr(PasteboardEmpty()));
            } else {
                log.error("pasteboardItems is nil");
                observer.error(std::make_exception_ptr(GetPasteboardItemsFail()));
            }
            return {};
        });
    const auto retry = options_.retryScheduler ? options_.retryScheduler : options_.clipScheduler;
    std::weak_ptr<ClipService> weak = weak_from_this();
    auto delivered = std::make_shared<bool>(false);
    // Ends by itself after the copy, the error or a skip; the pending retry keeps it alive meanwhile.
    (source | rx::delayRetry(rx::milliseconds(50), 5, retry) | rx::take(1) | rx::observeOn(options_.mainScheduler))
        .subscribe(
            [weak, previous, changeCount, ended, delivered](const std::vector<PasteboardItem>& items) {
                *delivered = true;
                auto self = weak.lock();
                if (self && changeCount && self->general_->changeCount() != *changeCount) {
                    log.debug("The clipboard changed again during the read: that read is not used");
                    if (ended) ended(previous);
                    return;
                }
                if (self && previous && *previous == items) {
                    log.debug("The clipboard has a new owner of the same content: no second copy");
                } else if (self) {
                    const auto conveyor = self->activeClipConveyor.value();
                    conveyor->pasteboardItemsConveyor.onNext({items, self->activeClipboard()});
                }
                if (ended) ended(items);
            },
            [previous, ended](std::exception_ptr e) {
                std::string why = "unknown";
                try {
                    std::rethrow_exception(e);
                } catch (const PasteboardEmpty&) {
                    log.debug("Shadow copy:", "the clipboard is empty");
                    if (ended) ended(previous);
                    return;
                } catch (const std::exception& error) {
                    why = error.what();
                } catch (...) {
                }
                log.error("Get pasteboardItems fail", why);
                if (ended) ended(previous);
            },
            [previous, ended, delivered] {
                // Skipped: nothing was read.
                if (!*delivered && ended) ended(previous);
            });
}

std::function<void()> ClipService::switchConveyorTo(std::shared_ptr<ClipConveyor> conveyor)
{
    if (activeClipConveyor.value() != defaultConveyor_ || !conveyor) {
        log.debug("Switching conveyor fail");
        return {};
    }
    activeClipConveyor.accept(std::move(conveyor));
    std::weak_ptr<ClipService> weak = weak_from_this();
    return [weak] {
        if (auto self = weak.lock()) self->activeClipConveyor.accept(self->defaultConveyor_);
    };
}

void ClipService::deleteWith(const VDClip& clip)
{
    if (!clip.thumbnailPath.empty() && options_.imageCache) options_.imageCache->removeObject(clip.thumbnailPath);
    const std::string key = clip.savedHash;
    auto realm = openRealm();
    if (!realm) {
        log.error("Cannot delete the clip: the database does not open ->", realm.error().what());
        return;
    }
    (*realm)->writeAsync(
        clip, [](const RealmError& error) { log.error("Deleting a clip failed ->", error.what()); },
        [key](Realm& r, VDClip&) { VDClip::remove(r, key); });
}

std::int64_t ClipService::itemLimitBytes() const
{
    const std::int64_t megabytes =
        std::max<std::int64_t>(1, options_.settings->get(DefaultsKeys::clip_maxItemMegabytes));
    return std::min<std::int64_t>(megabytes, std::int64_t{1} << 20) * 1024 * 1024;
}

std::optional<VDClipData> ClipService::clipData(const VDClip& clip) const
{
    return clip.vdClipData(options_.clipFolder, static_cast<std::uint64_t>(itemLimitBytes() + kArchiveAllowance));
}

void ClipService::discardFiles(const VDClip& clip)
{
    if (!clip.thumbnailPath.empty() && options_.imageCache) options_.imageCache->removeObject(clip.thumbnailPath);
    if (ClipUtils::isOwnPayload(options_.clipFolder, clip.dataPath)) ClipUtils::deleteData(clip.dataPath);
}

std::optional<VDClipboard> ClipService::activeClipboard() const
{
    return options_.activeClipboard ? options_.activeClipboard() : std::nullopt;
}

RealmExpected<std::shared_ptr<Realm>> ClipService::openRealm() const
{
    if (options_.realmConfiguration.fileURL.empty()) return Realm::open();
    return Realm::open(options_.realmConfiguration);
}

std::vector<PasteboardType> ClipService::keptTypes(const std::vector<PasteboardItem>& items) const
{
    std::vector<PasteboardType> kept;
    for (const auto& item : items) {
        for (const auto& type : item.types()) {
            const auto name = VDClipData::availableTypeName(type);
            if (!name || std::find(storeTypes.begin(), storeTypes.end(), *name) == storeTypes.end()) continue;
            if (std::find(kept.begin(), kept.end(), type) == kept.end()) kept.push_back(type);
        }
    }
    return kept;
}

void ClipService::store(const ClipConveyor::ItemsDelivery& delivery)
{
    const auto& [items, clipboard] = delivery;
    if (storeTypes.empty()) {
        log.warning("storeTypes.count == 0");
        return;
    }
    std::int64_t bytes = 0;
    for (const auto& item : items)
        for (const auto& type : item.types())
            if (const auto data = item.data(type)) bytes += static_cast<std::int64_t>(data->size());
    if (bytes > itemLimitBytes()) {
        log.warning("The clipboard content is larger than the limit (clip_maxItemMegabytes): not kept ->",
                    std::to_string(bytes / (1024 * 1024)) + " MB");
        return;
    }
    if (isConcealed(items)) {
        log.info("The clipboard holds content a password manager marked secret: not kept in the history");
        return;
    }
    const auto types = keptTypes(items);
    if (types.empty()) {
        log.warning("types.isEmpty");
        return;
    }
    log.debug("clip types ->", types);
    middlePasteboard_->clearContents();
    middlePasteboard_->writeObjects(copy(items));
    const auto data = VDClipData::make(*middlePasteboard_, types);
    middlePasteboard_->clearContents();
    if (!data) {
        log.error("Create VDClipData fail");
        return;
    }
    log.info("Start to save clipdata ->", describe(*data));
    save(*data, clipboard);
}

void ClipService::save(const VDClipData& data, const std::optional<VDClipboard>& clipboard)
{
    auto realm = openRealm();
    if (!realm) {
        log.error("The clip is not kept: the database does not open ->", realm.error().what());
        return;
    }
    const auto& settings = *options_.settings;
    const std::string hash = std::to_string(data.hash());
    try {
        if (!settings.get(DefaultsKeys::clip_isCopySameHistory) && VDClip::object(**realm, hash)) {
            log.debug("The same content is stored already, not kept again ->", hash);
            return;
        }
    } catch (const std::exception& e) {
        log.error("The clip is not kept: the database cannot be read ->", e.what());
        return;
    }
    if (data.types == std::vector<PasteboardType>{PasteboardTypes::string} && data.stringValue.empty()) return;

    const std::string fileName = upperUuid();
    VDClip clip;
    clip.savedHash = settings.get(DefaultsKeys::clip_isOverwriteSameHistory) ? hash : upperUuid();
    clip.dataPath = (options_.clipFolder / (fileName + ".data")).string();
    clip.stringData = ClipUtils::prefixOfCharacters(data.stringValue, kStringDataLimit);
    clip.dataHash = hash;
    clip.updateTime =
        options_.now
            ? options_.now()
            : std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                  .count();
    clip.primaryType = data.types.empty() ? std::string() : data.types.front();

    if (!ClipUtils::prepareSaveToPath(options_.clipFolder)) {
        log.error("The clip is not kept: its folder cannot be made ->", options_.clipFolder.string());
        return;
    }
    if (!data.archive(clip.dataPath)) return;

    // Images go in once the payload is safe, so a failed capture leaves none behind.
    const auto maker = options_.pasteboards->thumbnails();
    const auto thumbnail =
        maker ? data.thumbnailImage(*maker, static_cast<int>(settings.get(DefaultsKeys::clip_thumbnailWidth)),
                                    static_cast<int>(settings.get(DefaultsKeys::clip_thumbnailHeight)))
              : std::nullopt;
    const auto swatch = maker ? data.colorCodeImage(*maker) : std::nullopt;
    if (thumbnail || swatch) clip.thumbnailPath = clip.savedHash;
    if (swatch) clip.typeForVD = "colorCode";
    if (options_.imageCache) {
        if (thumbnail) options_.imageCache->setObject(*thumbnail, clip.savedHash);
        if (swatch) options_.imageCache->setObject(*swatch, clip.savedHash);
    }

    log.info("past new created clip to allClipHistory");
    const auto conveyor = activeClipConveyor.value();
    options_.clipScheduler->schedule([conveyor, clip, clipboard] {
        conveyor->vdClipConveyor.onNext({clip, clipboard});
    });
}

}  // namespace vandrel
