// An action table: one key scheme's bindings indexed by key id (the keybit in lower-case hexadecimal), plus
// nine hidden keys every table carries and no scheme lists (Shift+Caps tap toggles the Caps Lock lock; the
// all-modifier W, K and L keys log the focused window, show the keyboard map and switch full logging; E, A,
// S, D and F do nothing). The keyboard map lives above the engine: the table's owner hands in the way to it.
//
// A table is filled completely before it is shared and never changed afterwards, so the deliverer reads a
// published table without a lock. A change of a scheme makes a new table.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/popup_msg.h"
#include "model/vd_action.h"
#include "model/vd_atomic_action_param.h"
#include "model/vd_key.h"
#include "model/vd_key_scheme.h"

namespace vandrel {

class EventKeeper;
using EventKeeperPtr = std::shared_ptr<const EventKeeper>;

class EventKeeper {
public:
    struct Entry {
        VDActionPtr action;
        VDAction::ParamSequence paramSequence;
    };

    // Shows the keyboard map (the all-modifier K key). It runs on the key path, so it only queues the work.
    // Empty: the key logs that the map is not available.
    using ShowKeyboardMap = std::function<void()>;

    // The nine hidden keys only. popup shows the window-info key's messages; null: popupMsg.
    explicit EventKeeper(ShowKeyboardMap showKeyboardMap = {}, PopupPresenter popup = {});
    // The hidden keys, then every setting of the scheme's current list in order: a later setting on the
    // same key id (a hidden key's included) replaces the earlier entry.
    explicit EventKeeper(const VDKeyScheme& scheme, ShowKeyboardMap showKeyboardMap = {}, PopupPresenter popup = {});

    // Stores the pair under the key's id, replacing what was there.
    void addKey(const VDKey& key, VDActionPtr action, VDAction::ParamSequence paramSequence);

    // The table delivery reads: a copy of `table` less every key the active scheme binds more than once.
    // Null when either is null. `table` is not changed.
    static EventKeeperPtr withoutConflicting(const EventKeeperPtr& table, const VDKeySchemePtr& activeScheme);

    // Key id to what runs; a missing id is an unbound key.
    std::unordered_map<std::string, Entry> keyActions;

    // The hidden keys.
    static const VDKey& shiftCapslockTap();
    static const VDKey& allModifiers_W();
    static const VDKey& allModifiers_E();
    static const VDKey& allModifiers_A();
    static const VDKey& allModifiers_S();
    static const VDKey& allModifiers_D();
    static const VDKey& allModifiers_F();
    static const VDKey& allModifiers_K();
    static const VDKey& allModifiers_L();
    static const ModifierSet& allModifiers();

private:
    void addHidingKeys(ShowKeyboardMap showKeyboardMap, PopupPresenter popup);
};

}  // namespace vandrel
