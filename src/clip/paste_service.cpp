#include "clip/paste_service.h"

#include <algorithm>

#include "clip/clip_utils.h"
#include "clip/vd_clip_data.h"
#include "core/blocking_call.h"
#include "core/defaults_keys.h"
#include "core/installed_instance.h"
#include "core/log.h"
#include "platform/event_tap.h"

namespace vandrel {

namespace {

std::string describe(const VDClip& clip)
{
    return "savedHash: " + clip.savedHash + ", primaryType: " + clip.primaryType + ", dataPath: " + clip.dataPath;
}

}  // namespace

template <class F>
auto PasteService::serialized(F f)
{
    auto locked = [this, &f] {
        std::lock_guard lock(lock_);
        return f();
    };
    if (!options_.runOnGui) return locked();
    return callThrough(locked, [this](const std::function<void()>& work) { options_.runOnGui(work); });
}

PasteService::PasteService(Passkey, Options options) : options_(std::move(options)) {}

std::shared_ptr<PasteService> PasteService::make(Options options)
{
    auto service = std::make_shared<PasteService>(Passkey{}, std::move(options));
    std::weak_ptr<PasteService> weak = service;
    auto handler = [weak] {
        if (auto self = weak.lock()) self->onFetch();
    };
    if (service->options_.general && service->options_.general->reportsFetches())
        service->options_.general->setFetchHandler(handler);
    if (service->options_.selection && service->options_.selection->reportsFetches())
        service->options_.selection->setFetchHandler(handler);
    return service;
}

InstalledInstance<PasteService>& PasteService::installed()
{
    static InstalledInstance<PasteService> slot;
    return slot;
}

std::shared_ptr<PasteService> PasteService::shared()
{
    return installed().get();
}

std::shared_ptr<PasteService> PasteService::install(std::shared_ptr<PasteService> service)
{
    return installed().set(std::move(service));
}

bool PasteService::copyToPasteboard(const std::vector<PasteboardItem>& items, bool isUsePlainText)
{
    return serialized([&] { return writeItems(items, isUsePlainText); });
}

bool PasteService::writeItems(const std::vector<PasteboardItem>& items, bool isUsePlainText)
{
    auto& general = *options_.general;
    log.debug("pasteboard.types ->", general.types());
    std::vector<std::vector<PasteboardType>> itemTypes;
    for (const auto& item : items) itemTypes.push_back(item.types());
    log.debug("pasteboardItems types ->", itemTypes);
    if (!isUsePlainText) {
        general.clearContents();
        log.debug("pasteboard.types2 ->", general.types());
        log.info("Write pasteboardItem, not plain text");
        return general.writeObjects(copy(items));
    }
    // The text is looked for before the user's content is cleared away.
    const auto text = ClipUtils::getString(items);
    if (!text) {
        log.warning("Get plain text fail");
        return false;
    }
    general.clearContents();
    log.debug("pasteboard.types2 ->", general.types());
    return general.setString(*text, PasteboardTypes::string);
}

bool PasteService::copyToPasteboard(const VDClip& clip)
{
    return serialized([&] { return writeClip(clip); });
}

bool PasteService::writeClip(const VDClip& clip)
{
    log.verbose("Start to copy clip to pasteboard");
    const auto data = options_.clipService->clipData(clip);
    if (!data) {
        log.error("Get data file cache from dataPath fail");
        return false;
    }
    if (options_.settings->get(DefaultsKeys::clip_isPastePlainText)) return writeText(data->stringValue);
    log.verbose("copy data start");
    const bool written = data->setToGeneralPasteboard(*options_.general);
    log.verbose("copy data end");
    return written;
}

void PasteService::copyToPasteboard(const std::string& text)
{
    serialized([&] { writeText(text); });
}

bool PasteService::writeText(const std::string& text)
{
    log.verbose("Start to copy string to pasteboard");
    options_.general->declareTypes({PasteboardTypes::string});
    log.verbose("declared types");
    const bool written = options_.general->setString(text, PasteboardTypes::string);
    log.verbose("had set string");
    return written;
}

bool PasteService::paste(const VDClip& clip, bool isPastePlainText)
{
    auto realm = openRealm();
    if (!realm) {
        log.error("Cannot paste the clip: the database does not open ->", realm.error().what());
        return false;
    }
    try {
        if (!clip.resolve(**realm)) return false;
    } catch (const std::exception& e) {
        log.error("Cannot paste the clip: the database cannot be read ->", e.what());
        return false;
    }
    log.debug("clip -->", describe(clip));
    const auto data = options_.clipService->clipData(clip);
    if (!data) return false;

    const auto& settings = *options_.settings;
    const bool plain = isPastePlainText || settings.get(DefaultsKeys::clip_isPastePlainText);
    const bool pasteAndDelete = settings.get(DefaultsKeys::clip_isPasteAndDeleteHistory);
    const bool remove = settings.get(DefaultsKeys::clip_isDeleteHistory);
    if (!plain && !pasteAndDelete && !remove) {
        copyToPasteboard(clip);
        paste();
        return true;
    }
    auto write = [&] {
        if (plain)
            copyToPasteboard(data->stringValue);
        else
            copyToPasteboard(clip);
    };
    if (pasteAndDelete) {
        // The write happens inside a borrow, so the capture service takes the change it leaves as seen.
        options_.clipService->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
            write();
            done();
        });
    } else {
        write();
    }
    paste();
    if (pasteAndDelete || remove) options_.clipService->deleteWith(clip);
    return true;
}

