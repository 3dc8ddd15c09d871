// The hotstring service: reads the text between the start of the line and the caret of the frontmost
// application, and expands the hotstring in it in place.
//
// Reading (getTextBeforeCursorThen):
//   calling thread   posts Shift+Command+Left (Shift+Home): the application selects to the line start;
//   global queue     50 ms later switches the capture service to this service's own conveyor (so the copy
//                    makes no clip), asks for fast polling, subscribes, then posts Command+C (Ctrl+C);
//   main scheduler   the capture service delivers the copied items on the conveyor: success(text), or
//                    failure when they hold no text;
//   clip scheduler   or, when nothing arrives within 500 ms, the read ends there with failure.
//   Every way a read ends (text, no text, a stream error, the time-out) ends fast polling, switches the
//   conveyor back and schedules the restore of the user's pasteboard content (400 ms later), then calls
//   finally. One read is in flight at a time: a request during one does nothing, not even select.
//
// Expanding (expandHotstring): reads as above; with text, the replacement (Hotstring::multiGet, answered
// on the main thread when the evaluator process is done; nothing waits for it) is written to the pasteboard
// inside a borrow of the capture service, whose end waits for the restore, and pasted 50 ms later over the
// still-selected text. Keys typed after the trigger wait behind its order barrier until the replacement is
// pasted (see PasteService) or the selection collapsed, at most the barrier's maxHold. The log holds lengths
// and kinds of failure, never the text read. Whenever nothing is pasted (no replacement, no text, nothing
// copied in time, the conveyor held by another reader) a Right tap collapses the selection, so the next key
// the user types cannot replace the line. In terminal-like applications nothing is done at all: selecting to
// the line start there cannot stop at the prompt, and the copy key may reach the program.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "clip/clip_conveyor.h"
#include "clip/clip_service.h"
#include "clip/hotstring.h"
#include "clip/paste_service.h"
#include "core/installed_instance.h"
#include "model/vd_action.h"
#include "rx/scheduler.h"

namespace vandrel {

// The callbacks of one read.
struct StatusActions {
    // With the non-empty plain text copied.
    std::function<void(const std::string& text)> success;
    // When the copy held no plain text or an empty one, when nothing was copied in time, when the capture
    // stream failed, or when another read held the conveyor.
    std::function<void()> failure;
    // Last, whenever a read that got the conveyor ends.
    std::function<void()> finally;
};

class HotstringService : public std::enable_shared_from_this<HotstringService> {
    struct Passkey {};

public:
    static constexpr rx::Duration kSelectionWait = std::chrono::milliseconds(50);
    static constexpr rx::Duration kReadLimit = std::chrono::milliseconds(500);
    // The restore of the user's pasteboard content after a read, and after a paste of a replacement.
    static constexpr rx::Duration kRestoreWaitAfterRead = std::chrono::milliseconds(400);
    static constexpr rx::Duration kRestoreWaitAfterPaste = std::chrono::milliseconds(100);

    // clipService, globalScheduler and clipScheduler are required; expandHotstring() also needs
    // pasteService and hotstring.
    struct Options {
        std::shared_ptr<ClipService> clipService;
        std::shared_ptr<PasteService> pasteService;
        std::shared_ptr<Hotstring> hotstring;
        // The wait between selecting and copying (the global queue).
        rx::SchedulerPtr globalScheduler;
        // The read's time limit (the clip-service queue).
        rx::SchedulerPtr clipScheduler;
        // Posts a key stroke action; null: the action posts itself through the installed platform.
        std::function<void(const VDActionPtr&)> postKeys;
        // Puts the user's pasteboard content back after the wait, then calls the callback (which may be
        // empty); the extra-clipboard service's subscribeToRestoreSystemClipboard. Null: nothing is put back
        // and the callback runs at once.
        std::function<void(rx::Duration wait, std::function<void()> callback)> restoreSystemClipboard;
        // The name of the frontmost application when it is terminal-like, else none. Null: never.
        std::function<std::optional<std::string>()> terminalLikeFrontmost;
    };

    static std::shared_ptr<HotstringService> make(Options options);
    HotstringService(Passkey, Options options);

    // The installed instance, or null; install() returns the one it replaces.
    static std::shared_ptr<HotstringService> shared();
    static InstalledInstance<HotstringService>& installed();
    static std::shared_ptr<HotstringService> install(std::shared_ptr<HotstringService> service);

    // Selects from the caret to the line start and reads the selection (see above). Any thread.
    void getTextBeforeCursorThen(StatusActions actions);
    // Copies the current selection and reads its plain text; with isRestoreSystemClipboard the user's
    // pasteboard content is put back afterwards. Any thread.
    void getSeletingStringThen(StatusActions actions, bool isRestoreSystemClipboard);

    // Replaces the text before the caret with its expansion (see above). Any thread.
    void expandHotstring();

    const std::shared_ptr<ClipConveyor>& clipConveyor() const { return clipConveyor_; }
    // Right arrow: the selection collapses to its end, where the caret was.
    static const VDActionPtr& collapseSelection();

private:
    void read(StatusActions actions, bool isRestoreSystemClipboard, std::function<void()> ended);
    void paste(const std::string& text, std::shared_ptr<OrderBarrier> barrier);
    void pasteReplacement(const std::optional<std::string>& replacement, const std::shared_ptr<OrderBarrier>& barrier);
    void post(const VDActionPtr& stroke) const;
    void restore(rx::Duration wait, std::function<void()> callback) const;

    const Options options_;
    const std::shared_ptr<ClipConveyor> clipConveyor_ = ClipConveyor::make();
    // From a request until its read has ended.
    std::atomic<bool> reading_{false};
};

}  // namespace vandrel
