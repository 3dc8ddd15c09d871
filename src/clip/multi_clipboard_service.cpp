#include "clip/multi_clipboard_service.h"

#include "clip/clip_utils.h"
#include "clip/vd_clip_data.h"
#include "core/installed_instance.h"
#include "core/log.h"

namespace vandrel {

namespace {

std::string describe(const std::optional<VDClip>& clip)
{
    if (!clip) return "<none>";
    return "savedHash: " + clip->savedHash + ", dataHash: " + clip->dataHash + ", dataPath: " + clip->dataPath;
}

// The user's paste keys: the original idiom and the Linux ones (Ctrl+V, Ctrl+Shift+V in a terminal).
const std::vector<VDKey>& pasteKeys()
{
    static const std::vector<VDKey> keys{VDKey(9, {55}), VDKey(9, {59}), VDKey(9, {56, 59})};
    return keys;
}

// Runs once, whichever of its callers comes first.
struct Once {
    std::atomic<bool> fired{false};
    bool claim() { return !fired.exchange(true); }
};

}  // namespace

std::shared_ptr<MultiClipboardService> MultiClipboardService::make(Options options)
{
    return std::make_shared<MultiClipboardService>(Passkey{}, std::move(options));
}

MultiClipboardService::MultiClipboardService(Passkey, Options options)
    : options_(std::move(options)), clipConveyor_(options_.clipConveyor ? options_.clipConveyor : ClipConveyor::make())
{
}

MultiClipboardService::~MultiClipboardService()
{
    if (unblockPasteKeys_) unblockPasteKeys_();
}

InstalledInstance<MultiClipboardService>& MultiClipboardService::installed()
{
    static InstalledInstance<MultiClipboardService> slot;
    return slot;
}

std::shared_ptr<MultiClipboardService> MultiClipboardService::shared()
{
    return installed().get();
}

std::shared_ptr<MultiClipboardService> MultiClipboardService::install(std::shared_ptr<MultiClipboardService> service)
{
    return installed().set(std::move(service));
}

void MultiClipboardService::loadBoards() const
{
    std::call_once(boardsLoaded_, [this] { buildBoards(); });
}

void MultiClipboardService::buildBoards() const
{
    auto useMemory = [this](const std::string& why) {
        log.error("The clipboards are kept in memory for this run: the database does not open ->", why);
        inMemory_ = true;
        boards_.clear();
        for (std::int64_t id = 0; id <= 2; ++id) boards_[id].record = VDClipboard{id, kDefaultHistorySize};
    };
    auto realm = openRealm();
    if (!realm) return useMemory(realm.error().what());
    try {
        for (std::int64_t id = 0; id <= 2; ++id) {
            auto stored = VDClipboard::object(**realm, id);
            if (!stored) {
                stored = VDClipboard{id, kDefaultHistorySize};
                (*realm)->write([&] { VDClipboard::add(**realm, *stored, RealmUpdatePolicy::error); });
            }
            boards_[id].record = *stored;
        }
    } catch (const std::exception& e) {
        useMemory(e.what());
    }
}

MultiClipboardService::Board& MultiClipboardService::board(std::int64_t id)
{
    loadBoards();
    return boards_.at(id);
}

const MultiClipboardService::Board* MultiClipboardService::findBoard(std::int64_t id) const
{
    loadBoards();
    const auto it = boards_.find(id);
    return it == boards_.end() ? nullptr : &it->second;
}

std::vector<VDClipboard> MultiClipboardService::clipboardTable() const
{
    loadBoards();
    std::vector<VDClipboard> table;
    for (const auto& [id, b] : boards_) table.push_back(b.record);
    return table;
}

std::optional<VDClipboard> MultiClipboardService::clipboard(std::int64_t id) const
{
    const Board* b = findBoard(id);
    return b ? std::optional<VDClipboard>(b->record) : std::nullopt;
}

std::vector<VDClip> MultiClipboardService::clipHistory(std::int64_t id) const
{
    const Board* b = findBoard(id);
    if (!b) return {};
    if (isInMemory()) return b->memoryHistory;
    auto realm = openRealm();
    if (!realm) {
        log.error("The clipboard's history cannot be read: the database does not open ->", realm.error().what());
        return {};
    }
    try {
        return b->record.clipHistory(**realm);
    } catch (const std::exception& e) {
        log.error("The clipboard's history cannot be read ->", e.what());
        return {};
    }
}

std::optional<VDClip> MultiClipboardService::lastClip(std::int64_t id) const
{
    auto history = clipHistory(id);
    if (history.empty()) return std::nullopt;
    return history.back();
}

std::optional<VDClipboard> MultiClipboardService::activeClipboardRecord() const
{
    const auto id = activeClipboard.value();
    return id ? clipboard(*id) : std::nullopt;
}

bool MultiClipboardService::isInMemory() const
{
    loadBoards();
    return inMemory_;
}

std::set<std::int64_t> MultiClipboardService::copyingClipboardIds() const
{
    loadBoards();
    std::set<std::int64_t> ids;
    for (const auto& [id, b] : boards_)
        if (b.isCopying->value()) ids.insert(id);
    return ids;
}

bool MultiClipboardService::isCopying(std::int64_t id) const
{
    const Board* b = findBoard(id);
    return b && b->isCopying->value();
}

std::optional<std::vector<PasteboardItem>> MultiClipboardService::shadowItems(std::int64_t id) const
{
    const Board* b = findBoard(id);
    return b ? b->nsPasteboardItems : std::nullopt;
}

void MultiClipboardService::post(const VDActionPtr& action) const
{
    if (options_.postKeys)
        options_.postKeys(action);
    else
        action->post();
}

RealmExpected<std::shared_ptr<Realm>> MultiClipboardService::openRealm() const
{
    if (options_.realmConfiguration.fileURL.empty()) return Realm::open();
    return Realm::open(options_.realmConfiguration);
}

// --- monitoring ---

void MultiClipboardService::startMonitoring()
{
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    const auto main = options_.mainScheduler;

    (clipConveyor_->pasteboardItemsConveyor.asObservable() | rx::observeOn(main))
        .subscribe([weak](const ClipConveyor::ItemsDelivery& delivery) {
            auto self = weak.lock();
            if (!self) return;
            const auto& [items, clipboard] = delivery;
            if (!clipboard || !self->findBoard(clipboard->id)) {
                log.error("Must provide a clipboard");
                return;
            }
            log.info("Get a shadowNSPasteboardItems into clipboard, [clipboard.id, pasteboardItems] ->",
                     std::vector<std::int64_t>{clipboard->id, static_cast<std::int64_t>(items.size())});
            self->board(clipboard->id).nsPasteboardItems = items;
        })
        .disposed(disposeBag_);

    activeClipboard
        .subscribe([](const std::optional<std::int64_t>& id) {
            if (id) log.debug("activeClipboard.id ->", *id);
        })
        .disposed(disposeBag_);

    (clipConveyor_->vdClipConveyor.asObservable() | rx::observeOn(main))
        .subscribe([weak](const ClipConveyor::ClipDelivery& delivery) {
            auto self = weak.lock();
            if (!self || !delivery.second) return;
            self->onNewClip(delivery.first, delivery.second->id);
        })
        .disposed(disposeBag_);

    willRestore_
        .subscribe([weak](bool pending) {
            if (auto self = weak.lock()) self->watchPasteKey(pending);
        })
        .disposed(disposeBag_);
}

void MultiClipboardService::onNewClip(const VDClip& clip, std::int64_t id)
{
    log.debug("MultiClip clip.dataHash [clipboard.id, clip.dataHash] ->",
              std::vector<std::string>{std::to_string(id), clip.dataHash});
    if (!findBoard(id)) {
        log.error("A clip for an unknown clipboard is dropped ->", id);
        return;
    }
    const auto transfer = systemClipboardHistory.value();
    if (transfer && transfer->dataHash == clip.dataHash) board(id).reservingClip = clip;
    log.info("start to save a new clip, [clipboard.id, clip.dataHash] ->",
             std::vector<std::string>{std::to_string(id), clip.dataHash});
    const auto last = lastClip(id);
    const bool same = last && last->dataHash == clip.dataHash;
    if (id == kSystemId) {
        if (same) {
            log.debug("copy same thing into system clipboard, no need to store it, discard it...");
            discard(clip, last);
            return;
        }
        log.debug("store clip to transfer clipboard");
        systemClipboardHistory.accept(clip.deepCopy());
        storeClipWithClipboard(clip, id);
        return;
    }
    validClipForExtraClipboard.onNext(clip.deepCopy());
    if (same) {
        log.debug("copy same thing into extra clipboard, it's a valid clip, but no need to store it, discard it...");
        discard(clip, last);
        return;
    }
    storeClipWithClipboard(clip, id);
}

void MultiClipboardService::discard(const VDClip& clip, const std::optional<VDClip>& kept)
{
    const bool sharesFiles = kept && (kept->savedHash == clip.savedHash || kept->dataPath == clip.dataPath);
    if (sharesFiles) return;
    options_.clipService->discardFiles(clip);
}

void MultiClipboardService::storeClipWithClipboard(const VDClip& clip, std::int64_t id)
{
    if (isInMemory()) {
        auto& history = board(id).memoryHistory;
        history.push_back(clip);
        // Nothing cleans memory boards later: keep them at their size now.
        const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(1, board(id).record.maxHistorySize));
        if (history.size() > keep) history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(keep));
        afterStored(id);
        return;
    }
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    const VDClipboard record = board(id).record;
    auto job = [weak, clip, record] {
        auto self = weak.lock();
        if (!self) {
            log.error("Failed to get strong self");
            return;
        }
        auto realm = self->openRealm();
        if (!realm) {
            log.error(realm.error().what());
            return;
        }
        try {
            if (!record.resolve(**realm)) {
                log.error("The clip is not stored: its clipboard is gone from the database ->", record.id);
                return;
            }
            (*realm)->write([&] { record.appendToHistory(**realm, clip); });
        } catch (const std::exception& e) {
            log.error("The clip is not stored ->", e.what());
            return;
        }
        self->options_.mainScheduler->schedule([weak, id = record.id] {
            if (auto self = weak.lock()) self->afterStored(id);
        });
    };
    if (options_.databaseScheduler)
        options_.databaseScheduler->schedule(std::move(job));
    else
        options_.mainScheduler->schedule(std::move(job));
}

