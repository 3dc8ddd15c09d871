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
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clip/clip_service.h"
#include "clip/vd_clip.h"
#include "core/settings_store.h"
#include "model/vd_action.h"
#include "platform/pasteboard.h"
#include "rx/scheduler.h"
#include "storage/realm.h"

namespace vandrel {

class PasteService {
    struct Passkey {};

public:
    static constexpr rx::Duration kPasteDelay = std::chrono::milliseconds(50);

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
    };

    static std::shared_ptr<PasteService> make(Options options);
    PasteService(Passkey, Options options);

    // The installed instance, or null; install() returns the one it replaces.
    static std::shared_ptr<PasteService> shared();
    static std::shared_ptr<PasteService> install(std::shared_ptr<PasteService> service);

    // Replaces the pasteboard's content with the items, or with their plain text only. False when the
    // pasteboard refused the write, or plain text was asked for and the items have none (the pasteboard is
    // then left as it was).
    bool copyToPasteboard(const std::vector<PasteboardItem>& items, bool isUsePlainText);
    // Puts the clip's archived content on the pasteboard, all of it or its plain text ("clip_isPastePlainText").
    // An unreadable archive leaves the pasteboard as it was.
    void copyToPasteboard(const VDClip& clip);
    // Makes the pasteboard hold exactly one type, plain text.
    void copyToPasteboard(const std::string& text);

    // Copies a stored clip to the pasteboard, schedules the paste stroke and applies the deletion settings.
    // False, with nothing written and no stroke, when the clip is gone from the database or its archive
    // cannot be read.
    bool paste(const VDClip& clip, bool isPastePlainText);
    // Posts the paste stroke 50 ms from now on the global queue; logs "Pasted".
    void paste();

private:
    // Runs f under the lock as one job on the GUI thread, returning its result.
    template <class F>
    auto serialized(F f);
    bool writeItems(const std::vector<PasteboardItem>& items, bool isUsePlainText);
    void writeClip(const VDClip& clip);
    void writeText(const std::string& text);
    RealmExpected<std::shared_ptr<Realm>> openRealm() const;

    const Options options_;
    std::recursive_mutex lock_;
};

}  // namespace vandrel
