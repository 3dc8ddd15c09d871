// The extra clipboards: three stored boards (0 the system clipboard, 1 and 2 the extra ones), each with a
// short history of clips, and the active board that the capture service files new content under.
//
// A copy into an extra board makes the board active, turns on fast polling and posts the copy stroke; the
// capture service publishes the new clip on our conveyor, tagged with the board, and we store it there. A
// paste from a board lends the system pasteboard out (a borrow of the capture service, so the write makes
// no clip), writes the board's content, posts the paste stroke and ends the borrow once the system board is
// active again. Either way the user's own pasteboard content is put back afterwards: from the system board's
// shadow items, else from the transfer clip (the last clip stored into the system board). The restore also
// waits until every paste the program made has been fetched by its target (PasteService::whenPastesSettled).
//
// The user's own paste keys meanwhile (Ctrl+V, Ctrl+Shift+V, the original idiom): each one stroked while the
// restore is pending is withheld and holds the keys typed after it behind an order barrier; once the user's
// content is back each pastes it, in the order stroked, through the paste service, which keeps the keys behind
// it until its target has the content. One stroked during the restore that comes out of such a hold after the
// restore ended (its event's time tells) pastes the same way. The holds are the barrier's, 500 ms at most.
//
// A write the desktop clipboard refuses (another application took it a moment before) is tried again
// kRestoreDelay later, kRestoreAttempts tries in all, the restore still pending (paste keys withheld, capture
// borrowed, so the change that refused it makes no clip); after the last try the restore ends as any other. A
// copy or paste of the program while a try is due takes the pending restore over: the user's content comes back
// after it, never over it.
//
// A terminal without a copy key (xterm) gets no copy stroke: its selection is X's PRIMARY selection, which is
// put on the clipboard and captured like any copy.
//
// Threads: every step runs on the main scheduler (the conveyors are observed there, and Caps releases and
// withheld paste keys hop there from the input thread). Waits for the pasteboard and the target application run on the
// clip scheduler, the delayed restore hop on the global scheduler, and clip rows are written on the database
// scheduler. Safety bounds: a Caps release not seen within 5 s restores anyway; a paste's borrow not ended
// within 10 s is ended by a watchdog, so capture never stays off.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "clip/clip_conveyor.h"
#include "clip/clip_service.h"
#include "clip/paste_service.h"
#include "clip/vd_clip.h"
#include "clip/vd_clipboard.h"
#include "core/installed_instance.h"
#include "model/vd_action.h"
#include "model/vd_key.h"
#include "platform/event_tap.h"
#include "platform/key_event.h"
#include "platform/pasteboard.h"
#include "platform/running_application.h"
#include "platform/terminal_applications.h"
#include "rx/disposable.h"
#include "rx/rx.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"
#include "storage/realm.h"

namespace vandrel {

class MultiClipboardService : public std::enable_shared_from_this<MultiClipboardService> {
    struct Passkey {};

public:
    static constexpr std::int64_t kSystemId = 0;
    static constexpr std::int64_t kDefaultHistorySize = 3;
    static constexpr rx::Duration kCopyAttempt = std::chrono::milliseconds(500);
    static constexpr int kCopyAttempts = 3;
    static constexpr rx::Duration kChangeCountWait = std::chrono::milliseconds(300);
    static constexpr rx::Duration kCopyingWait = std::chrono::milliseconds(500);
    static constexpr rx::Duration kRestoreDelay = std::chrono::milliseconds(100);
    static constexpr int kRestoreAttempts = 3;
    static constexpr rx::Duration kCapsUpBound = std::chrono::seconds(5);
    static constexpr rx::Duration kBorrowWatchdog = std::chrono::seconds(10);

    // What the service needs of the key input (the engine's input observer and Caps state). Every entry
    // may be left empty: Caps then counts as released, and the paste key is not held back.
    struct KeyInput {
        std::function<bool()> isCapsDown;
        // Calls back on every Caps release (any thread) until the result is disposed.
        std::function<rx::Disposable(std::function<void()>)> onCapsUp;
        // Withholds the key-downs of the key (without Caps) that `when` answers true for, until the returned
        // function runs; `when` is asked on the taps' thread.
        std::function<std::function<void()>(const VDKey&, std::function<bool(const KeyEvent&)>)> blockKeydown;
        // On the taps' thread: holds back the keys typed from now on (OrderBarrier). Null, or a null result: none.
        std::function<std::shared_ptr<OrderBarrier>()> openOrderBarrier;
    };