void MultiClipboardService::afterStored(std::int64_t id)
{
    if (id != kSystemId) subscribeToRestoreSystemClipboard(rx::Duration::zero());
}

void MultiClipboardService::watchPasteKey(bool pending)
{
    const auto& input = options_.keyInput;
    if (!input.blockKeydown) return;
    if (pending) {
        {
            std::lock_guard lock(pasteKeyGuard_.mutex);
            pasteKeyGuard_.restorePending = true;
        }
        pasteKeyBag_ = rx::DisposeBag{};
        if (unblockPasteKeys_) return;  // still watching since the last restore
        std::weak_ptr<MultiClipboardService> weak = weak_from_this();
        auto when = [weak](const KeyEvent& event) {
            const auto self = weak.lock();
            return self && self->holdPasteKey(event);
        };
        std::vector<std::function<void()>> unblocks;
        for (const auto& key : pasteKeys()) unblocks.push_back(input.blockKeydown(key, when));
        unblockPasteKeys_ = [unblocks] {
            for (const auto& unblock : unblocks)
                if (unblock) unblock();
        };
        return;
    }
    std::vector<std::shared_ptr<OrderBarrier>> waiting;
    {
        std::lock_guard lock(pasteKeyGuard_.mutex);
        if (!pasteKeyGuard_.restorePending) return;
        pasteKeyGuard_.restorePending = false;
        pasteKeyGuard_.restoreEnded = options_.mainScheduler->now();
        waiting.swap(pasteKeyGuard_.waiting);
    }
    if (!waiting.empty())
        log.info("The paste keys stroked during the restore paste the user's content now ->", waiting.size());
    for (const auto& barrier : waiting) pasteUsersContent(barrier);
    endPasteKeyWatch(OrderBarrier::maxHold);
}

