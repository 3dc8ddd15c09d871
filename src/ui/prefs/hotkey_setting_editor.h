// What the key-setting sheet edits, without its controls: the hotkey, the action and the parameters chosen
// so far, and the one step that stores them. The edit is a draft: nothing reaches the scheme, the engine or
// the settings until commit(), and an editor dropped without it leaves everything as it was.
//
// commit() writes the setting the three form into the scheme and stores the scheme, once: a built-in scheme
// is never changed, the key service makes a custom copy that takes the change, becomes active and is stored,
// and the editor goes on with that copy. A new binding is appended; an opened one is replaced.
//
// Parameters are kept as the stored sequence: place i holds the value of the action's parameter i, places at
// the end that equal the action's defaults are left out (an empty sequence runs the defaults). A setting
// opened for editing keeps its own parameters until one is changed, and choosing another action starts from
// that action's defaults.
//
// While the user chooses, conflictingSettings names the scheme's other settings bound to the chosen hotkey:
// the user may keep such a hotkey (while two settings share one, neither runs).
//
// Main thread only; the key service takes its own lock, so a commit and the engine's start-up never
// interleave.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "engine/key_service.h"
#include "model/vd_key_scheme.h"
#include "model/vd_key_setting.h"
#include "rx/rx.h"

namespace vandrel {

class HotkeySettingEditor {
public:
    using Params = std::vector<VDAtomicActionParam>;

    // keySetting null: a new binding.
    HotkeySettingEditor(std::shared_ptr<KeyService> keyService, VDKeySchemePtr keyScheme, VDKeySettingPtr keySetting);

    // The scheme being edited: the custom copy once a commit copied a built-in scheme.
    const VDKeySchemePtr& keyScheme() const { return keyScheme_; }

    // The setting opened (null for a new binding), then the one committed.
    const rx::BehaviorRelay<VDKeySettingPtr> keySetting;
    const rx::BehaviorRelay<std::optional<VDKey>> hotkeyToSet;
    const rx::BehaviorRelay<VDActionPtr> actionToSet;
    const rx::BehaviorRelay<Params> paramsToSet;
    // The scheme's settings other than the one opened whose key is the chosen hotkey, in list order.
    const rx::BehaviorRelay<VDKeyScheme::KeySettings> conflictingSettings{VDKeyScheme::KeySettings{}};

    // Each returns whether commit() would now change the scheme.
    bool setHotkey(const VDKey& key);
    // The parameters become the held setting's own when the action is the held setting's, else none (the
    // action's defaults).
    bool chooseAction(const VDActionPtr& action);
    // Parameter `index` of the chosen action takes the value; earlier places missing are filled with the
    // action's defaults.
    bool updateParams(const VDAtomicActionParam& param, std::size_t index);

    // What the choices still lack before they form a setting: the first of hotkey, action (none chosen yet),
    // parameters (refused by the action's check).
    enum class Missing { nothing, hotkey, action, parameters };
    Missing missing() const;
    // The setting the choices form, when it is complete, valid and not the one held; else null.
    VDKeySettingPtr pendingSetting() const;
    // Stores the pending setting; true when the scheme changed.
    bool commit();

    // The value the selector of parameter `index` starts with: the parameter as set, else the action's
    // default.
    static std::vector<VDAtomicActionParam> selectorValues(const VDActionPtr& action, const Params& params);

    // The sequence stored for these values of the action's parameters: trailing defaults left out.
    static Params storedSequence(const VDActionPtr& action, Params values);

private:
    VDKeySettingPtr createKeySetting() const;
    void findConflicts();

    const std::shared_ptr<KeyService> keyService_;
    VDKeySchemePtr keyScheme_;
};

}  // namespace vandrel
