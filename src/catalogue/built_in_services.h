// The entry points of the services that some built-in actions hand their work to: the preferences window,
// the cheat sheet, the window-binding service, the extra clipboards and the hotstring expansion. They live in
// subsystems above the catalogue, so each registers its entry points here at start-up (the app shell wires
// them) and the catalogue links none of them. An entry left empty is a service not available in this run:
// the action logs a warning and does nothing.
//
//   auto services = BuiltInServices::current();
//   services.showCheatSheet = [] { cheatSheet.show(); };
//   BuiltInServices::install(std::move(services));
#pragma once

#include <functional>

#include "model/vd_atomic_action_param.h"

namespace vandrel {

struct BuiltInServices {
    // Opens the preferences window, creating the status menu first if needed. Called on the thread that
    // runs the action (the main thread).
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

    // A copy of the installed entry points; every action reads them when it runs. Thread-safe.
    static BuiltInServices current();
    // Replaces the installed entry points and returns the previous ones.
    static BuiltInServices install(BuiltInServices services);
};

}  // namespace vandrel