bool MultiClipboardService::holdPasteKey(const KeyEvent& event)
{
    {
        std::lock_guard lock(pasteKeyGuard_.mutex);
        if (!pasteKeyGuard_.restorePending && event.timestamp >= pasteKeyGuard_.restoreEnded) return false;
        pasteKeyGuard_.lastHeld = options_.mainScheduler->now();
    }
    // The keys typed after it wait behind it, so its paste comes before them and into the window it was typed in.
    const auto& open = options_.keyInput.openOrderBarrier;
    auto barrier = open ? open() : nullptr;
    {
        std::lock_guard lock(pasteKeyGuard_.mutex);
        if (pasteKeyGuard_.restorePending) {
            pasteKeyGuard_.waiting.push_back(std::move(barrier));
            return true;
        }
    }
    // Stroked during the restore and seen after it: it waited behind an earlier one, and pastes now.
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    options_.mainScheduler->schedule([weak, barrier] {
        if (auto self = weak.lock())
            self->pasteUsersContent(barrier);
        else if (barrier)
            barrier->release();
    });
    return true;
}

void MultiClipboardService::pasteUsersContent(const std::shared_ptr<OrderBarrier>& barrier)
{
    // The paste service keeps the keys behind the stroke until its target has the content, and a later restore
    // waits for that fetch.
    const OrderBarrier::Scope scope(barrier);
    options_.pasteService->pasteNow();
    if (barrier && !scope.kept()) barrier->release();
}

