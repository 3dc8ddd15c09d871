// The catalogue of the actions the program ships. Each is one shared VDAction, built and registered under
// its idName on first use (thread-safe), so stored schemes find it by that name. registerAll() registers the
// whole catalogue; call it before stored schemes are read.
//
// The key-stroke actions post the editing idioms of the original keyboard (Command+Left for the line start,
// Option+Left for a word, ...) through VDKey; the platform's poster turns them into the local idioms. In a
// terminal-like application (the installed Environment says so) several post Emacs-style strokes instead or
// nothing, and two erase the line with the system terminal's own keys (SystemTerminal).
//
// The service actions (preferences, cheat sheet, window binding, extra clipboards, hotstring) hand their
// work to the services of the installed Environment. The actions are process-wide objects found by name, so
// what they reach when they run is installed once for the process, next to the core object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/installed_instance.h"
#include "engine/vandrel_services.h"
#include "model/vd_action.h"
#include "rx/scheduler.h"

namespace vandrel {

class Vandrel;

class BuiltInVDAction {
public:
    BuiltInVDAction() = delete;

    // What the actions reach when they run.
    struct Environment {
        // The services above the engine; an empty entry is a service not available in this run (logged).
        VandrelServices services;
        // Where the cheat sheet opens, a turn after its action ran. Null: that work is dropped (logged).
        rx::SchedulerPtr mainScheduler;
        // Whether the frontmost application is terminal-like. Read on the key path, from any thread. Empty:
        // never.
        std::function<bool()> isOnEmacsShortcutApp;
    };
    // The installed environment; none: every service is unavailable and nothing is terminal-like.
    static InstalledInstance<const Environment>& environment();
    // The core object's services, main scheduler and working environment.
    static std::shared_ptr<const Environment> environmentOf(const Vandrel& core);

    // "noAction": does nothing; group noGroup.
    static const VDActionPtr& noAction();
    static const VDActionPtr& showPreferences();
    static const VDActionPtr& showCheatSheet();
    // Stored as "sendInputEsc": the Caps Lock tap of the factory layout types Escape.
    static const VDActionPtr& tapCapsSendInputEsc();
    // "toggleCapslock": switches the Caps Lock lock state to its opposite, on the main queue.
    static const VDActionPtr& toggleCapslock();
    // Posts the key of a keyId parameter exactly as it was recorded.
    static const VDActionPtr& sendInput();

    static const VDActionPtr& moveUpN();
    static const VDActionPtr& moveDownN();
    static const VDActionPtr& moveLeftN();
    static const VDActionPtr& moveRightN();
    static const VDActionPtr& moveLeftNWords();
    static const VDActionPtr& moveRightNWords();
    static const VDActionPtr& moveToLineBeginning();
    static const VDActionPtr& moveToLineEnd();
    static const VDActionPtr& moveToPageBeginning();
    static const VDActionPtr& moveToPageEnd();

    static const VDActionPtr& selectUpN();
    static const VDActionPtr& selectDownN();
    static const VDActionPtr& selectLeftN();
    static const VDActionPtr& selectRightN();
    static const VDActionPtr& selectCurrentWord();
    static const VDActionPtr& selectCurrentLine();
    static const VDActionPtr& selectLeftNWords();
    static const VDActionPtr& selectRightNWords();
    static const VDActionPtr& selectToLineBeginning();
    static const VDActionPtr& selectToLineEnd();
    static const VDActionPtr& selectToPageBeginning();
    static const VDActionPtr& selectToPageEnd();

    // "delete" (a keyword here, hence the underscore).
    static const VDActionPtr& delete_();
    static const VDActionPtr& forwardDelete();
    static const VDActionPtr& deleteWord();
    static const VDActionPtr& forwardDeleteWord();
    static const VDActionPtr& deleteToLineBeginning();
    static const VDActionPtr& deleteToLineEnd();
    static const VDActionPtr& deleteToPageBeginning();
    static const VDActionPtr& deleteToPageEnd();
    static const VDActionPtr& insertLineBelow();
    static const VDActionPtr& deleteLine();
    static const VDActionPtr& deleteAll();

    // Their settings name the slot with one windowBindingId(n), n > 0; the key service recognises them by
    // identity (VDAction::registered("bindWindow") is this same object).
    static const VDActionPtr& bindWindow();
    static const VDActionPtr& activateWindow();

    static const VDActionPtr& extraPasteboard1Cut();
    static const VDActionPtr& extraPasteboard1Copy();
    static const VDActionPtr& extraPasteboard1Paste();
    static const VDActionPtr& extraPasteboard1PastePlainText();
    static const VDActionPtr& extraPasteboard2Cut();
    static const VDActionPtr& extraPasteboard2Copy();
    static const VDActionPtr& extraPasteboard2Paste();
    static const VDActionPtr& extraPasteboard2PastePlainText();

    // Experimental: read (and so registered) only while "experimental_hotstring" is on, so that with the
    // setting off a stored hotstring binding resolves to a do-nothing stand-in.
    static const VDActionPtr& hotstring();

    // Registers the catalogue: every action, and hotstring when "experimental_hotstring" is on now.
    static void registerAll();

    // What a user may bind, under which headings, for the key-setting sheet.
    struct SettableActions {
        SettableActions() = delete;
        // general, movement, selection, editing, windowBinding, multiClipboard, others.
        static const std::vector<VDActionGroup>& groups();
        // The actions of each group, in the order offered. Built on first read; "others" holds hotstring
        // only when "experimental_hotstring" was on then.
        static const std::unordered_map<VDActionGroup, std::vector<VDActionPtr>>& actionsOfGroup();
    };

private:
    // A new, unregistered action of one step: n taps of the key inside one press of its modifier keys, n
    // from a times parameter, else defulatTimes (a negative count posts nothing). Its dynamic title fills
    // dynamicDesc's "${0}" with a times count other than 1 and is otherwise defaultDynamicDesc, or the
    // static title. With both emacs arguments, terminal-like applications get that combo instead.
    static VDActionPtr createDynamicTapAction(std::string name, int keycode, ModifierSet modifiers,
                                              VDActionGroup actionGroup, std::string staticDesc,
                                              std::string dynamicDesc = "",
                                              std::optional<std::string> defaultDynamicDesc = std::nullopt,
                                              std::int64_t defulatTimes = 1,
                                              std::optional<int> emacsKeycode = std::nullopt,
                                              std::optional<ModifierSet> emacsModifiers = std::nullopt);
};

}  // namespace vandrel
