// What the core object and the actions it runs need of the services that live above the engine: the window
// binding, the clipboard services, the preferences window, the cheat sheet, the keyboard map and the hotstring
// expansion. The program fills one of these and hands it to the core object at construction; the engine and
// the catalogue link none of those services. An entry left empty is a service not available in this run: its
// caller logs a warning and does nothing.
#pragma once

#include <functional>

#include "model/vd_atomic_action_param.h"

namespace vandrel {

struct VandrelServices {
    // Starts the clipboard services; they return at once. Called by start() on the main thread.
    std::function<void()> startClipMonitoring;
    // Finds the live window of every stored window binding again. Called once by start(), on the
    // window-binding queue; the window-binding service reads its own stored records.
    std::function<void()> restoreWindowBindings;
    // Brings the keyboard-map window up. Called on the main queue.
    std::function<void()> showKeyboardMap;

    // Opens the preferences window, creating the status menu first if needed. Called on the thread that
    // runs the action.
    std::function<void()> showPreferences;
    // Shows the cheat sheet. Called on the main queue, a turn after the action ran.
    std::function<void()> showCheatSheet;
    // Push one closure carrying the step's parameter onto the window-binding service's event queue: the
    // closure binds the focused window to the slot (and tells the user which key brings it back), or
    // activates the slot's window. Called on the thread that runs the action.
    std::function<void(const VDAtomicActionParam&)> bindWindow;
    std::function<void(const VDAtomicActionParam&)> activateWindow;
    // Copies (or cuts) the selection into extra clipboard 1 or 2. Called on the main queue.
    std::function<void(int extraClipboard, bool isCut)> copyToExtraClipboard;
    // Pastes the last clip of extra clipboard 1 or 2. Called on the main queue.
    std::function<void(int extraClipboard, bool isPastePlainText)> pasteLastFromExtraClipboard;
    // Reads the text before the caret, expands its hotstring and pastes the result. Called on the thread
    // that runs the action.
    std::function<void()> expandHotstring;
};

}  // namespace vandrel