void MultiClipboardService::endPasteKeyWatch(rx::Duration after)
{
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    options_.mainScheduler
        ->scheduleAfter(after,
                        [weak] {
                            const auto self = weak.lock();
                            if (!self) return;
                            rx::Duration left{};
                            {
                                auto& guard = self->pasteKeyGuard_;
                                std::lock_guard lock(guard.mutex);
                                if (guard.restorePending) return;
                                // Whatever waited behind the last one withheld is through once its hold ended.
                                left = guard.lastHeld + OrderBarrier::maxHold - self->options_.mainScheduler->now();
                            }
                            if (left > rx::Duration::zero()) return self->endPasteKeyWatch(left);
                            if (self->unblockPasteKeys_) std::exchange(self->unblockPasteKeys_, {})();
                        })
        .disposed(pasteKeyBag_);
}

// --- restoring the system pasteboard ---

void MultiClipboardService::subscribeToRestoreSystemClipboard(rx::Duration waitingTimeBeforeRestore,
                                                              std::function<void()> callback)
{
    if (willRestore_.value() && !retryPending_) {
        log.debug("willRestoreSystemClipboard is true, discard this subscription");
        if (callback) callback();
        return;
    }
    if (willRestore_.value()) {
        // The program writes the clipboard before the refused restore's next try: that try would write over it.
        log.info("A new copy or paste takes over the clipboard restore that was to be tried again");
        if (auto earlier = cancelRetry()) earlier();
    } else {
        willRestore_.accept(true);
    }
    log.debug("subscribe to restore SystemClipboard");

    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    // May run on any scheduler: it only reads the pending flag and schedules the restore on the main one.
    std::function<void()> restore = [weak, waitingTimeBeforeRestore, callback] {
        auto self = weak.lock();
        if (!self) {
            log.error("Failed to get strong self");
            if (callback) callback();
            return;
        }
        if (!self->willRestore_.value()) {
            if (callback) callback();
            return;
        }
        self->runRestore(waitingTimeBeforeRestore, callback);
    };

    restoreBag_ = rx::DisposeBag{};
    const auto active = activeClipboard.value();
    if (!active || !findBoard(*active)) {
        log.debug("activeClipboard.value is nil");
        restore();
        return;
    }
    const auto copying = board(*active).isCopying;
    if (copying->value()) {
        log.verbose("Waiting for isCopying fail");
        auto once = std::make_shared<Once>();
        copying
            ->subscribe([once, restore](bool isCopying) {
                if (isCopying || !once->claim()) return;
                log.debug("activeClipboard.isCopying is false");
                restore();
            })
            .disposed(restoreBag_);
        return;
    }
    const auto& input = options_.keyInput;
    if (!input.isCapsDown || !input.isCapsDown()) {
        log.verbose("isCapsDown is false");
        restoreWhenCapsUp(active, restore);
        return;
    }
    log.verbose("waiting for capsUp then restore");
    auto once = std::make_shared<Once>();
    const auto main = options_.mainScheduler;
    auto capsUp = [weak, once, main, active, restore](bool timedOut) {
        if (!once->claim()) return;
        if (timedOut) log.warning("The Caps release was not seen within 5 s: the clipboard is restored now");
        main->schedule([weak, active, restore] {
            if (auto self = weak.lock()) self->restoreWhenCapsUp(active, restore);
        });
    };
    if (input.onCapsUp) input.onCapsUp([capsUp] { capsUp(false); }).disposed(restoreBag_);
    main->scheduleAfter(kCapsUpBound, [capsUp] { capsUp(true); }).disposed(restoreBag_);
}

