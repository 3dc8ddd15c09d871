// The paste service: writes content to the general pasteboard (items, a stored clip, or a text) under one
// recursive lock, and pastes by posting Command+V (Ctrl+V, Ctrl+Shift+V in a terminal) 50 ms later on the
// global queue, so the calling action returns at once.
//
// Every write is serialised by the lock, whichever thread calls (the GUI thread from actions, other queues
// from the extra clipboards' restores). Each write runs as one job through runOnGui: the desktop clipboard
// lives on the GUI thread, and a write that held the lock while waiting for the GUI thread could deadlock with
// a write made on it. Plain-text writes find the text first and leave the pasteboard
// untouched when there is none. A paste that must make no clip of its own write ("clip_isPasteAndDelete
// History") writes inside a borrow of the capture service.
//
// A paste is settled once the target application fetched the pasted content (the pasteboard tells; on X11
// the target asks the owner for the data only when it handles the paste key), plus a short grace for targets
// that fetch twice, or in any case 2 s after the stroke. Whoever puts the user's content back waits for every
// paste to settle (whenPastesSettled), so the target never gets the restored content instead.
//
// Keys typed after the action that pastes wait behind its order barrier (OrderBarrier::keepCurrent() when the
// paste is asked for): until the target fetched the content plus kInsertTime, or, where the pasteboard tells
// of no fetch, until the stroke is posted; in any case no longer than the barrier's maxHold. A toolkit that
// fetches asynchronously (GTK) would otherwise handle those keys before it inserts the paste.
//
// Strokes keep the same order with each other: a paste's stroke waits until the target has the paste before it
// (its fetch plus kInsertTime), kStrokeSpacing at most. GTK takes one clipboard request at a time per widget and
// drops a paste asked for while another is on its way.
//
// In a terminal without a paste key (xterm) the stroke is Shift+Insert, which pastes the PRIMARY selection:
// the content goes to PRIMARY as well, and the user's PRIMARY is put back when the paste settles.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "clip/clip_service.h"
#include "clip/vd_clip.h"
#include "core/installed_instance.h"
#include "core/settings_store.h"
#include "model/vd_action.h"
#include "platform/event_tap.h"
#include "platform/pasteboard.h"
#include "platform/terminal_applications.h"
#include "rx/scheduler.h"
#include "storage/realm.h"

namespace vandrel {

class PasteService : public std::enable_shared_from_this<PasteService> {
    struct Passkey {};

public:
    static constexpr rx::Duration kPasteDelay = std::chrono::milliseconds(50);
    static constexpr rx::Duration kFetchGrace = std::chrono::milliseconds(250);
    static constexpr rx::Duration kFetchTimeout = std::chrono::seconds(2);
    // From the fetch to the keys typed after the paste: we hear of the fetch once our answer is on its way to
    // the target, before its main loop has inserted it (GTK: a few ms, more on a loaded machine). Short enough
    // that holding the typing back goes unnoticed.
    static constexpr rx::Duration kInsertTime = std::chrono::milliseconds(40);
    // The longest a stroke waits for the target to fetch the paste before it, as keys wait for a paste.
    static constexpr rx::Duration kStrokeSpacing = OrderBarrier::maxHold;

    // general, settings, clipService and globalScheduler are required.
    struct Options {
        std::shared_ptr<Pasteboard> general;
        std::shared_ptr<SettingsStore> settings;
        // Deletes pasted clips and lends the pasteboard for writes that must make no clip.
        std::shared_ptr<ClipService> clipService;
        // Where the paste stroke waits its 50 ms (the global queue).
        rx::SchedulerPtr globalScheduler;
        // Posts a key stroke action; null: the action posts itself through the installed platform.
        std::function<void(const VDActionPtr&)> postKeys;
        // The database a clip is looked up in before it is pasted; empty fileURL: the default configuration.
        RealmConfiguration realmConfiguration;
        // Runs a write on the GUI thread and waits for it (at once on the GUI thread); null: on the caller.
        std::function<void(const std::function<void()>&)> runOnGui;
        // X's PRIMARY selection; null: none (a terminal without a paste key then gets the stroke only).
        std::shared_ptr<Pasteboard> selection;
        // The clipboard keys of the frontmost application when it is terminal-like; null: never a terminal.
        std::function<std::optional<TerminalClipboardKeys>()> frontmostTerminalKeys;
    };

    static std::shared_ptr<PasteService> make(Options options);
    PasteService(Passkey, Options options);

    // The installed instance, or null; install() returns the one it replaces.
    static std::shared_ptr<PasteService> shared();
    static InstalledInstance<PasteService>& installed();
    static std::shared_ptr<PasteService> install(std::shared_ptr<PasteService> service);

    // Replaces the pasteboard's content with the items, or with their plain text only. False when the
    // pasteboard refused the write, or plain text was asked for and the items have none (the pasteboard is
    // then left as it was).
    bool copyToPasteboard(const std::vector<PasteboardItem>& items, bool isUsePlainText);
    // Puts the clip's archived content on the pasteboard, all of it or its plain text ("clip_isPastePlainText").
    // An unreadable archive leaves the pasteboard as it was. False when nothing was written: the archive is
    // unreadable or empty, or the pasteboard refused the write.
    bool copyToPasteboard(const VDClip& clip);
    // Makes the pasteboard hold exactly one type, plain text.
    void copyToPasteboard(const std::string& text);

    // Copies a stored clip to the pasteboard, schedules the paste stroke and applies the deletion settings.
    // False, with nothing written and no stroke, when the clip is gone from the database or its archive
    // cannot be read.
    bool paste(const VDClip& clip, bool isPastePlainText);
    // Posts the paste stroke 50 ms from now on the global queue; logs "Pasted". Keeps the current order
    // barrier (see above).
    void paste();
    // Posts the paste stroke now (the content is on the pasteboard already); keeps the barrier as paste().
    void pasteNow();
    // Calls `settled` once every paste made so far has settled (see above): at once when none is pending,
    // else on the thread that settles the last one.
    void whenPastesSettled(std::function<void()> settled);
    bool hasPendingPaste() const;

private:
    // Runs f under the lock as one job on the GUI thread, returning its result.
    template <class F>
    auto serialized(F f);
    bool writeItems(const std::vector<PasteboardItem>& items, bool isUsePlainText);
    bool writeClip(const VDClip& clip);
    bool writeText(const std::string& text);
    RealmExpected<std::shared_ptr<Realm>> openRealm() const;
    std::uint64_t addPending();
    // Posts the stroke now, or once the target has the paste before it.
    void postStroke(std::uint64_t id);
    void scheduleDeferredCheck(rx::Duration after);
    void postDeferred();
    void strokeNow(std::uint64_t id);
    void onFetch();
    void settle(std::uint64_t id, bool timedOut);

    struct PendingPaste {
        bool posted = false;
        bool fetched = false;
        // The user's PRIMARY, when the paste went through it.
        std::optional<std::vector<PasteboardItem>> savedSelection;
        bool usedSelection = false;
        // Holds the keys typed after the paste until the target has the content.
        std::shared_ptr<OrderBarrier> barrier;
    };

    const Options options_;
    std::recursive_mutex lock_;
    mutable std::mutex pendingMutex_;
    std::uint64_t nextPaste_ = 0;
    std::map<std::uint64_t, PendingPaste> pending_;
    // The strokes waiting for the target to have the paste before them, in order, and when the next may go.
    std::deque<std::uint64_t> deferred_;
    rx::TimePoint nextStrokeAt_{};
    std::vector<std::function<void()>> waiters_;
};

}  // namespace vandrel