    // clipService, pasteService, general and mainScheduler are required.
    struct Options {
        std::shared_ptr<ClipService> clipService;
        std::shared_ptr<PasteService> pasteService;
        std::shared_ptr<Pasteboard> general;
        rx::SchedulerPtr mainScheduler;
        // The conveyor the capture service delivers on by default (give it the same one); null: a new one.
        std::shared_ptr<ClipConveyor> clipConveyor;
        // Copy and change-count waits; null: mainScheduler.
        rx::SchedulerPtr clipScheduler;
        // The delayed restore hop; null: mainScheduler.
        rx::SchedulerPtr globalScheduler;
        // Where clip rows are written (the database queue); null: on the main scheduler.
        rx::SchedulerPtr databaseScheduler;
        // Empty fileURL: the default configuration.
        RealmConfiguration realmConfiguration;
        KeyInput keyInput;
        // Posts a key stroke action; null: the action posts itself through the installed platform.
        std::function<void(const VDActionPtr&)> postKeys;
        // The frontmost application, named in the log of a copy that captured nothing.
        std::function<std::optional<RunningApplication>()> frontmostApplication;
        // X's PRIMARY selection; null: none.
        std::shared_ptr<Pasteboard> selection;
        // The clipboard keys of the frontmost application when it is terminal-like; null: never a terminal.
        std::function<std::optional<TerminalClipboardKeys>()> frontmostTerminalKeys;
    };

    static std::shared_ptr<MultiClipboardService> make(Options options);
    MultiClipboardService(Passkey, Options options);
    ~MultiClipboardService();

    static std::shared_ptr<MultiClipboardService> shared();

    static InstalledInstance<MultiClipboardService>& installed();
    static std::shared_ptr<MultiClipboardService> install(std::shared_ptr<MultiClipboardService> service);

    // Reads the boards from the database unless that was done. Making the service opens nothing: whichever
    // member needs the boards first reads them, on its own thread, and a caller on another thread meanwhile
    // waits for that read. The program calls it ahead, once the keyboards are taken.
    void loadBoards() const;

    // The three boards, as stored (or made in memory when the database did not open).
    std::vector<VDClipboard> clipboardTable() const;
    std::optional<VDClipboard> clipboard(std::int64_t id) const;
    bool isInMemory() const;
    // The board's history, oldest first.
    std::vector<VDClip> clipHistory(std::int64_t id) const;

    // The board the next captured content belongs to (for the capture service).
    std::optional<VDClipboard> activeClipboardRecord() const;
    const std::shared_ptr<ClipConveyor>& clipConveyor() const { return clipConveyor_; }

    // Wires the conveyors and the paste-key guard. Once, from the capture service's start.
    void startMonitoring();

    // Arranges that the system pasteboard gets its own content back; callback runs when that is done or was
    // not needed (another restore already pending). Main scheduler.
    void subscribeToRestoreSystemClipboard(rx::Duration waitingTimeBeforeRestore, std::function<void()> callback = {});

    // Puts the user's content back now when a restore is pending (the program is quitting). Main scheduler.
    void finishPendingRestore();

    // Copies (or cuts) the frontmost application's selection into the board. Main scheduler.
    void copyToClipboard(std::int64_t id, bool isCut);
    // Pastes the board's newest content, or only its plain text. Main scheduler.
    void pasteLastFromClipboard(std::int64_t id, bool isPastePlainText);