void MultiClipboardService::restoreWhenCapsUp(std::optional<std::int64_t> active, std::function<void()> restore)
{
    const auto clipService = options_.clipService;
    const auto clip = options_.clipScheduler ? options_.clipScheduler : options_.mainScheduler;
    auto once = std::make_shared<Once>();
    const bool copying = active && findBoard(*active) && board(*active).isCopying->value();
    if (copying) {
        auto done = [once, restore] {
            if (!once->claim()) return;
            log.verbose("isCopying onDisposed");
            restore();
        };
        board(*active)
            .isCopying
            ->subscribe([done](bool isCopying) {
                if (!isCopying) done();
            })
            .disposed(restoreBag_);
        clip->scheduleAfter(kCopyingWait, done).disposed(restoreBag_);
        return;
    }
    const std::int64_t current = clipService->cachedChangeCount.value();
    log.debug("restoreWhenCapsUp -> changeCount", current);
    const auto global = options_.globalScheduler ? options_.globalScheduler : options_.mainScheduler;
    auto finish = [once, global, clipService, restore] {
        if (!once->claim()) return false;
        global->scheduleAfter(kRestoreDelay, restore);
        clipService->isOverload.accept(false);
        return true;
    };
    clipService->cachedChangeCount
        .subscribe([current, finish](std::int64_t count) {
            if (count == current) return;
            if (finish()) log.debug("restoreWhenCapsUp -> changeCount2", count);
        })
        .disposed(restoreBag_);
    clip->scheduleAfter(kChangeCountWait,
                        [finish] {
                            if (finish()) log.warning("restoreWhenCapsUp -> timeout");
                        })
        .disposed(restoreBag_);
    if (!once->fired.load()) clipService->isOverload.accept(true);
}

void MultiClipboardService::runRestore(rx::Duration wait, const std::function<void()>& callback)
{
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    const auto main = options_.mainScheduler;
    const auto paste = options_.pasteService;
    // After the wait, and once the target of every paste has fetched what was pasted.
    main->scheduleAfter(wait, [weak, callback, main, paste] {
        if (paste && paste->hasPendingPaste()) log.debug("The clipboard is put back once the paste is fetched");
        auto restore = [weak, callback] {
            auto self = weak.lock();
            if (self && self->willRestore_.value() && !self->retryPending_)
                self->restoreAttempt(1, callback);
            else if (callback)
                callback();
        };
        if (!paste || !paste->hasPendingPaste()) return restore();
        paste->whenPastesSettled([main, restore] { main->schedule(restore); });
    });
}