std::uint64_t PasteService::addPending()
{
    // Keys typed after the paste's trigger wait for the target to have the content (see the header).
    auto barrier = OrderBarrier::keepCurrent();
    std::lock_guard lock(pendingMutex_);
    const auto id = ++nextPaste_;
    pending_[id].barrier = std::move(barrier);
    return id;
}

void PasteService::paste()
{
    const auto id = addPending();
    std::weak_ptr<PasteService> weak = weak_from_this();
    options_.globalScheduler->scheduleAfter(kPasteDelay, [weak, id] {
        if (auto self = weak.lock()) self->postStroke(id);
    });
}

void PasteService::pasteNow()
{
    postStroke(addPending());
}

void PasteService::postStroke(std::uint64_t id)
{
    {
        std::lock_guard lock(pendingMutex_);
        const auto wait = nextStrokeAt_ - options_.globalScheduler->now();
        if (deferred_.empty() && wait <= rx::Duration::zero()) {
            // Until the target has this paste, the next stroke waits (the bound: a target that never fetches).
            nextStrokeAt_ = options_.globalScheduler->now() + kStrokeSpacing;
        } else {
            deferred_.push_back(id);
            scheduleDeferredCheck(wait);
            return;
        }
    }
    strokeNow(id);
}

void PasteService::scheduleDeferredCheck(rx::Duration after)
{
    std::weak_ptr<PasteService> weak = weak_from_this();
    options_.globalScheduler->scheduleAfter(std::max(after, rx::Duration::zero()), [weak] {
        if (auto self = weak.lock()) self->postDeferred();
    });
}

void PasteService::postDeferred()
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(pendingMutex_);
        const auto now = options_.globalScheduler->now();
        if (deferred_.empty() || now < nextStrokeAt_) return;  // a later check comes for the new time
        id = deferred_.front();
        deferred_.pop_front();
        nextStrokeAt_ = now + kStrokeSpacing;
        if (!deferred_.empty()) scheduleDeferredCheck(kStrokeSpacing);
    }
    strokeNow(id);
}

