// What the preferences panes need from above them, handed in by the program when it builds the pane list.
// Every entry may stay empty: the control then logs what is missing and does nothing else.
//
//   PreferencesServices services;
//   services.mainQueue = MainQueue::shared();
//   services.checkForUpdates = [&updater] { updater.checkNow(); };
//   services.restartApp = [&restart] { restart.restart(); };
#pragma once

#include <functional>
#include <memory>

#include "core/login_item_service.h"
#include "core/popup_msg.h"
#include "rx/rx.h"
#include "rx/scheduler.h"

namespace vandrel {

class PreferencePane;
class ZRShortcutRecorder;
class DevelopHotkeyRecorder;

struct PreferencesServices {
    // Where the panes build their rows, on the turn after their view was made: the main queue. Null builds
    // them at once.
    rx::SchedulerPtr mainQueue;
    // "Check Now": check for updates at once, whatever the switches say. Main thread.
    std::function<void()> checkForUpdates;
    // The automatic-check switch was turned on or off (the setting is already stored). Main thread.
    std::function<void(bool on)> automaticallyChecksForUpdatesChanged;
    // The Experimental pane's "Restart Now": start a new instance and quit this one. Main thread.
    std::function<void()> restartApp;
    // The hotkey editor's pane, shown after General; empty: the window has no Hotkey pane.
    std::function<std::shared_ptr<PreferencePane>()> makeHotkeyPane;
    // The Develop pane's two recorders (the hotkey editor's); empty: the pane shows the plain shortcut
    // recorder view in place of the older one, and no hotkey recorder.
    std::function<std::unique_ptr<DevelopHotkeyRecorder>()> makeDevelopHotkeyRecorder;
    std::function<std::unique_ptr<ZRShortcutRecorder>()> makeDevelopOldRecorder;
    // Whether this run has an update source (a download address) and an address for usage statistics; the
    // controls that need one are disabled without it. Empty: there is one.
    std::function<bool()> hasUpdateSource;
    std::function<bool()> hasUsageAddress;
    // Whether the program has keyboard access (current value at once, then changes, on the main thread).
    // Recording hotkeys needs it; empty: always granted.
    std::function<rx::Observable<bool>()> keyboardAccess;
    // The login item that start at login writes; null: the program's own.
    std::shared_ptr<LoginItemService> loginItem;
    // Shows a transient message (a setting that could not be changed); empty: popupMsg.
    PopupPresenter popup;
};

// Runs the service, or logs at warning level that it is not there (what, then why).
void callService(const std::function<void()>& service, const char* what, const char* missing);

}  // namespace vandrel