void MultiClipboardService::restoreAttempt(int attempt, std::function<void()> callback)
{
    auto restored = restoreClipFromShadowNSPasteboardItems();
    if (restored == Restored::nothing) restored = restoreClipFromTransferClipboard();
    if (restored != Restored::refused) return endRestore(callback);
    if (attempt >= kRestoreAttempts) {
        log.error("The user's clipboard content could not be put back: the desktop clipboard refused it " +
                  std::to_string(attempt) + " times");
        return endRestore(callback);
    }
    log.warning("The desktop clipboard refused the user's content: the restore is tried again in 100 ms");
    // Capture stays off until the last try, so the change that refused this one makes no clip.
    if (!retryBorrow_) retryBorrow_ = beginBorrowing();
    retryPending_ = true;
    retryCallback_ = std::move(callback);
    // Once the toolkit has handled the notice of the change that refused this try, its writes are taken again.
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    options_.mainScheduler
        ->scheduleAfter(kRestoreDelay,
                        [weak, attempt] {
                            auto self = weak.lock();
                            if (!self || !self->retryPending_) return;
                            self->retryPending_ = false;
                            self->restoreAttempt(attempt + 1, std::exchange(self->retryCallback_, {}));
                        })
        .disposed(retryBag_);
}

std::function<void()> MultiClipboardService::cancelRetry()
{
    if (!retryPending_) return {};
    retryPending_ = false;
    retryBag_ = rx::DisposeBag{};
    if (retryBorrow_) std::exchange(retryBorrow_, {})();
    return std::exchange(retryCallback_, {});
}

void MultiClipboardService::endRestore(const std::function<void()>& callback)
{
    if (retryBorrow_) std::exchange(retryBorrow_, {})();
    options_.clipService->recordChangeCount();
    willRestore_.accept(false);
    if (callback) callback();
}

void MultiClipboardService::finishPendingRestore()
{
    if (!willRestore_.value()) return;
    log.info("A clipboard restore is pending as the program stops: restoring now");
    restoreBag_ = rx::DisposeBag{};
    // One try only: nothing is left to try again later.
    auto callback = cancelRetry();
    auto restored = restoreClipFromShadowNSPasteboardItems();
    if (restored == Restored::nothing) restored = restoreClipFromTransferClipboard();
    if (restored == Restored::refused)
        log.error("The user's clipboard content could not be put back: the desktop clipboard refused it");
    endRestore(callback);
    // A paste's borrow ends with the system board active again; a copy's wait has nothing left to do.
    systemClipboardHardReturnerDisposeBag_ = rx::DisposeBag{};
}

MultiClipboardService::Restored MultiClipboardService::restoreClipFromShadowNSPasteboardItems()
{
    log.info("restore by pasteboardItems start");
    const auto items = board(kSystemId).nsPasteboardItems;
    if (!items) {
        log.info("pasteboardItems is nil, restore fail");
        activeClipboard.accept(kSystemId);
        return Restored::nothing;
    }
    bool written = false;
    options_.clipService->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
        written = options_.pasteService->copyToPasteboard(*items, false);
        activeClipboard.accept(kSystemId);
        done();
    });
    if (!written) return Restored::refused;
    log.info("restore done");
    return Restored::done;
}

MultiClipboardService::Restored MultiClipboardService::restoreClipFromTransferClipboard()
{
    log.info("restore start");
    const auto clip = systemClipboardHistory.value();
    if (!clip) {
        log.warning("systemClipboardHistory is empty, not restores anything");
        activeClipboard.accept(kSystemId);
        return Restored::nothing;
    }
    bool written = false;
    // The clearing is the program's own change too: inside the borrow, so it makes no clip.
    options_.clipService->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
        options_.general->clearContents();
        written = options_.pasteService->copyToPasteboard(*clip);
        activeClipboard.accept(kSystemId);
        done();
    });
    if (!written) return Restored::refused;
    log.info("restore done");
    return Restored::done;
}

// --- copy and paste ---