void PasteService::strokeNow(std::uint64_t id)
{
    const auto keys = options_.frontmostTerminalKeys ? options_.frontmostTerminalKeys() : std::nullopt;
    const auto& selection = options_.selection;
    std::optional<std::vector<PasteboardItem>> saved;
    bool usedSelection = false;
    if (keys == TerminalClipboardKeys::selection && selection) {
        // The stroke is Shift+Insert there, which pastes PRIMARY: the content goes there too.
        const auto content = options_.general->pasteboardItems();
        if (content && !content->empty()) {
            saved = selection->pasteboardItems();
            selection->clearContents();
            selection->writeObjects(*content);
            usedSelection = true;
            log.info("The terminal has no paste key: pasting through the PRIMARY selection");
        }
    }
    const bool tracked = options_.general->reportsFetches();
    const bool fetchHeard = (usedSelection ? *selection : *options_.general).reportsFetches();
    std::shared_ptr<OrderBarrier> barrier;
    {
        std::lock_guard lock(pendingMutex_);
        auto& paste = pending_[id];
        paste.posted = true;
        paste.savedSelection = std::move(saved);
        paste.usedSelection = usedSelection;
        if (!fetchHeard) {
            barrier = std::move(paste.barrier);
            // Nothing will say when the target has it: the next stroke need not wait.
            nextStrokeAt_ = options_.globalScheduler->now();
            if (!deferred_.empty()) scheduleDeferredCheck(rx::Duration::zero());
        }
    }
    if (options_.postKeys)
        options_.postKeys(ClipUtils::cmdV());
    else
        ClipUtils::cmdV()->post();
    log.verbose("Pasted");
    // No fetch to wait for: the keys go on behind the stroke.
    if (barrier) barrier->release();
    if (!tracked) {
        settle(id, false);
        return;
    }
    std::weak_ptr<PasteService> weak = weak_from_this();
    options_.globalScheduler->scheduleAfter(kFetchTimeout, [weak, id] {
        if (auto self = weak.lock()) self->settle(id, true);
    });
}

void PasteService::onFetch()
{
    std::vector<std::uint64_t> fetched;
    std::vector<std::shared_ptr<OrderBarrier>> barriers;
    {
        std::lock_guard lock(pendingMutex_);
        for (auto& [id, paste] : pending_) {
            // A fetch before the stroke is a clipboard manager's copy, not the paste.
            if (!paste.posted || paste.fetched) continue;
            paste.fetched = true;
            fetched.push_back(id);
            if (paste.barrier) barriers.push_back(std::move(paste.barrier));
        }
    }
    if (fetched.empty()) return;
    log.debug("The pasted content was fetched by its target");
    {
        // A stroke that waits for this paste goes once the target has had time to insert it.
        std::lock_guard lock(pendingMutex_);
        nextStrokeAt_ = std::min(nextStrokeAt_, options_.globalScheduler->now() + kInsertTime);
        if (!deferred_.empty()) scheduleDeferredCheck(kInsertTime);
    }
    // Released from the global queue, never waited for here (this may be the GUI thread).
    for (auto& barrier : barriers)
        options_.globalScheduler->scheduleAfter(kInsertTime, [barrier = std::move(barrier)] { barrier->release(); });
    std::weak_ptr<PasteService> weak = weak_from_this();
    for (const auto id : fetched)
        options_.globalScheduler->scheduleAfter(kFetchGrace, [weak, id] {
            if (auto self = weak.lock()) self->settle(id, false);
        });
}

void PasteService::settle(std::uint64_t id, bool timedOut)
{
    PendingPaste paste;
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard lock(pendingMutex_);
        const auto it = pending_.find(id);
        if (it == pending_.end()) return;
        paste = std::move(it->second);
        pending_.erase(it);
        if (pending_.empty()) waiters.swap(waiters_);
    }
    if (timedOut && !paste.fetched)
        log.warning("No application fetched the pasted content within 2 s: the clipboard is put back anyway");
    if (paste.usedSelection) {
        options_.selection->clearContents();
        if (paste.savedSelection && !paste.savedSelection->empty())
            options_.selection->writeObjects(*paste.savedSelection);
        log.info("The PRIMARY selection is put back");
    }
    // Left only when no fetch came (the barrier went on by itself at its maxHold long before) or none is heard.
    if (paste.barrier) paste.barrier->release();
    for (auto& waiter : waiters) waiter();
}

void PasteService::whenPastesSettled(std::function<void()> settled)
{
    {
        std::lock_guard lock(pendingMutex_);
        if (!pending_.empty()) {
            waiters_.push_back(std::move(settled));
            return;
        }
    }
    settled();
}

bool PasteService::hasPendingPaste() const
{
    std::lock_guard lock(pendingMutex_);
    return !pending_.empty();
}

RealmExpected<std::shared_ptr<Realm>> PasteService::openRealm() const
{
    if (options_.realmConfiguration.fileURL.empty()) return Realm::open();
    return Realm::open(options_.realmConfiguration);
}

}  // namespace vandrel
