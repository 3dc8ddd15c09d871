// What the key-setting sheet edits, without its controls: the hotkey, the action and the parameters chosen
// so far, and the rule that stores them. Whenever the three form a valid key setting it is written into the
// scheme at once and the scheme stored: a built-in scheme is never changed, the key service makes a custom
// copy that takes the change and becomes active, and the editor goes on with that copy. The first valid
// setting of a new binding is appended; every later one replaces the setting the editor holds.
//
// Parameters are kept as the stored sequence: place i holds the value of the action's parameter i, places at
// the end that equal the action's defaults are left out (an empty sequence runs the defaults). A setting
// opened for editing keeps its own parameters until one is changed, and choosing another action starts from
// that action's defaults.
//
// Main thread only; the key service takes its own lock, so an edit and the engine's start-up never
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

    // The scheme being edited: the custom copy once a built-in scheme was copied.
    const VDKeySchemePtr& keyScheme() const { return keyScheme_; }

    // The setting held: the one opened, then the last one stored. Null for a new binding until it is valid.
    const rx::BehaviorRelay<VDKeySettingPtr> keySetting;
    const rx::BehaviorRelay<std::optional<VDKey>> hotkeyToSet;
    const rx::BehaviorRelay<VDActionPtr> actionToSet;
    const rx::BehaviorRelay<Params> paramsToSet;

    // Each returns true when a setting was stored.
    bool setHotkey(const VDKey& key);
    // The parameters become the held setting's own when the action is the held setting's, else none (the
    // action's defaults).
    bool chooseAction(const VDActionPtr& action);
    // Parameter `index` of the chosen action takes the value; earlier places missing are filled with the
    // action's defaults.
    bool updateParams(const VDAtomicActionParam& param, std::size_t index);

    // The value the selector of parameter `index` starts with: the parameter as set, else the action's
    // default.
    static std::vector<VDAtomicActionParam> selectorValues(const VDActionPtr& action, const Params& params);

    // The sequence stored for these values of the action's parameters: trailing defaults left out.
    static Params storedSequence(const VDActionPtr& action, Params values);

private:
    VDKeySettingPtr createKeySetting() const;
    bool apply();

    const std::shared_ptr<KeyService> keyService_;
    VDKeySchemePtr keyScheme_;
};

}  // namespace vandrel