void MultiClipboardService::copyToClipboard(std::int64_t id, bool isCut)
{
    log.debug("copyToClipboard -> ", id);
    if (!findBoard(id)) {
        log.error("There is no clipboard with this id ->", id);
        return;
    }
    auto& target = board(id);
    target.isCopying->accept(true);
    activeClipboard.accept(id);
    if (id != kSystemId) {
        target.reservingClip.reset();
        subscribeToRestoreSystemClipboard(rx::Duration::zero());
    }
    options_.clipService->isOverload.accept(true);

    // The first valid clip within the attempts ends the copy; none ends it as a failure.
    struct Wait {
        Once once;
        rx::Disposable clip;
        rx::Disposable timer;
    };
    auto wait = std::make_shared<Wait>();
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    const auto main = options_.mainScheduler;
    wait->clip = validClipForExtraClipboard.subscribe([weak, wait, id](const VDClip& clip) {
        auto self = weak.lock();
        if (!self || !wait->once.claim()) return;
        wait->timer.dispose();
        wait->clip.dispose();
        self->options_.clipService->stopOverload();
        self->resetCopyState(id,
                             clip.stringData.empty() ? std::chrono::milliseconds(200) : std::chrono::milliseconds(100));
    });
    const auto clip = options_.clipScheduler ? options_.clipScheduler : main;
    wait->timer = clip->scheduleAfter(kCopyAttempt * kCopyAttempts, [weak, wait, main, id] {
        main->schedule([weak, wait, id] {
            auto self = weak.lock();
            if (!self || !wait->once.claim()) return;
            wait->clip.dispose();
            self->copyFailed(id);
        });
    });

    systemClipboardHardReturnerDisposeBag_ = rx::DisposeBag{};
    if (copyFromSelection()) return;
    if (isCut) {
        post(ClipUtils::cmdX());
    } else {
        log.verbose("copy sent...");
        post(ClipUtils::cmdC());
        log.debug("have sent copy action");
    }
}

bool MultiClipboardService::copyFromSelection()
{
    const auto keys = options_.frontmostTerminalKeys ? options_.frontmostTerminalKeys() : std::nullopt;
    if (keys != TerminalClipboardKeys::selection) return false;
    // Any Ctrl stroke would reach the program in the terminal as a control character.
    log.info("The terminal has no copy key: its selection is taken from the PRIMARY selection");
    const auto items = options_.selection ? options_.selection->pasteboardItems() : std::nullopt;
    if (!items || items->empty()) {
        log.warning("The PRIMARY selection is empty: nothing to copy");
        return true;
    }
    // Not borrowed: the capture service takes this write as the copy.
    options_.pasteService->copyToPasteboard(*items, false);
    return true;
}

void MultiClipboardService::copyFailed(std::int64_t id)
{
    log.warning("copy fail");
    auto& target = board(id);
    if (target.reservingClip) {
        storeClipWithClipboard(*target.reservingClip, id);
    } else {
        const auto app = options_.frontmostApplication ? options_.frontmostApplication() : std::nullopt;
        const std::string name = app && app->localizedName ? *app->localizedName : "the app";
        const std::string bundle =
            app && app->bundleIdentifier ? *app->bundleIdentifier : std::string("<Get appBundleId Fail>");
        log.warning("Copy Nothing from " + name + "(" + bundle + ") into extraClipboard " + std::to_string(id));
    }
    resetCopyState(id, rx::Duration::zero());
}

void MultiClipboardService::resetCopyState(std::int64_t id, rx::Duration delay)
{
    std::weak_ptr<MultiClipboardService> weak = weak_from_this();
    auto reset = [weak, id] {
        auto self = weak.lock();
        if (!self) return;
        log.debug("set isCopying to false");
        self->board(id).isCopying->accept(false);
    };
    if (delay == rx::Duration::zero())
        reset();
    else
        options_.mainScheduler->scheduleAfter(delay, reset);
}

std::function<void()> MultiClipboardService::beginBorrowing()
{
    std::function<void()> end;
    options_.clipService->borrowSystemClipboardWithoutNewClipCreatedOnce(
        [&end](std::function<void()> done) { end = std::move(done); });
    return end;
}