    // Observable state.
    rx::BehaviorRelay<std::optional<std::int64_t>> activeClipboard{kSystemId};
    rx::PublishSubject<VDClip> validClipForExtraClipboard;
    // The transfer clip: a copy of the last clip stored into the system board, the fallback of a restore.
    rx::BehaviorRelay<std::optional<VDClip>> systemClipboardHistory{std::nullopt};
    bool willRestoreSystemClipboard() const { return willRestore_.value(); }
    bool isCopying(std::int64_t id) const;
    std::set<std::int64_t> copyingClipboardIds() const;
    std::optional<std::vector<PasteboardItem>> shadowItems(std::int64_t id) const;

private:
    struct Board {
        VDClipboard record;
        std::optional<std::vector<PasteboardItem>> nsPasteboardItems;
        std::shared_ptr<rx::BehaviorRelay<bool>> isCopying = std::make_shared<rx::BehaviorRelay<bool>>(false);
        std::optional<VDClip> reservingClip;
        std::vector<VDClip> memoryHistory;  // only when the database did not open
    };

    void buildBoards() const;
    Board& board(std::int64_t id);
    const Board* findBoard(std::int64_t id) const;
    std::optional<VDClip> lastClip(std::int64_t id) const;
    void onNewClip(const VDClip& clip, std::int64_t id);
    // Removes the files of a capture that is not kept, unless the board's last clip shares them.
    void discard(const VDClip& clip, const std::optional<VDClip>& kept);
    bool copyFromSelection();
    void storeClipWithClipboard(const VDClip& clip, std::int64_t id);
    void afterStored(std::int64_t id);
    void watchPasteKey(bool pending);
    // On the taps' thread: whether the user's paste key is withheld, to paste the user's content once it is back.
    bool holdPasteKey(const KeyEvent& event);
    void pasteUsersContent(const std::shared_ptr<OrderBarrier>& barrier);
    void endPasteKeyWatch(rx::Duration after);
    void restoreWhenCapsUp(std::optional<std::int64_t> active, std::function<void()> restore);
    void runRestore(rx::Duration wait, const std::function<void()>& callback);
    // What one try at putting the user's content back did.
    enum class Restored { done, refused, nothing };
    // Tries the restore; on a refusal with tries left, tries again later, else ends the pending restore.
    void restoreAttempt(int attempt, std::function<void()> callback);
    // Ends the pending restore: the borrow of a retry, the change count, the pending flag, then the callback.
    void endRestore(const std::function<void()>& callback);
    // Drops a retry that is due, returning its callback (empty when none was due).
    std::function<void()> cancelRetry();
    Restored restoreClipFromShadowNSPasteboardItems();
    Restored restoreClipFromTransferClipboard();
    void resetCopyState(std::int64_t id, rx::Duration delay);
    void copyFailed(std::int64_t id);
    std::function<void()> beginBorrowing();
    void installEndStep(std::function<void()> endBorrowing);
    void post(const VDActionPtr& action) const;
    RealmExpected<std::shared_ptr<Realm>> openRealm() const;

    const Options options_;
    const std::shared_ptr<ClipConveyor> clipConveyor_;
    // Filled once by loadBoards(); the boards' contents are then used on the main scheduler.
    mutable std::once_flag boardsLoaded_;
    mutable std::map<std::int64_t, Board> boards_;
    mutable bool inMemory_ = false;
    rx::BehaviorRelay<bool> willRestore_{false};
    std::optional<std::pair<std::int64_t, bool>> prevActiveClipboardAndIsPastePlainText_;
    // The paste-key guard, read on the taps' thread under its mutex. It watches from a restore's start until no
    // paste key stroked during it can still come out of a hold.
    struct PasteKeyGuard {
        std::mutex mutex;
        bool restorePending = false;
        rx::TimePoint restoreEnded{};
        rx::TimePoint lastHeld{};
        // The paste keys stroked while the restore is pending, in order: the barrier each holds (may be null).
        std::vector<std::shared_ptr<OrderBarrier>> waiting;
    };
    PasteKeyGuard pasteKeyGuard_;
    std::function<void()> unblockPasteKeys_;
    rx::DisposeBag pasteKeyBag_;
    rx::DisposeBag restoreBag_;
    // A refused restore waiting for its next try: its timer, callback and borrow of the capture service.
    bool retryPending_ = false;
    rx::DisposeBag retryBag_;
    std::function<void()> retryCallback_;
    std::function<void()> retryBorrow_;
    rx::DisposeBag systemClipboardHardReturnerDisposeBag_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