void MultiClipboardService::installEndStep(std::function<void()> endBorrowing)
{
    auto once = std::make_shared<Once>();
    auto endStep = [once, endBorrowing](bool byWatchdog) {
        if (!once->claim()) return;
        if (byWatchdog)
            log.warning("The clipboard lent out for a paste was not given back within 10 s: capture resumes now");
        log.info("return system clipboard");
        endBorrowing();
    };
    activeClipboard
        .subscribe([endStep](const std::optional<std::int64_t>& id) {
            if (id && *id == kSystemId) endStep(false);
        })
        .disposed(systemClipboardHardReturnerDisposeBag_);
    rx::Disposable::create([endStep] { endStep(false); }).disposed(systemClipboardHardReturnerDisposeBag_);
    options_.mainScheduler->scheduleAfter(kBorrowWatchdog, [endStep] { endStep(true); });
}

void MultiClipboardService::pasteLastFromClipboard(std::int64_t id, bool isPastePlainText)
{
    const auto active = activeClipboard.value();
    log.info("0. clipboard.id, activeClipboard.id, isPastePlainText ->",
             std::vector<std::string>{std::to_string(id), active ? std::to_string(*active) : std::string("nil"),
                                      isPastePlainText ? "true" : "false"});
    if (!findBoard(id)) {
        log.error("There is no clipboard with this id ->", id);
        return;
    }
    if (prevActiveClipboardAndIsPastePlainText_ == std::pair(id, isPastePlainText) && active == id) {
        log.info("1. the clipboard is actived now, paste directly");
        // Through the paste service, so the pending restore also waits for this paste's fetch.
        options_.pasteService->pasteNow();
        return;
    }
    log.info("2. the clipboard is NOT actived now");
    if (const auto copyingIds = copyingClipboardIds(); !copyingIds.empty()) {
        std::string ids;
        for (const auto copying : copyingIds) ids += (ids.empty() ? "" : ", ") + std::to_string(copying);
        log.info("3. abort to paste, cuase these clipboards are copying ->", ids);
        return;
    }
    auto& source = board(id);
    if (source.nsPasteboardItems) {
        log.info("4.1 start to copy pasteboardItems to clipboard, clipboard.id ->", id);
        auto end = beginBorrowing();
        subscribeToRestoreSystemClipboard(rx::Duration::zero());
        activeClipboard.accept(id);
        options_.pasteService->copyToPasteboard(*source.nsPasteboardItems, isPastePlainText);
        options_.pasteService->paste();
        prevActiveClipboardAndIsPastePlainText_ = std::pair(id, isPastePlainText);
        installEndStep(std::move(end));
        return;
    }
    log.info("4.2 start to copy VDClip to clipboard");
    const auto clip = lastClip(id);
    if (!clip) {
        log.info("4.3 clipboad.clipHistory is empty, clipboard.id ->", id);
        return;
    }
    log.info("5. start to borrow system clipboard to paste, lastClip ->", describe(clip));
    auto end = beginBorrowing();
    options_.general->clearContents();
    subscribeToRestoreSystemClipboard(clip->stringData.empty() ? std::chrono::milliseconds(300)
                                                               : std::chrono::milliseconds(100));
    activeClipboard.accept(id);
    log.debug("lastClip -->", describe(clip) + " / " + describe(lastClip(id)));
    bool pasted = false;
    if (isInMemory()) {
        // Memory boards' clips have no rows to look up: paste their archives directly.
        if (const auto data = options_.clipService->clipData(*clip)) {
            if (isPastePlainText)
                options_.pasteService->copyToPasteboard(data->stringValue);
            else
                options_.pasteService->copyToPasteboard(*clip);
            options_.pasteService->paste();
            pasted = true;
        }
    } else {
        pasted = options_.pasteService->paste(*clip, isPastePlainText);
    }
    prevActiveClipboardAndIsPastePlainText_ = std::pair(id, isPastePlainText);
    if (pasted && !isPastePlainText) options_.clipService->shadowCopy();
    installEndStep(std::move(end));
    if (!pasted) {
        log.warning("6.1 paste by vdclip fail");
        if (!std::filesystem::exists(clip->dataPath))
            log.warning("The clip's payload file is missing ->", clip->dataPath);
        activeClipboard.accept(kSystemId);
    } else {
        log.info("6. had pasted");
    }
}

}  // namespace vandrel
